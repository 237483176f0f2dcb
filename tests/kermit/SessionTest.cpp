// Our sender and receiver against each other over an in-memory line on virtual time:
// contents under every negotiated form, statuses, damage, cancel, silence, a lost line.
#include "modem/CommControl.h"
#include "platform/comm/TransferFactory.h"
#include "platform/kermit/KermitPacket.h"
#include "platform/kermit/KermitParams.h"
#include "platform/kermit/KermitReceiver.h"
#include "platform/kermit/KermitSender.h"
#include "tests/zmodem/ZmodemTestKit.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace zorv::kermit {
namespace {

using zmodem::test::ExpectReceived;
using zmodem::test::ExpectNoWrongFile;

using zmodem::DownloadFolder;
using zmodem::test::Bytes;
using zmodem::test::Faults;
using zmodem::test::NamedData;
using zmodem::test::TempDir;
namespace test = zmodem::test;

std::vector<NamedData> Batch() {
    return {
        {"empty", ""},
        {"one", "x"},
        {"every byte", test::EveryByteValue(64)},
        {"runs.bin", std::string(5000, '\0') + std::string(300, '~') + std::string(300, '#')},
        {"random.bin", test::RandomBytes(1 << 20, 3)},
    };
}

TEST(KermitSession, BatchArrivesWholeUnderEveryNegotiation) {
    struct Case {
        const char* what;
        KermitOptions sender, receiver;
    } cases[] = {
        {"defaults", {}, {}},
        {"check 1, short packets, no repeats", {10, 10, 30, 1, 4000, false, false}, {10, 10, 30, 1, 4000, false, false}},
        {"check 2", {10, 10, 30, 2}, {10, 10, 30, 2}},
        {"they disagree on the check", {10, 10, 30, 2}, {10, 10, 30, 3}},
        {"receiver asks for the 8th-bit prefix", {}, {10, 10, 30, 3, 9024, true, true, true}},
        {"long packets of 9024", {10, 10, 30, 3, 9024}, {10, 10, 30, 3, 9024}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        DownloadFolder folder(dir.Path());
        KermitReceiver receiver(folder, c.receiver);
        KermitSender sender(test::MemoryFiles(Batch()), c.sender);
        auto r = test::RunLink(sender, receiver);
        EXPECT_EQ(r.senderStatus, XFER_IDLE);
        EXPECT_EQ(r.receiverStatus, XFER_IDLE);
        ExpectReceived(dir, Batch());
        EXPECT_EQ(receiver.Progress().filesDone, 5);
        EXPECT_EQ(sender.Progress().filesDone, 5);
        EXPECT_EQ(sender.Progress().errorsRecovered, 0);
        EXPECT_EQ(receiver.Progress().errorsRecovered, 0);
    }
}

// What arrives a byte at a time works out exactly as what arrives in one piece: the same
// answers go back, the same files land.
TEST(KermitSession, ByteAtATimeEqualsOnePiece) {
    const std::vector<NamedData> files = {{"a.bin", test::RandomBytes(30000, 8)}, {"b", test::EveryByteValue(3)}};
    std::string lines[2][2];   // [byte at a time][towards receiver, towards sender]
    for (int bytewise = 0; bytewise < 2; ++bytewise) {
        TempDir dir;
        DownloadFolder folder(dir.Path());
        KermitReceiver receiver(folder);
        KermitSender sender(test::MemoryFiles(files));
        sender.Start(0);
        receiver.Start(0);
        auto carry = [&](TransferSession& from, TransferSession& to, std::string& line) {
            uint8_t buf[65536];
            while (from.WantsToSend()) {
                size_t n = from.TakeOutgoing(buf, sizeof buf);
                line.append(reinterpret_cast<char*>(buf), n);
                if (bytewise) {
                    for (size_t i = 0; i < n; ++i) to.Feed(buf + i, 1);
                } else {
                    to.Feed(buf, n);
                }
            }
        };
        for (int step = 0; step < 10000 && !(sender.Finished() && receiver.Finished()); ++step) {
            carry(sender, receiver, lines[bytewise][0]);
            carry(receiver, sender, lines[bytewise][1]);
        }
        EXPECT_EQ(sender.Status(), XFER_IDLE);
        EXPECT_EQ(receiver.Status(), XFER_IDLE);
        ExpectReceived(dir, files);
    }
    EXPECT_TRUE(lines[0][0] == lines[1][0]);
    EXPECT_TRUE(lines[0][1] == lines[1][1]);
}

TEST(KermitSession, StatusesFollowTheTransfer) {
    TempDir dir;
    DownloadFolder folder(dir.Path());
    KermitReceiver receiver(folder);
    KermitSender sender(test::MemoryFiles({{"a", "abc"}, {"b", ""}}));
    auto r = test::RunLink(sender, receiver);
    // Waiting, per file: its header, data (none for an empty file), its end, done; then all good.
    const std::vector<int> expected = {1, 2, 3, 4, 7, 2, 4, 7, 0};
    EXPECT_EQ(r.receiverStatuses, expected);
    EXPECT_EQ(r.senderStatuses, expected);
}

// A damaged line either delivers every file whole or fails; a failure never leaves a
// file that looks complete.
TEST(KermitSession, DamagedLine) {
    struct Case {
        const char* what;
        Faults faults;
        bool mustComplete;
    } cases[] = {
        {"rare flips", {1e-5, 0, true, -1, 0, -1, 1}, true},
        {"frequent flips", {2e-4, 0, true, -1, 0, -1, 2}, true},
        {"drops", {0, 1e-4, true, -1, 0, -1, 3}, true},
        {"flips and drops", {1e-4, 1e-4, true, -1, 0, -1, 4}, true},
        {"stall of 30 s", {0, 0, true, 0.05, 30, -1, 5}, true},
        {"stall past every retry", {0, 0, true, 0.05, 1000, -1, 6}, false},
        {"hopeless line", {0.02, 0.01, true, -1, 0, -1, 7}, false},
    };
    std::vector<NamedData> files = {{"a.bin", test::RandomBytes(300000, 21)}, {"b", test::EveryByteValue(20)},
                                    {"c", "x"}};
    for (const auto& c : cases) {
        for (uint32_t seed = 0; seed < 3; ++seed) {
            TempDir dir;
            DownloadFolder folder(dir.Path());
            KermitOptions options;
            options.timeout = 5;
            KermitReceiver receiver(folder, options);
            KermitSender sender(test::MemoryFiles(files), options);
            Faults f = c.faults;
            f.seed = f.seed * 100 + seed;
            auto r = test::RunLink(sender, receiver, f, 3600);
            SCOPED_TRACE(std::string(c.what) + " seed " + std::to_string(seed));
            EXPECT_TRUE(receiver.Finished());
            EXPECT_TRUE(sender.Finished());
            if (r.receiverStatus == XFER_IDLE) ExpectReceived(dir, files);
            else ExpectNoWrongFile(dir, files);
            if (c.mustComplete) {
                EXPECT_EQ(r.receiverStatus, XFER_IDLE);
                EXPECT_EQ(r.senderStatus, XFER_IDLE);
            } else {
                EXPECT_NE(r.receiverStatus, XFER_IDLE);
            }
        }
    }
}

// Either end cancels: the other stops on the error packet at once, and the file stays partial.
TEST(KermitSession, CancelFromEitherSide) {
    std::vector<NamedData> files = {{"c.bin", test::RandomBytes(2000000, 55)}};
    for (bool receiverCancels : {false, true}) {
        TempDir dir;
        DownloadFolder folder(dir.Path());
        KermitReceiver receiver(folder);
        KermitSender sender(test::MemoryFiles(files));
        bool done = false;
        auto r = test::RunLink(sender, receiver, {}, 600, [&](double t) {
            if (t >= 0.3 && !done) {
                done = true;
                if (receiverCancels) receiver.Abort();
                else sender.Abort();
            }
        });
        SCOPED_TRACE(receiverCancels ? "receiver cancels" : "sender cancels");
        EXPECT_EQ(r.receiverStatus, XFER_FAILED);
        EXPECT_EQ(r.senderStatus, XFER_FAILED);
        const auto& aborter = receiverCancels ? r.receiverStatuses : r.senderStatuses;
        ASSERT_GE(aborter.size(), 2u);
        EXPECT_EQ(aborter[aborter.size() - 2], XFER_ABORT);
        EXPECT_LT(r.seconds, 5.0);
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"c.bin.part"});
    }
}

