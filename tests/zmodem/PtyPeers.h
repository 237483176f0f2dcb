#pragma once
// Two programs, each on a pseudo-terminal of its own, with this process carrying the
// bytes between them: so the test decides what the line does (damage, stalls, a hang-up)
// and sees both programs' exit statuses. When one program has ended, the other loses its
// line two seconds later, as a modem would hang up.
#include "tests/zmodem/ZmodemTestKit.h"

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zorv::zmodem::test {

struct Program {
    std::vector<std::string> argv;
    std::string folder;    // working folder
    std::string errorLog;  // its standard error goes here
};

struct PeersResult {
    int senderExit = -1;     // exit status, or 128 + signal
    int receiverExit = -1;
    bool timedOut = false;   // the test's own limit ended the run
    int64_t carried = 0;     // bytes carried towards the receiver
};

struct RelayEvents {
    // Called with the bytes carried towards the receiver so far; may signal a program.
    std::function<void(int64_t carried, pid_t sender, pid_t receiver)> onProgress;
    // Once this many bytes went towards the receiver, these are put on the line as if
    // the other end had sent them.
    int64_t injectAt = -1;
    std::string injectToReceiver, injectToSender;
};

PeersResult RunPeers(const Program& sender, const Program& receiver, const Faults& faults = {},
                     double limitSeconds = 120, const RelayEvents& events = {});

// The zorvxfer built beside this test.
std::string ZorvxferPath();

}  // namespace zorv::zmodem::test
