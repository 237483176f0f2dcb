// Our engine (through zorvxfer) against lrzsz's sz and rz, and against itself, over
// pseudo-terminals, with the line in the test's hands.
#include "tests/zmodem/PtyPeers.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zorv::zmodem {
namespace {

using test::Names;
using test::PutFiles;
using test::ExpectReceived;
using test::ExpectNoWrongFile;

using test::Bytes;
using test::Faults;
using test::NamedData;
using test::Program;
using test::TempDir;

bool haveLrzsz() { return std::system("command -v sz >/dev/null 2>&1 && command -v rz >/dev/null 2>&1") == 0; }

std::vector<NamedData> Batch() {
    return {
        {"empty", ""},
        {"one", "1"},
        {"exact1k.bin", test::RandomBytes(1024, 7)},
        {"exact8k.bin", test::RandomBytes(8192, 8)},
        {"every-byte.bin", test::EveryByteValue(64)},
        {"ten-mb.bin", test::RandomBytes(10 << 20, 9)},
        {"name with spaces.txt", "text\r\n"},
    };
}

Program Ours(const std::string& mode, const TempDir& dir, std::vector<std::string> args, const TempDir& logs,
             const std::string& log, std::vector<std::string> options = {}) {
    Program p;
    p.argv = {test::ZorvxferPath()};
    p.argv.insert(p.argv.end(), options.begin(), options.end());
    p.argv.push_back(mode);
    p.argv.insert(p.argv.end(), args.begin(), args.end());
    p.folder = dir.Path();
    p.errorLog = logs.File(log);
    return p;
}

Program Lrzsz(const std::string& tool, const TempDir& dir, std::vector<std::string> args, const TempDir& logs) {
    Program p;
    p.argv = {tool};
    p.argv.insert(p.argv.end(), args.begin(), args.end());
    p.folder = dir.Path();
    p.errorLog = logs.File(tool + ".log");
    return p;
}

class ZmodemInterop : public testing::Test {
protected:
    void SetUp() override {
        if (!haveLrzsz()) GTEST_SKIP() << "lrzsz (sz, rz) is not installed";
    }
};

TEST_F(ZmodemInterop, BatchBetweenAllPairs) {
    auto files = Batch();
    TempDir src, logs;
    PutFiles(src, files);
    struct Pair {
        const char* what;
        bool oursSend, oursReceive;
    } pairs[] = {{"sz to ours", false, true}, {"ours to rz", true, false}, {"ours to ours", true, true}};
    for (const auto& pair : pairs) {
        TempDir dst;
        std::vector<std::string> names = Names(files);
        Program sender = pair.oursSend ? Ours("send", src, names, logs, "send.log")
                                       : Lrzsz("sz", src, names, logs);
        Program receiver = pair.oursReceive ? Ours("receive", dst, {}, logs, "receive.log")
                                            : Lrzsz("rz", dst, {}, logs);
        auto r = test::RunPeers(sender, receiver);
        SCOPED_TRACE(pair.what);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.senderExit, 0);
        EXPECT_EQ(r.receiverExit, 0);
        ExpectReceived(dst, files, false);
        auto expectedNames = names;
        std::sort(expectedNames.begin(), expectedNames.end());
        EXPECT_EQ(dst.Names(), expectedNames);
    }
}

// Lines that eat control characters: every one escaped, asked for by either end.
TEST_F(ZmodemInterop, EscapingEveryControlCharacter) {
    std::vector<NamedData> files = {{"ctl.bin", test::EveryByteValue(200)}, {"r.bin", test::RandomBytes(300000, 15)}};
    TempDir src, logs;
    PutFiles(src, files);
    struct Case {
        const char* what;
        Program sender;
        bool oursReceive;
    } cases[] = {
        {"ours escaping to rz", Ours("send", src, Names(files), logs, "send.log", {"--escape-control"}), false},
        {"sz -e to ours", Lrzsz("sz", src, {"-e", "ctl.bin", "r.bin"}, logs), true},
        {"sz to ours asking for escapes", Lrzsz("sz", src, Names(files), logs), true},
    };
    for (const auto& c : cases) {
        TempDir dst;
        Program receiver = c.oursReceive ? Ours("receive", dst, {}, logs, "receive.log", {"--escape-control"})
                                         : Lrzsz("rz", dst, {}, logs);
        auto r = test::RunPeers(c.sender, receiver);
        SCOPED_TRACE(c.what);
        EXPECT_EQ(r.senderExit, 0);
        EXPECT_EQ(r.receiverExit, 0);
        ExpectReceived(dst, files, false);
    }
}