// Nobody answers: a bounded number of asks, then 9; an abort after that still tells the
// other end and ends as failed.
TEST(KermitSession, SilentPeerTimesOut) {
    for (bool silentSender : {true, false}) {
        TempDir dir;
        DownloadFolder folder(dir.Path());
        KermitOptions options;
        options.timeout = 10;
        options.maxRetries = 3;
        std::unique_ptr<TransferSession> session;
        if (silentSender) session = std::make_unique<KermitReceiver>(folder, options);
        else session = std::make_unique<KermitSender>(test::MemoryFiles({{"a", "a"}}), options);
        std::vector<int> statuses;
        session->SetStatusHandler([&](int s) { statuses.push_back(s); });
        session->Start(0);
        int packetsOut = 0;
        uint8_t buf[4096];
        for (double t = 0; t < 100 && !session->Finished(); t += 1) {
            session->Tick(t);
            while (session->WantsToSend()) {
                size_t n = session->TakeOutgoing(buf, sizeof buf);
                packetsOut += static_cast<int>(std::count(buf, buf + n, 0x01));
            }
        }
        SCOPED_TRACE(silentSender ? "receiver waits" : "sender waits");
        EXPECT_EQ(session->Status(), XFER_TIMED_OUT);
        // The sender's first packet and its three repeats, or the receiver's three NAKs,
        // and the error packet.
        EXPECT_EQ(packetsOut, silentSender ? 4 : 5);
        session->Abort();
        EXPECT_TRUE(session->WantsToSend());
        EXPECT_EQ(session->Status(), XFER_FAILED);
    }
}

