#pragma once
// The program's event pump over the Qt event loop. A pass processes everything
// pending; when nothing is, it sleeps in the event loop until the next event (data on
// a port is one) or kIdleWaitMs at most, so a waiting script uses no CPU and still
// reacts at once.
#include <QTimer>

#include "util/EventPump.h"

namespace zorv {

class QtEventPump : public EventPump {
public:
    static constexpr int kIdleWaitMs = 10;

    QtEventPump();

    void DoEvents() override;
    double TimeOfDay() override;
    void SleepBlocking(int milliseconds) override;

private:
    QTimer wakeUp_;
};

}  // namespace zorv