TEST_F(ZmodemInterop, ResumeOfAHalfReceivedFile) {
    std::vector<NamedData> files = {{"big.bin", test::RandomBytes(4 << 20, 12)}};
    TempDir src, dst, logs;
    PutFiles(src, files);
    test::WriteWholeFile(dst.File("big.bin.part"), files[0].data.substr(0, 2 << 20));
    auto r = test::RunPeers(Lrzsz("sz", src, {"big.bin"}, logs), Ours("receive", dst, {}, logs, "receive.log"));
    EXPECT_EQ(r.receiverExit, 0);
    EXPECT_EQ(dst.Names(), std::vector<std::string>{"big.bin"});
    ExpectReceived(dst, files, false);
    Bytes log;
    test::ReadWholeFile(logs.File("receive.log"), log);
    EXPECT_NE(log.find("resuming big.bin at 2097152"), std::string::npos) << log;
    EXPECT_LT(r.carried, 3 << 20);   // the first half did not travel again
}

// One end stops part way: an interrupted zorvxfer cancels and the other end stops; a
// cancel from the other end stops ours; a sender that just dies leaves ours to time out.
// No file looks complete afterwards.
TEST_F(ZmodemInterop, CancelFromEachSide) {
    std::vector<NamedData> files = {{"c.bin", test::RandomBytes(20 << 20, 13)}};
    TempDir src, logs;
    PutFiles(src, files);
    const std::string cancel = std::string(10, '\x18') + std::string(10, '\b');
    struct Case {
        const char* what;
        bool oursSend;
        bool interruptSender, interruptReceiver;
        std::string toReceiver, toSender;
    } cases[] = {
        {"ours interrupted while receiving from sz", false, false, true, "", ""},
        {"ours interrupted while sending to rz", true, true, false, "", ""},
        {"sz's end cancels", false, false, false, cancel, ""},
        {"rz's end cancels", true, false, false, "", cancel},
        {"sz dies without a word", false, true, false, "", ""},
    };
    for (const auto& c : cases) {
        TempDir dst;
        std::vector<std::string> quick = {"--timeout", "1", "--retries", "3"};
        Program sender = c.oursSend ? Ours("send", src, {"c.bin"}, logs, "send.log", quick)
                                    : Lrzsz("sz", src, {"c.bin"}, logs);
        Program receiver = c.oursSend ? Lrzsz("rz", dst, {}, logs) : Ours("receive", dst, {}, logs, "receive.log", quick);
        bool sent = false;
        test::RelayEvents events;
        events.onProgress = [&](int64_t carried, pid_t s, pid_t r) {
            if (carried > (2 << 20) && !sent) {
                sent = true;
                if (c.interruptSender) kill(s, SIGTERM);
                if (c.interruptReceiver) kill(r, SIGTERM);
            }
        };
        events.injectAt = 2 << 20;
        events.injectToReceiver = c.toReceiver;
        events.injectToSender = c.toSender;
        auto r = test::RunPeers(sender, receiver, {}, 60, events);
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(r.timedOut);
        EXPECT_NE(r.senderExit, 0);
        EXPECT_NE(r.receiverExit, 0);
        if (!c.oursSend) {
            EXPECT_EQ(dst.Names(), std::vector<std::string>{"c.bin.part"});
        }
    }
}