// The line drops part way: both ends stop with 8, nothing looks complete.
TEST(KermitSession, CarrierLossKeepsThePartialFile) {
    std::vector<NamedData> files = {{"big.bin", test::RandomBytes(600000, 9)}};
    TempDir dir;
    DownloadFolder folder(dir.Path());
    KermitReceiver receiver(folder);
    KermitSender sender(test::MemoryFiles(files));
    Faults f;
    f.cutAfter = 200000;
    auto r = test::RunLink(sender, receiver, f);
    EXPECT_EQ(r.senderStatus, XFER_CARRIER_LOST);
    EXPECT_EQ(r.receiverStatus, XFER_CARRIER_LOST);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"big.bin.part"});
}

// A file that ends short of the length its sender announced is not passed off as whole.
TEST(KermitSession, FileShorterThanAnnouncedStaysPartial) {
    class ShrinkingFile : public test::MemorySendFile {
    public:
        using MemorySendFile::MemorySendFile;
        int64_t Size() const override { return MemorySendFile::Size() + 10; }
    };
    std::vector<std::unique_ptr<zmodem::SendFile>> files;
    files.push_back(std::make_unique<ShrinkingFile>("short.bin", test::RandomBytes(5000, 4)));
    files.push_back(std::make_unique<test::MemorySendFile>("fine", "ok"));
    TempDir dir;
    DownloadFolder folder(dir.Path());
    KermitReceiver receiver(folder);
    KermitSender sender(std::move(files));
    auto r = test::RunLink(sender, receiver);
    EXPECT_EQ(r.receiverStatus, XFER_FAILED);
    EXPECT_EQ(receiver.Progress().filesFailed, 1);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"fine", "short.bin.part"}));
}

// The comm control's way in: protocol 6 from the factory, the first file under the name
// the caller chose, the next under its own.
TEST(KermitSession, FactoryMakesBothEnds) {
    TempDir src, dst;
    test::WriteWholeFile(src.File("a.bin"), test::RandomBytes(70000, 5));
    test::WriteWholeFile(src.File("b.txt"), "bee");
    TransferRequest send;
    send.protocol = XFER_KERMIT;
    send.direction = TransferDirection::Send;
    send.files = {src.File("a.bin"), src.File("b.txt")};
    TransferRequest receive;
    receive.protocol = XFER_KERMIT;
    receive.files = {"mine.bin"};
    receive.folder = dst.Path();
    auto sender = MakeTransferSession(send);
    auto receiver = MakeTransferSession(receive);
    auto r = test::RunLink(*sender, *receiver);
    EXPECT_EQ(r.senderStatus, XFER_IDLE);
    EXPECT_EQ(r.receiverStatus, XFER_IDLE);
    EXPECT_EQ(dst.Names(), (std::vector<std::string>{"b.txt", "mine.bin"}));
    Bytes got;
    EXPECT_TRUE(test::ReadWholeFile(dst.File("mine.bin"), got) && got == test::RandomBytes(70000, 5));
}

