#include "tests/support/VirtualPump.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace zorv::test {

VirtualPump::VirtualPump(double startTimeOfDay) : now_(startTimeOfDay) {}

bool VirtualPump::RunDueTasks() {
    bool ran = false;
    // One at a time: a task may add tasks, including ones already due.
    while (!tasks_.empty() && tasks_.begin()->first <= now_) {
        auto task = std::move(tasks_.begin()->second);
        tasks_.erase(tasks_.begin());
        task();
        ran = true;
    }
    return ran;
}

void VirtualPump::DoEvents() {
    ++passes_;
    if (processQt_ && QCoreApplication::instance()) QCoreApplication::processEvents();
    if (RunDueTasks()) return;
    double next = now_ + step_;
    if (!tasks_.empty()) next = std::min(next, tasks_.begin()->first);
    now_ = next;
    RunDueTasks();
}

double VirtualPump::TimeOfDay() { return std::fmod(now_, 86400.0); }

void VirtualPump::SleepBlocking(int milliseconds) {
    now_ += milliseconds / 1000.0;
    slept_ += milliseconds;
}

void VirtualPump::SetTimeOfDay(double secondsSinceMidnight) {
    // Keep pending tasks at the same distance from now.
    const double shift = secondsSinceMidnight - now_;
    std::multimap<double, std::function<void()>> moved;
    for (auto& [time, task] : tasks_) moved.emplace(time + shift, std::move(task));
    tasks_ = std::move(moved);
    now_ = secondsSinceMidnight;
}

void VirtualPump::At(double time, std::function<void()> task) { tasks_.emplace(time, std::move(task)); }

void VirtualPump::After(double delay, std::function<void()> task) { At(now_ + delay, std::move(task)); }

void VirtualPump::RunFor(double seconds) {
    const double end = now_ + seconds;
    while (now_ < end) DoEvents();
}

bool VirtualPump::RunUntil(const std::function<bool()>& done, double maxSeconds) {
    const double end = now_ + maxSeconds;
    while (!done()) {
        if (now_ >= end) return false;
        DoEvents();
    }
    return true;
}

}  // namespace zorv::test
