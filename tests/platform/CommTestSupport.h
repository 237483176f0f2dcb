#pragma once
// Helpers for the comm control tests: a pseudo-terminal pair, a bounded wait that runs
// the Qt event loop, and a PortComm whose ports lead where the test says.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <functional>
#include <string>

#include "platform/QtEventPump.h"
#include "platform/comm/PortComm.h"
#include "util/Error.h"

namespace zorv::test {

// Runs the event loop until `done` or `seconds` pass; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, double seconds = 5) {
    static QtEventPump pump;
    const double end = SystemTimeOfDay() + seconds;
    while (!done()) {
        if (SystemTimeOfDay() > end) return done();
        pump.DoEvents();
    }
    return true;
}

// Runs the event loop for a while (to show that something does NOT happen).
inline void Settle(double seconds) {
    WaitFor([] { return false; }, seconds);
}

// A pseudo-terminal pair: the control opens `slavePath`, the test plays the far end
// on `master` (raw, non-blocking).
struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string slavePath;

    PtyPair() {
        char name[128];
        struct termios raw {};
        cfmakeraw(&raw);
        if (openpty(&master, &slave, name, &raw, nullptr) == 0) slavePath = name;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() {
        CloseMaster();
        if (slave >= 0) close(slave);
    }
    void CloseMaster() {
        if (master >= 0) close(master);
        master = -1;
    }
    // Closes the test's own slave descriptor, so only the control holds the device.
    void ReleaseSlave() {
        if (slave >= 0) close(slave);
        slave = -1;
    }
    void Send(const std::string& data) const {
        size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = write(master, data.data() + done, data.size() - done);
            if (n > 0) done += static_cast<size_t>(n);
            else WaitFor([] { return true; }, 0);
        }
    }
    std::string Take() const {
        std::string out;
        char buffer[4096];
        ssize_t n;
        while ((n = read(master, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
        return out;
    }
};

// A control whose port 1 is `device` and port 2 the network modem with `modem`.
inline PortComm::PortResolver Ports(const std::string& device, NetModemConfig modem = {}) {
    return [device, modem](int port) {
        PortTarget target;
        if (port == 1) {
            target.device = device;
        } else if (port == 2) {
            target.kind = PortTarget::Kind::NetModem;
            target.modem = modem;
        } else {
            throw Error(ErrorNumber::InvalidPortNumber, "Invalid Port Number");
        }
        return target;
    };
}

}  // namespace zorv::test
