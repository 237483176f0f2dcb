#include "tests/support/TestWorld.h"

#include "util/ProgramEnd.h"

namespace zorv::test {

TestWorld::TestWorld(double startTimeOfDay) : pump(startTimeOfDay) {
    SetPump(&pump);
    SetUi(&ui);
    SetProgramEndHandler([this](int status) { endStatuses.push_back(status); });
}

TestWorld::~TestWorld() {
    SetProgramEndHandler(nullptr);
    SetUi(nullptr);
    SetPump(nullptr);
}

}  // namespace zorv::test
