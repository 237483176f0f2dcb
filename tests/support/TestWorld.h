#pragma once
// Installs the test doubles of the outside world for one test: virtual time, recording
// UI services, and an end-of-program handler that records the status instead of
// leaving the process. Restores the real ones when it goes.
#include <vector>

#include "tests/support/RecordingUi.h"
#include "tests/support/VirtualPump.h"

namespace zorv::test {

class TestWorld {
public:
    explicit TestWorld(double startTimeOfDay = 10 * 3600.0);
    ~TestWorld();

    bool programEnded() const { return !endStatuses.empty(); }

    VirtualPump pump;
    RecordingUi ui;
    std::vector<int> endStatuses;
};

}  // namespace zorv::test
