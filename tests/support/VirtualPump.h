#pragma once
// Virtual time for tests. The clock moves only when the pump runs: each DoEvents()
// runs the tasks that are due; when none is due it moves the clock to the next task,
// or by one step at most, and runs what is due then. A 60-second wait therefore
// passes in microseconds, and a test can start the clock just before midnight.
#include <functional>
#include <map>

#include "util/EventPump.h"

namespace zorv::test {

class VirtualPump : public EventPump {
public:
    explicit VirtualPump(double startTimeOfDay = 10 * 3600.0);

    void DoEvents() override;
    double TimeOfDay() override;
    void SleepBlocking(int milliseconds) override;

    // Absolute virtual seconds (time of day plus whole days passed).
    double Now() const { return now_; }
    void SetTimeOfDay(double secondsSinceMidnight);
    // The largest move of the clock in one idle pass.
    void SetStep(double seconds) { step_ = seconds; }
    // GUI tests let Qt's own pending events run on each pass as well.
    void SetProcessQtEvents(bool on) { processQt_ = on; }

    // Runs `task` when the clock reaches `time` (absolute) or after `delay` seconds.
    void At(double time, std::function<void()> task);
    void After(double delay, std::function<void()> task);

    // Pumps until `seconds` of virtual time have passed.
    void RunFor(double seconds);
    // Pumps until `done` holds or `maxSeconds` pass; returns whether it held.
    bool RunUntil(const std::function<bool()>& done, double maxSeconds = 3600);

    long passes() const { return passes_; }
    long millisecondsSlept() const { return slept_; }

private:
    bool RunDueTasks();

    double now_;
    double step_ = 0.05;
    bool processQt_ = false;
    long passes_ = 0;
    long slept_ = 0;
    std::multimap<double, std::function<void()>> tasks_;
};

}  // namespace zorv::test
