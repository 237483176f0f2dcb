// Our engine (through zorvxfer) against gkermit and against itself over pseudo-terminals,
// with the line in the test's hands.
#include "tests/zmodem/PtyPeers.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>

namespace zorv::kermit {
namespace {

using zmodem::test::Names;
using zmodem::test::PutFiles;
using zmodem::test::ExpectReceived;
using zmodem::test::ExpectNoWrongFile;

namespace test = zmodem::test;
using test::Bytes;
using test::Faults;
using test::NamedData;
using test::Program;
using test::TempDir;

bool haveGkermit() { return std::system("command -v gkermit >/dev/null 2>&1") == 0; }

std::vector<NamedData> Batch() {
    return {
        {"empty", ""},
        {"one", "1"},
        {"every-byte.bin", test::EveryByteValue(64)},
        {"random.bin", test::RandomBytes(1 << 20, 9)},
        {"text.txt", "line one\r\nline two\n"},
    };
}

Program Ours(const std::string& mode, const TempDir& dir, std::vector<std::string> args, const TempDir& logs,
             std::vector<std::string> options = {}) {
    Program p;
    p.argv = {test::ZorvxferPath(), "--protocol", "kermit"};
    p.argv.insert(p.argv.end(), options.begin(), options.end());
    p.argv.push_back(mode);
    p.argv.insert(p.argv.end(), args.begin(), args.end());
    p.folder = dir.Path();
    p.errorLog = logs.File(mode + ".log");
    return p;
}

// Binary, names as they are, quiet; receiving, an incomplete file is not kept.
Program Gkermit(const std::string& mode, const TempDir& dir, std::vector<std::string> files, const TempDir& logs,
                std::vector<std::string> options = {}) {
    Program p;
    p.argv = {"gkermit", "-i", "-P", "-q"};
    p.argv.insert(p.argv.end(), options.begin(), options.end());
    if (mode == "send") {
        p.argv.push_back("-s");
        p.argv.insert(p.argv.end(), files.begin(), files.end());
    } else {
        p.argv.push_back("-r");
    }
    p.folder = dir.Path();
    p.errorLog = logs.File("gkermit-" + mode + ".log");
    return p;
}

class KermitInterop : public testing::Test {
protected:
    void SetUp() override {
        if (!haveGkermit()) GTEST_SKIP() << "gkermit is not installed";
    }
};

TEST_F(KermitInterop, BatchBetweenAllPairs) {
    auto files = Batch();
    TempDir src, logs;
    PutFiles(src, files);
    struct Pair {
        const char* what;
        bool oursSend, oursReceive;
    } pairs[] = {{"gkermit to ours", false, true}, {"ours to gkermit", true, false}, {"ours to ours", true, true}};
    for (const auto& pair : pairs) {
        TempDir dst;
        Program sender = pair.oursSend ? Ours("send", src, Names(files), logs) : Gkermit("send", src, Names(files), logs);
        Program receiver = pair.oursReceive ? Ours("receive", dst, {}, logs) : Gkermit("receive", dst, {}, logs);
        auto r = test::RunPeers(sender, receiver);
        SCOPED_TRACE(pair.what);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.senderExit, 0);
        EXPECT_EQ(r.receiverExit, 0);
        ExpectReceived(dst, files);
    }
}

// gkermit sending text turns line ends into CR LF on the way, so the length it announced
// does not hold; the file is stored as it came, not refused.
TEST_F(KermitInterop, TextFromGkermitIsStoredAsItCame) {
    TempDir src, dst, logs;
    test::WriteWholeFile(src.File("t.txt"), "one\ntwo\n");
    Program sender = Gkermit("send", src, {"t.txt"}, logs);
    sender.argv[1] = "-T";
    auto r = test::RunPeers(sender, Ours("receive", dst, {}, logs));
    EXPECT_EQ(r.senderExit, 0);
    EXPECT_EQ(r.receiverExit, 0);
    ExpectReceived(dst, {{"t.txt", "one\r\ntwo\r\n"}});
}

// Bit errors on the line both ways: the files arrive whole, or the transfer fails and no
// file looks complete.
TEST_F(KermitInterop, DamagedLine) {
    std::vector<NamedData> files = {{"d.bin", test::RandomBytes(300000, 31)}, {"e.bin", test::EveryByteValue(40)}};
    TempDir src, logs;
    PutFiles(src, files);
    const std::vector<std::string> quick = {"--timeout", "2"};
    struct Case {
        const char* what;
        bool oursSend, oursReceive;
        Faults faults;
    } cases[] = {
        {"gkermit to ours", false, true, {2e-5, 0, true, -1, 0, -1, 41}},
        {"ours to gkermit", true, false, {2e-5, 0, true, -1, 0, -1, 42}},
        {"ours to ours", true, true, {1e-4, 0, true, -1, 0, -1, 43}},
        {"ours to ours, lost bytes", true, true, {0, 2e-5, true, -1, 0, -1, 44}},
    };
    for (const auto& c : cases) {
        TempDir dst;
        Program sender = c.oursSend ? Ours("send", src, Names(files), logs, quick)
                                    : Gkermit("send", src, Names(files), logs, {"-b", "2"});
        Program receiver = c.oursReceive ? Ours("receive", dst, {}, logs, quick)
                                         : Gkermit("receive", dst, {}, logs, {"-b", "2"});
        auto r = test::RunPeers(sender, receiver, c.faults, 300);
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(r.timedOut);
        if (r.receiverExit == 0) ExpectReceived(dst, files);
        else ExpectNoWrongFile(dst, files, false);
        if (c.oursReceive) {
            EXPECT_EQ(r.receiverExit, 0);   // our end recovers from what the line did
        }
    }
}

// One end stops part way: an interrupted zorvxfer sends an error packet and the other end
// stops at once; gkermit ended stops ours too. Our end never leaves a file that looks
// complete.
TEST_F(KermitInterop, CancelFromEachSide) {
    std::vector<NamedData> files = {{"c.bin", test::RandomBytes(20 << 20, 13)}};
    TempDir src, logs;
    PutFiles(src, files);
    struct Case {
        const char* what;
        bool oursSend, oursReceive;
        bool interruptSender;
    } cases[] = {
        {"ours interrupted while receiving from gkermit", false, true, false},
        {"ours interrupted while sending to gkermit", true, false, true},
        {"ours interrupted while sending to ours", true, true, true},
        {"gkermit interrupted while sending to ours", false, true, true},
    };
    for (const auto& c : cases) {
        TempDir dst;
        const std::vector<std::string> quick = {"--timeout", "2", "--retries", "3"};
        Program sender = c.oursSend ? Ours("send", src, {"c.bin"}, logs, quick) : Gkermit("send", src, {"c.bin"}, logs);
        Program receiver = c.oursReceive ? Ours("receive", dst, {}, logs, quick) : Gkermit("receive", dst, {}, logs);
        bool sent = false;
        test::RelayEvents events;
        events.onProgress = [&](int64_t carried, pid_t s, pid_t r) {
            if (carried > (2 << 20) && !sent) {
                sent = true;
                kill(c.interruptSender ? s : r, SIGTERM);
            }
        };
        auto r = test::RunPeers(sender, receiver, {}, 60, events);
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(r.timedOut);
        EXPECT_NE(r.senderExit, 0);
        EXPECT_NE(r.receiverExit, 0);
        EXPECT_LT(r.carried, 10 << 20);   // stopped soon after, not at the end of the file
        if (c.oursReceive) ExpectNoWrongFile(dst, files, false);   // what gkermit keeps is its own affair
    }
}

}  // namespace
}  // namespace zorv::kermit