// Damage on the line, with lrzsz as the peer as well as ours: each run completes with
// identical files or fails; never a success with a wrong file, never a partial file under
// the final name. When our receiver gave up, the partial file it kept is continued by the
// next transfer over a clean line.
TEST_F(ZmodemInterop, DamagedLine) {
    std::vector<NamedData> files = {{"n.bin", test::RandomBytes(300000, 14)}, {"m.bin", test::EveryByteValue(40)}};
    TempDir src, logs;
    PutFiles(src, files);
    struct Case {
        const char* what;
        bool oursSend, oursReceive;
        Faults faults;
        uint32_t seeds;
        bool mustComplete;
    } cases[] = {
        {"sz to ours, flips", false, true, {2e-5, 0, true, -1, 0, -1, 1}, 1, false},
        {"sz to ours, drops", false, true, {0, 2e-5, true, -1, 0, -1, 2}, 1, false},
        {"ours to rz, flips and drops", true, false, {1e-5, 1e-5, true, -1, 0, -1, 3}, 1, false},
        {"sz to ours, flips 1e-4 both ways", false, true, {1e-4, 0, true, -1, 0, -1, 10}, 3, false},
        {"ours to rz, flips 1e-4 both ways", true, false, {1e-4, 0, true, -1, 0, -1, 20}, 3, false},
        {"ours to ours, flips 1e-4 both ways", true, true, {1e-4, 0, true, -1, 0, -1, 30}, 3, true},
        {"sz to ours, flips 1e-3 both ways", false, true, {1e-3, 0, true, -1, 0, -1, 40}, 1, false},
        {"ours to rz, flips 1e-3 both ways", true, false, {1e-3, 0, true, -1, 0, -1, 50}, 1, false},
        {"ours to ours, flips 1e-3 both ways", true, true, {1e-3, 0, true, -1, 0, -1, 60}, 3, false},
        {"ours to ours, flips and drops", true, true, {3e-5, 3e-5, true, -1, 0, -1, 4}, 1, true},
        {"ours to ours, 4 s stall", true, true, {0, 0, true, 0.05, 4, -1, 5}, 1, true},
        {"sz to ours, hang-up", false, true, {0, 0, true, -1, 0, 200000, 6}, 1, false},
    };
    const std::vector<std::string> quick = {"--timeout", "1", "--retries", "8"};
    auto sending = [&](bool ours) {
        return ours ? Ours("send", src, Names(files), logs, "send.log", quick) : Lrzsz("sz", src, Names(files), logs);
    };
    for (const auto& c : cases) {
        for (uint32_t seed = 0; seed < c.seeds; ++seed) {
            TempDir dst;
            Program receiver = c.oursReceive ? Ours("receive", dst, {}, logs, "receive.log", quick)
                                             : Lrzsz("rz", dst, {"-t", "10"}, logs);
            Faults f = c.faults;
            f.seed += seed;
            auto r = test::RunPeers(sending(c.oursSend), receiver, f, 180);
            SCOPED_TRACE(std::string(c.what) + ", seed " + std::to_string(f.seed));
            EXPECT_FALSE(r.timedOut);
            int ours = c.oursReceive ? r.receiverExit : r.senderExit;
            if (ours == 0) {
                ExpectReceived(dst, files, false);
            } else if (c.oursReceive) {
                ExpectNoWrongFile(dst, files, false);
                auto again = test::RunPeers(sending(c.oursSend), Ours("receive", dst, {}, logs, "again.log", quick));
                EXPECT_EQ(again.receiverExit, 0) << "the next transfer over a clean line";
                ExpectReceived(dst, files, false);
            }
            if (c.faults.cutAfter >= 0) {
                EXPECT_NE(ours, 0);
            } else if (c.mustComplete) {
                EXPECT_EQ(ours, 0);
            }
        }
    }
}

TEST_F(ZmodemInterop, HostileNameFromSz) {
    TempDir src, parent, logs;
    std::string folder = parent.File("dl");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    test::WriteWholeFile(src.File("esc\x1b[2Jname"), "ctl");
    test::WriteWholeFile(src.File(".profile"), "dot");
    test::WriteWholeFile(folder + "/same", "existing");
    test::WriteWholeFile(src.File("same"), "new");
    Program sender = Lrzsz("sz", src, {"esc\x1b[2Jname", ".profile", "same"}, logs);
    Program receiver = Ours("receive", src, {folder}, logs, "receive.log");
    auto r = test::RunPeers(sender, receiver);
    EXPECT_EQ(r.receiverExit, 0);
    EXPECT_EQ(parent.Names(), std::vector<std::string>{"dl"});
    Bytes got;
    EXPECT_TRUE(test::ReadWholeFile(folder + "/esc_[2Jname", got));
    EXPECT_EQ(got, "ctl");
    EXPECT_TRUE(test::ReadWholeFile(folder + "/_profile", got));
    EXPECT_EQ(got, "dot");
    test::ReadWholeFile(folder + "/same", got);
    EXPECT_EQ(got, "existing");
    test::ReadWholeFile(folder + "/same.1", got);
    EXPECT_EQ(got, "new");
}

}  // namespace
}  // namespace zorv::zmodem

