// Our XMODEM and YMODEM ends (through zorvxfer) against lrzsz's sx, rx, sb and rb, and
// against each other, over pseudo-terminals with the line in the test's hands.
#include "tests/zmodem/PtyPeers.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>

namespace zorv::xymodem {
namespace {

using zmodem::test::Names;
using zmodem::test::PutFiles;

using zmodem::test::Bytes;
using zmodem::test::Faults;
using zmodem::test::NamedData;
using zmodem::test::Program;
using zmodem::test::TempDir;
namespace kit = zmodem::test;

bool haveLrzsz() {
    return std::system("{ command -v sx && command -v rx && command -v sb && command -v rb; } >/dev/null 2>&1") == 0;
}

const NamedData kEveryByte = {"every-byte.bin", kit::EveryByteValue(41)};   // 10496: not a block multiple

std::vector<NamedData> Batch() {
    return {{"empty", ""}, {"one", "1"}, kEveryByte, {"random.bin", kit::RandomBytes(300001, 21)}};
}

Bytes Read(const TempDir& dir, const std::string& name) {
    Bytes got;
    EXPECT_TRUE(kit::ReadWholeFile(dir.File(name), got)) << name;
    return got;
}

// A program's standard error, shown when it ended other than expected.
std::string Log(const TempDir& logs, const std::string& name) {
    Bytes text;
    kit::ReadWholeFile(logs.File(name), text);
    return text;
}

Program Ours(const TempDir& dir, const std::string& protocol, std::vector<std::string> args, const TempDir& logs,
             const std::string& log) {
    Program p;
    p.argv = {kit::ZorvxferPath(), "--protocol", protocol, "--timeout", "2"};
    p.argv.insert(p.argv.end(), args.begin(), args.end());
    p.folder = dir.Path();
    p.errorLog = logs.File(log);
    return p;
}

Program Lrzsz(const TempDir& dir, std::vector<std::string> argv, const TempDir& logs) {
    Program p;
    p.argv = std::move(argv);
    p.folder = dir.Path();
    p.errorLog = logs.File(p.argv[0] + ".log");
    return p;
}

class XymodemInterop : public testing::Test {
protected:
    void SetUp() override {
        if (!haveLrzsz()) GTEST_SKIP() << "lrzsz (sx, rx, sb, rb) is not installed";
    }
};

// Batches both ways and between ours; every file whole under its own name.
TEST_F(XymodemInterop, YmodemBatches) {
    const auto files = Batch();
    TempDir src, logs;
    PutFiles(src, files);
    const auto names = Names(files);
    struct Case {
        const char* what;
        bool oursSend, oursReceive;
        std::string protocol;
    } cases[] = {
        {"sb to ours", false, true, "ymodem"},
        {"sb to ours, streaming", false, true, "ymodem-g"},
        {"ours to rb", true, false, "ymodem"},
        {"ours to ours", true, true, "ymodem"},
        {"ours to ours, streaming", true, true, "ymodem-g"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dst;
        std::vector<std::string> sendArgs = {"send"};
        sendArgs.insert(sendArgs.end(), names.begin(), names.end());
        std::vector<std::string> sb = {"sb"};
        sb.insert(sb.end(), names.begin(), names.end());
        auto r = kit::RunPeers(c.oursSend ? Ours(src, c.protocol, sendArgs, logs, "send.log") : Lrzsz(src, sb, logs),
                               c.oursReceive ? Ours(dst, c.protocol, {"receive"}, logs, "receive.log")
                                             : Lrzsz(dst, {"rb"}, logs));
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.senderExit, 0) << Log(logs, c.oursSend ? "send.log" : "sb.log");
        EXPECT_EQ(r.receiverExit, 0) << Log(logs, c.oursReceive ? "receive.log" : "rb.log");
        for (const auto& f : files) EXPECT_TRUE(Read(dst, f.name) == f.data) << f.name;
        auto sorted = names;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(dst.Names(), sorted);
    }
}

// One file, every XMODEM flavour, each direction. rx keeps the last block's padding, so
// what it stores is the file followed by SUB bytes up to the block.
TEST_F(XymodemInterop, XmodemEachFlavourEachWay) {
    TempDir src, logs;
    PutFiles(src, {kEveryByte, {"one", "1"}, {"empty", ""}});
    struct Case {
        std::string protocol;
        std::vector<std::string> sx, rx;
    } cases[] = {
        {"xmodem", {"sx"}, {"rx"}},
        {"xmodem-crc", {"sx"}, {"rx", "-c"}},
        {"xmodem-1k", {"sx", "-k"}, {"rx", "-c"}},
    };
    for (const auto& c : cases) {
        for (const std::string file : {"every-byte.bin", "one", "empty"}) {
            const Bytes data = Read(src, file);
            SCOPED_TRACE(c.protocol + " " + file);
            {
                TempDir dst;
                auto sx = c.sx;
                sx.push_back(file);
                auto r = kit::RunPeers(Lrzsz(src, sx, logs), Ours(dst, c.protocol, {"--as", "got", "receive"}, logs, "r.log"));
                EXPECT_EQ(r.senderExit, 0);
                EXPECT_EQ(r.receiverExit, 0);
                EXPECT_TRUE(Read(dst, "got") == data);
                EXPECT_EQ(dst.Names(), std::vector<std::string>{"got"});
            }
            {
                TempDir dst;
                auto rx = c.rx;
                rx.push_back("got");
                auto r = kit::RunPeers(Ours(src, c.protocol, {"send", file}, logs, "s.log"), Lrzsz(dst, rx, logs));
                EXPECT_EQ(r.senderExit, 0) << Log(logs, "s.log");
                EXPECT_EQ(r.receiverExit, 0);
                const Bytes got = Read(dst, "got");
                ASSERT_GE(got.size(), data.size());
                EXPECT_LT(got.size() - data.size(), 128u);
                EXPECT_TRUE(got.compare(0, data.size(), data) == 0);
                EXPECT_EQ(got.find_first_not_of('\x1a', data.size()), Bytes::npos);
            }
            {
                // Without --as the file has our own name for it.
                TempDir dst;
                auto r = kit::RunPeers(Ours(src, c.protocol, {"send", file}, logs, "s.log"),
                                       Ours(dst, c.protocol, {"receive"}, logs, "r.log"));
                EXPECT_EQ(r.senderExit, 0);
                EXPECT_EQ(r.receiverExit, 0);
                EXPECT_TRUE(Read(dst, "download.dat") == data);
            }
        }
    }
}

// A damaged line: each run either completes with the file identical or fails; never a
// wrong file under a final name.
TEST_F(XymodemInterop, DamagedLine) {
    const NamedData file = {"d.bin", kit::RandomBytes(60000, 22)};
    TempDir src, logs;
    PutFiles(src, {file});
    struct Case {
        const char* what;
        bool oursSend, oursReceive;
        std::string protocol;
    } cases[] = {
        {"sb to ours", false, true, "ymodem"},
        {"ours to rb", true, false, "ymodem"},
        {"ours to ours", true, true, "ymodem"},
        {"ours to ours, 1K", true, true, "xmodem-1k"},
        {"ours to ours, streaming", true, true, "ymodem-g"},
    };
    for (const auto& c : cases) {
        for (uint32_t seed : {1u, 2u}) {
            SCOPED_TRACE(std::string(c.what) + " seed " + std::to_string(seed));
            TempDir dst;
            Faults f;
            f.flipRate = 1e-4;
            f.seed = seed;
            auto r = kit::RunPeers(c.oursSend ? Ours(src, c.protocol, {"send", "d.bin"}, logs, "send.log")
                                              : Lrzsz(src, {"sb", "d.bin"}, logs),
                                   c.oursReceive ? Ours(dst, c.protocol, {"--as", "d.bin", "receive"}, logs, "receive.log")
                                                 : Lrzsz(dst, {"rb"}, logs),
                                   f, 300);
            EXPECT_FALSE(r.timedOut);
            const bool whole = r.receiverExit == 0;
            for (const auto& name : dst.Names()) {
                if (name == "d.bin") {
                    EXPECT_TRUE(whole && Read(dst, name) == file.data) << "a wrong d.bin";
                }
            }
            if (whole) {
                EXPECT_TRUE(Read(dst, "d.bin") == file.data);
            }
            if (c.protocol == "ymodem-g") {
                EXPECT_NE(r.receiverExit, 0) << "streaming cannot repeat a block";
            }
        }
    }
}

// An interrupted zorvxfer cancels; the other end stops at once, and nothing looks complete.
TEST_F(XymodemInterop, InterruptedEndCancels) {
    const NamedData file = {"c.bin", kit::RandomBytes(8 << 20, 23)};
    TempDir src, logs;
    PutFiles(src, {file});
    struct Case {
        const char* what;
        bool oursSend, oursReceive;
        bool interruptSender;
        std::string protocol;
    } cases[] = {
        {"ours interrupted while receiving from sb", false, true, false, "ymodem"},
        {"ours interrupted while sending to rb", true, false, true, "ymodem"},
        {"ours interrupted while sending to ours", true, true, true, "xmodem-1k"},
        {"ours interrupted while streaming to ours", true, true, true, "ymodem-g"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dst;
        bool sent = false;
        kit::RelayEvents events;
        events.onProgress = [&](int64_t carried, pid_t s, pid_t r) {
            if (carried > (1 << 20) && !sent) {
                sent = true;
                kill(c.interruptSender ? s : r, SIGTERM);
            }
        };
        auto r = kit::RunPeers(c.oursSend ? Ours(src, c.protocol, {"send", "c.bin"}, logs, "send.log")
                                          : Lrzsz(src, {"sb", "c.bin"}, logs),
                               c.oursReceive ? Ours(dst, c.protocol, {"--as", "c.bin", "receive"}, logs, "receive.log")
                                             : Lrzsz(dst, {"rb"}, logs),
                               {}, 60, events);
        EXPECT_TRUE(sent);
        EXPECT_FALSE(r.timedOut);
        EXPECT_NE(r.senderExit, 0);
        EXPECT_NE(r.receiverExit, 0);
        if (c.oursReceive) {
            EXPECT_EQ(dst.Names(), std::vector<std::string>{"c.bin.part"});
        }
    }
}

}  // namespace
}  // namespace zorv::xymodem
