#include "util/EventPump.h"

#include <QTime>
#include <chrono>
#include <thread>

namespace zorv {

double SystemTimeOfDay() { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }

namespace {

// Used before the program installs its pump: nothing to process, so a pass sleeps
// briefly instead of spinning.
class PlainPump : public EventPump {
public:
    void DoEvents() override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
    double TimeOfDay() override { return SystemTimeOfDay(); }
    void SleepBlocking(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

PlainPump plainPump;
EventPump* currentPump = &plainPump;

}  // namespace

EventPump& Pump() { return *currentPump; }

void SetPump(EventPump* pump) { currentPump = pump ? pump : &plainPump; }

}  // namespace zorv
