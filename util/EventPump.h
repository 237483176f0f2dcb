#pragma once
// The event pump and the clock. The library runs on the one window thread and never
// blocks it: every wait is a loop that calls DoEvents() on each pass, so button clicks
// and control notifications run as nested handlers inside a running operation.
//
// The program installs the Qt pump at start; tests install a virtual pump whose clock
// moves only when the pump runs, so a minute's wait passes in microseconds.
#include <functional>

namespace zorv {

class EventPump {
public:
    virtual ~EventPump() = default;

    // Process everything pending; when nothing is pending, sleep until the next event
    // or a few milliseconds at most.
    virtual void DoEvents() = 0;

    // Time of day in seconds since midnight, with fractions.
    virtual double TimeOfDay() = 0;

    // A plain blocking wait: no events are processed while it lasts.
    virtual void SleepBlocking(int milliseconds) = 0;
};

// The pump in use. There is always one: before any is installed, a plain pump that
// only reads the system clock and sleeps is used.
EventPump& Pump();
void SetPump(EventPump* pump);  // nullptr restores the plain pump

inline void DoEvents() { Pump().DoEvents(); }
inline double TimeOfDay() { return Pump().TimeOfDay(); }
inline void SleepBlocking(int milliseconds) { Pump().SleepBlocking(milliseconds); }

// Seconds since midnight of the system clock's local time.
double SystemTimeOfDay();

}  // namespace zorv