// A sender that breaks the rules is told so with an error packet and the receiver stops;
// nothing lands under a final name.
TEST(KermitSession, SenderBreakingTheRulesIsStopped) {
    const std::string init = EncodePacket({0, 'S', EncodeParams(Params{})}, 1, {});
    auto packet = [](int seq, char type, const std::string& data) { return EncodePacket({seq, type, data}, 1, {}); };
    struct Case {
        const char* what;
        std::string stream;
    } cases[] = {
        {"data before any file", init + packet(1, 'D', "abc")},
        {"a file without a name", init + packet(1, 'F', "")},
        {"data ending inside a prefix", init + packet(1, 'F', "x") + packet(2, 'D', "ab#")},
        {"a packet type nobody sends", init + packet(1, 'Q', "")},
        {"a transfer that does not start with S", packet(0, 'F', "x")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        DownloadFolder folder(dir.Path());
        KermitReceiver receiver(folder);
        receiver.Start(0);
        receiver.Feed(c.stream);
        EXPECT_EQ(receiver.Status(), XFER_FAILED);
        std::string out(4096, '\0');
        out.resize(receiver.TakeOutgoing(reinterpret_cast<uint8_t*>(out.data()), out.size()));
        PacketDecoder decoder;
        Packet last;
        for (char ch : out) {
            if (decoder.Put(static_cast<uint8_t>(ch)) && !decoder.Verify(1, last)) decoder.Verify(3, last);
        }
        EXPECT_EQ(last.type, 'E');
        for (const auto& name : dir.Names()) EXPECT_NE(name, "x");
    }
}

// A receiver may answer a data packet with X (skip this file) or Z (skip the rest): the
// sender discards the file with Z "D" and goes on with the next file, or says goodbye.
TEST(KermitSession, ReceiverSkipsAFileOrTheRest) {
    struct Case {
        const char* answer;
        char afterDiscard;
        int filesFailed;
    } cases[] = {{"X", 'F', 1}, {"Z", 'B', 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        KermitSender sender(test::MemoryFiles({{"a", test::RandomBytes(20000, 1)}, {"b", "b"}}));
        sender.Start(0);
        PacketDecoder decoder;
        auto take = [&](int checkType) {
            std::string out(65536, '\0');
            out.resize(sender.TakeOutgoing(reinterpret_cast<uint8_t*>(out.data()), out.size()));
            Packet p;
            for (char ch : out)
                if (decoder.Put(static_cast<uint8_t>(ch))) decoder.Verify(checkType, p);
            return p;
        };
        auto answer = [&](int seq, const std::string& data, int checkType) {
            sender.Feed(EncodePacket({seq, 'Y', data}, checkType, {}));
        };
        EXPECT_EQ(take(1).type, 'S');
        answer(0, EncodeParams(Params{}), 1);   // plain defaults: block check 1 from here on
        EXPECT_EQ(take(1).type, 'F');
        answer(1, "", 1);
        EXPECT_EQ(take(1).type, 'D');
        answer(2, c.answer, 1);
        Packet eof = take(1);
        EXPECT_EQ(eof.type, 'Z');
        EXPECT_EQ(eof.data, "D");
        answer(3, "", 1);
        EXPECT_EQ(take(1).type, c.afterDiscard);
        EXPECT_EQ(sender.Progress().filesFailed, c.filesFailed);
        EXPECT_EQ(sender.Progress().filesDone, 0);
    }
}

// Names from the other end stay plain names inside the folder.
TEST(KermitSession, HostileNamesStayInTheFolder) {
    TempDir dir;
    DownloadFolder folder(dir.Path());
    KermitReceiver receiver(folder);
    KermitSender sender(test::MemoryFiles({{"../../escape", "1"}, {"/etc/passwd", "2"}, {"a\r\nb", "3"}}));
    auto r = test::RunLink(sender, receiver);
    EXPECT_EQ(r.receiverStatus, XFER_IDLE);
    for (const auto& name : dir.Names()) {
        EXPECT_EQ(name.find('/'), std::string::npos);
        EXPECT_EQ(name.find('\n'), std::string::npos);
    }
    EXPECT_EQ(dir.Names().size(), 3u);
}

}  // namespace
}  // namespace zorv::kermit
