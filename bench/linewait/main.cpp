// bench_linewait: WAITFORSTRING on a real line, beside a busy-polling loop.
//
//   idle CPU   a wait for text that never comes, for a few seconds: process CPU time
//              divided by wall time (100% = one core kept busy)
//   latency    a second thread writes the awaited text into the far end of a
//              pseudo-terminal; the time from that write to the wait's return
//
// The program's pump sleeps in the event loop until the line (or a 10 ms timer) wakes
// it; the busy-polling peer runs the same wait with a pump that only processes what is
// pending and never sleeps. Usage: bench_linewait [idle seconds] [latency samples]
#include <pty.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "modem/LineWait.h"
#include "platform/QtEventPump.h"
#include "platform/comm/PortComm.h"
#include "script/ResultCodes.h"
#include "util/EventPump.h"

namespace {

using Clock = std::chrono::steady_clock;

// The peer: a pass processes what is pending and returns at once.
class BusyPollPump : public zorv::EventPump {
public:
    void DoEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    double TimeOfDay() override { return zorv::SystemTimeOfDay(); }
    void SleepBlocking(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

double IdleCpuPercent(zorv::CommControl& comm, int seconds) {
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    zorv::WAITFORSTRING(comm, "this text never comes", seconds, 0, 0);
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const double cpu = ProcessCpuSeconds() - cpu0;
    if (zorv::GETRESULT() != zorv::RC_TIMEOUT) std::fprintf(stderr, "idle wait ended with %d\n", zorv::GETRESULT());
    return 100.0 * cpu / wall;
}

struct Latency {
    double median = 0;
    double p90 = 0;
    double worst = 0;
    int failures = 0;
};

// Microseconds from writing "READY" into the master side to the wait's return.
Latency MeasureLatency(zorv::CommControl& comm, int master, int samples) {
    std::mt19937 random(42);
    std::uniform_int_distribution<int> delayMs(2, 15);
    std::vector<double> micros;
    Latency result;
    for (int i = 0; i < samples; ++i) {
        std::atomic<int64_t> writtenAt{0};
        const int delay = delayMs(random);
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            writtenAt = Clock::now().time_since_epoch().count();
            const char text[] = "...READY\r\n";
            if (::write(master, text, sizeof text - 1) < 0) std::perror("write");
        });
        zorv::WAITFORSTRING(comm, "READY", 5, 0, 0);
        const int64_t returnedAt = Clock::now().time_since_epoch().count();
        writer.join();
        if (zorv::GETRESULT() != zorv::RC_WAIT_MATCHED) {
            ++result.failures;
            continue;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::duration(returnedAt - writtenAt)).count());
        zorv::WaitCarryOver.clear();
    }
    if (micros.empty()) return result;
    std::sort(micros.begin(), micros.end());
    result.median = micros[micros.size() / 2];
    result.p90 = micros[micros.size() * 9 / 10];
    result.worst = micros.back();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int samples = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;

    int master = -1, slave = -1;
    char slaveName[256] = {};
    if (::openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    // The comm control opens the slave side by name; our copy of it can go.
    ::close(slave);

    const std::string device = slaveName;
    zorv::PortComm comm([device](int) {
        zorv::PortTarget target;
        target.kind = zorv::PortTarget::Kind::Serial;
        target.device = device;
        return target;
    });
    comm.SetCommPort(1);
    try {
        comm.SetPortOpen(true);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cannot open %s: %s\n", device.c_str(), error.what());
        return 1;
    }

    zorv::QtEventPump programPump;
    BusyPollPump busyPump;
    struct Row {
        const char* name;
        zorv::EventPump* pump;
        double idleCpu = 0;
        Latency latency;
    };
    Row rows[] = {{"program pump (sleeps in the event loop)", &programPump, 0, {}},
                  {"busy-polling loop", &busyPump, 0, {}}};
    for (Row& row : rows) {
        zorv::SetPump(row.pump);
        row.idleCpu = IdleCpuPercent(comm, idleSeconds);
        row.latency = MeasureLatency(comm, master, samples);
    }
    zorv::SetPump(nullptr);
    comm.SetPortOpen(false);
    ::close(master);

    std::printf("WAITFORSTRING on %s: idle %d s, %d latency samples\n", device.c_str(), idleSeconds, samples);
    std::printf("%-42s %12s %14s %14s %14s %9s\n", "", "idle CPU %", "median us", "p90 us", "worst us", "failed");
    for (const Row& row : rows)
        std::printf("%-42s %12.2f %14.1f %14.1f %14.1f %9d\n", row.name, row.idleCpu, row.latency.median,
                    row.latency.p90, row.latency.worst, row.latency.failures);
    std::printf("idle CPU ratio program/busy-poll: %.4f; median latency ratio program/busy-poll: %.2f\n",
                rows[0].idleCpu / std::max(rows[1].idleCpu, 1e-9),
                rows[0].latency.median / std::max(rows[1].latency.median, 1e-9));
    return 0;
}
