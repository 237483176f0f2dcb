// Our sender and receiver against each other over an in-memory line on virtual time:
// contents, batches, damage, resume, cancel, time-outs, hostile senders.
#include "modem/CommControl.h"
#include "platform/zmodem/ZmodemReceiver.h"
#include "platform/zmodem/ZmodemSender.h"
#include "tests/zmodem/ZmodemTestKit.h"

#include <gtest/gtest.h>

namespace zorv::zmodem {
namespace {

using test::ExpectReceived;
using test::ExpectNoWrongFile;

using test::Bytes;
using test::Faults;
using test::NamedData;
using test::TempDir;

std::vector<NamedData> Batch() {
    return {
        {"empty", ""},
        {"one", "x"},
        {"exact.bin", test::RandomBytes(8192, 1)},
        {"exact1k.bin", test::RandomBytes(1024, 2)},
        {"every byte", test::EveryByteValue(64)},
        {"random.bin", test::RandomBytes(1 << 20, 3)},
        {"name with spaces.txt", "some text\r\n"},
    };
}

TEST(ZmodemSession, BatchArrivesWhole) {
    for (bool escapeAll : {false, true}) {
        for (size_t subpacket : {size_t(1024), size_t(8192)}) {
            TempDir dir;
            DownloadFolder folder(dir.Path());
            ZmodemReceiver receiver(folder);
            SenderOptions so;
            so.escapeControl = escapeAll;
            so.maxSubpacket = subpacket;
            ZmodemSender sender(test::MemoryFiles(Batch()), so);
            auto r = test::RunLink(sender, receiver);
            EXPECT_EQ(r.senderStatus, XFER_IDLE);
            EXPECT_EQ(r.receiverStatus, XFER_IDLE);
            ExpectReceived(dir, Batch());
            EXPECT_EQ(receiver.Progress().filesDone, 7);
            EXPECT_EQ(sender.Progress().errorsRecovered, 0);
            EXPECT_EQ(receiver.Progress().errorsRecovered, 0);
        }
    }
}

TEST(ZmodemSession, StatusesFollowTheTransfer) {
    TempDir dir;
    DownloadFolder folder(dir.Path());
    ZmodemReceiver receiver(folder);
    ZmodemSender sender(test::MemoryFiles({{"a", "hello"}, {"b", "world"}}));
    auto r = test::RunLink(sender, receiver);
    std::vector<int> expected = {XFER_WAITING, XFER_NEGOTIATING, XFER_TRANSFERRING, XFER_FINISHING, XFER_FILE_DONE,
                                 XFER_NEGOTIATING, XFER_TRANSFERRING, XFER_FINISHING, XFER_FILE_DONE, XFER_IDLE};
    EXPECT_EQ(r.receiverStatuses, expected);
    EXPECT_EQ(r.senderStatuses, expected);
}

// A receiver that asks for a small buffer gets the file in acknowledged windows.
TEST(ZmodemSession, WindowedSending) {
    TempDir dir;
    DownloadFolder folder(dir.Path());
    ZmodemReceiver receiver(folder);
    SenderOptions so;
    so.window = 4096;
    std::vector<NamedData> files = {{"w.bin", test::RandomBytes(100000, 9)}};
    ZmodemSender sender(test::MemoryFiles(files), so);
    auto r = test::RunLink(sender, receiver);
    EXPECT_EQ(r.receiverStatus, XFER_IDLE);
    ExpectReceived(dir, files);
}

// Damage on the line: every run either completes with identical files or fails, and a
// failure never leaves a file that looks complete.
TEST(ZmodemSession, DamagedLine) {
    struct Case {
        const char* what;
        Faults faults;
        bool mustComplete;
    } cases[] = {
        {"rare flips", {1e-5, 0, true, -1, 0, -1, 1}, true},
        {"frequent flips", {2e-4, 0, true, -1, 0, -1, 2}, true},
        {"drops", {0, 1e-4, true, -1, 0, -1, 3}, true},
        {"flips and drops", {1e-4, 1e-4, true, -1, 0, -1, 4}, true},
        {"flips 1e-3 both ways", {1e-3, 0, true, -1, 0, -1, 8}, true},
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
            ReceiverOptions ro;
            ro.timeout = 5;
            ZmodemReceiver receiver(folder, ro);
            SenderOptions so;
            so.timeout = 5;
            ZmodemSender sender(test::MemoryFiles(files), so);
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

// The line drops half way; the next transfer of the same file continues the partial one.
TEST(ZmodemSession, ResumeAfterCarrierLoss) {
    TempDir dir;
    std::vector<NamedData> files = {{"big.bin", test::RandomBytes(400000, 33)}};
    {
        DownloadFolder folder(dir.Path());
        ZmodemReceiver receiver(folder);
        ZmodemSender sender(test::MemoryFiles(files));
        Faults f;
        f.cutAfter = 200000;
        auto r = test::RunLink(sender, receiver, f);
        EXPECT_EQ(r.receiverStatus, XFER_CARRIER_LOST);
        EXPECT_EQ(r.senderStatus, XFER_CARRIER_LOST);
    }
    ASSERT_EQ(dir.Names(), std::vector<std::string>{"big.bin.part"});
    Bytes partial;
    test::ReadWholeFile(dir.File("big.bin.part"), partial);
    ASSERT_GT(partial.size(), 100000u);
    EXPECT_TRUE(partial == files[0].data.substr(0, partial.size()));

    DownloadFolder folder(dir.Path());
    ZmodemReceiver receiver(folder);
    ZmodemSender sender(test::MemoryFiles(files));
    auto r = test::RunLink(sender, receiver);
    EXPECT_EQ(r.receiverStatus, XFER_IDLE);
    EXPECT_EQ(receiver.Progress().resumedFrom, static_cast<int64_t>(partial.size()));
    EXPECT_EQ(sender.Progress().resumedFrom, static_cast<int64_t>(partial.size()));
    ExpectReceived(dir, files);
}

// A partial file of the same name but other contents is left alone.
TEST(ZmodemSession, UnrelatedPartialIsNotContinued) {
    TempDir dir;
    Bytes other = test::RandomBytes(1000, 44);
    test::WriteWholeFile(dir.File("f.bin.part"), other);
    std::vector<NamedData> files = {{"f.bin", test::RandomBytes(5000, 45)}};
    DownloadFolder folder(dir.Path());
    ZmodemReceiver receiver(folder);
    ZmodemSender sender(test::MemoryFiles(files));
    auto r = test::RunLink(sender, receiver);
    EXPECT_EQ(r.receiverStatus, XFER_IDLE);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"f.1.bin", "f.bin.part"}));
    Bytes got;
    test::ReadWholeFile(dir.File("f.1.bin"), got);
    EXPECT_TRUE(got == files[0].data);
    test::ReadWholeFile(dir.File("f.bin.part"), got);
    EXPECT_TRUE(got == other);
}

TEST(ZmodemSession, HostileNamesStayInTheFolder) {
    TempDir parent;
    std::string folderPath = parent.File("in");
    ASSERT_EQ(mkdir(folderPath.c_str(), 0755), 0);
    test::WriteWholeFile(folderPath + "/x", "existing");
    std::vector<NamedData> files = {
        {"../x", "up"}, {"/etc/x", "abs"}, {"x", "same"}, {"bell\x07\x1b[2J", "ctl"},
        {std::string(10000, 'n'), "long"}, {"..", "dots"},
    };
    DownloadFolder folder(folderPath);
    ZmodemReceiver receiver(folder);
    ZmodemSender sender(test::MemoryFiles(files));
    auto r = test::RunLink(sender, receiver);
    EXPECT_EQ(r.receiverStatus, XFER_IDLE);
    EXPECT_EQ(parent.Names(), std::vector<std::string>{"in"});
    Bytes got;
    test::ReadWholeFile(folderPath + "/x", got);
    EXPECT_EQ(got, "existing");
    struct Expect {
        std::string name, data;
    } expected[] = {{"x.1", "up"}, {"x.2", "abs"}, {"x.3", "same"}, {"bell__[2J", "ctl"},
                    {std::string(kMaxNameLength, 'n'), "long"}, {"__", "dots"}};
    for (const auto& e : expected) {
        EXPECT_TRUE(test::ReadWholeFile(folderPath + "/" + e.name, got)) << e.name;
        EXPECT_EQ(got, e.data);
    }
}

TEST(ZmodemSession, CancelFromEitherSide) {
    std::vector<NamedData> files = {{"c.bin", test::RandomBytes(2000000, 55)}};
    for (bool receiverCancels : {false, true}) {
        TempDir dir;
        DownloadFolder folder(dir.Path());
        ZmodemReceiver receiver(folder);
        ZmodemSender sender(test::MemoryFiles(files));
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
        EXPECT_LT(r.seconds, 5.0);   // the other end stopped on the cancel, not a time-out
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"c.bin.part"});
    }
}

// Nobody answers: the receiver asks a bounded number of times, then reports the time-out;
// a caller's abort after that ends it as failed.
TEST(ZmodemSession, SilentPeerTimesOut) {
    TempDir dir;
    DownloadFolder folder(dir.Path());
    ReceiverOptions ro;
    ro.timeout = 10;
    ro.maxRetries = 3;
    ZmodemReceiver receiver(folder, ro);
    std::vector<int> statuses;
    receiver.SetStatusHandler([&](int s) {
        statuses.push_back(s);
        if (s == XFER_TIMED_OUT) receiver.Abort();
    });
    receiver.Start(0);
    int inits = 0;
    std::string sent;
    uint8_t buf[256];
    for (double t = 0; t < 100 && !receiver.Finished(); t += 0.5) {
        receiver.Tick(t);
        size_t n = receiver.TakeOutgoing(buf, sizeof buf);
        if (n > 4 && buf[0] == '*' && buf[3] == 'B' && buf[4] == '0' && buf[5] == '1') ++inits;
        sent.append(reinterpret_cast<char*>(buf), n);
    }
    EXPECT_EQ(inits, 4);
    EXPECT_EQ(statuses, (std::vector<int>{XFER_WAITING, XFER_TIMED_OUT, XFER_FAILED}));
    EXPECT_NE(sent.find(std::string(5, '\x18')), std::string::npos);   // the cancel sequence
    EXPECT_TRUE(dir.Names().empty());
}

}  // namespace
}  // namespace zorv::zmodem

namespace zorv::zmodem {
namespace {

// The receiver's ZRINIT decides the escaping: with ESCCTL no control character travels
// raw in the file data, without it they do (and cost nothing).
TEST(ZmodemSession, SenderEscapesWhatTheReceiverAsks) {
    for (bool ask : {false, true}) {
        ZmodemSender sender(test::MemoryFiles({{"ctl", test::EveryByteValue(8)}}));
        sender.Start(0);
        FrameEncoder enc;
        ByteQueue answers;
        enc.HexHeader(answers, Header::WithFlags(ZRINIT, CANFDX | CANOVIO | CANFC32 | (ask ? ESCCTL : 0)));
        sender.Feed(answers.Front(), answers.Size());
        uint8_t buf[65536];
        sender.TakeOutgoing(buf, sizeof buf);   // up to the ZFILE
        ByteQueue pos;
        enc.HexHeader(pos, Header::WithPosition(ZRPOS, 0));
        sender.Feed(pos.Front(), pos.Size());
        size_t n = sender.TakeOutgoing(buf, sizeof buf);
        size_t controls = 0;
        for (size_t i = 0; i < n; ++i)
            if ((buf[i] & 0x60) == 0 && buf[i] != ZDLE) ++controls;
        SCOPED_TRACE(ask ? "ESCCTL asked" : "not asked");
        if (ask) {
            EXPECT_EQ(controls, 0u);
        } else {
            EXPECT_GT(controls, 0u);
        }
        EXPECT_GT(n, 8u * 256u);
    }
}

}  // namespace
}  // namespace zorv::zmodem

namespace zorv::zmodem {
namespace {

Bytes Taken(TransferSession& s) {
    Bytes out;
    uint8_t buf[65536];
    while (size_t n = s.TakeOutgoing(buf, sizeof buf)) out.append(reinterpret_cast<char*>(buf), n);
    return out;
}

Bytes HexText(const Header& h) {
    FrameEncoder enc;
    ByteQueue q;
    enc.HexHeader(q, h);
    return Bytes(reinterpret_cast<const char*>(q.Front()), q.Size());
}

// The same header with one hex digit of its check value changed.
Bytes Garbled(const Header& h) {
    Bytes text = HexText(h);
    text[16] = text[16] == '0' ? '1' : '0';
    return text;
}

// A header that arrives broken while an end waits for it is asked for again at once with
// ZNAK, and ZNAK makes the other end repeat its last header.
TEST(ZmodemSession, GarbledHeadersAreAskedForAgain) {
    const Bytes znak = HexText(Header::WithPosition(ZNAK, 0));
    const Header init = Header::WithFlags(ZRINIT, CANFDX | CANOVIO | CANFC32);

    ZmodemSender sender(test::MemoryFiles({{"f", "0123456789"}}));
    sender.Start(0);
    Taken(sender);
    sender.Feed(Garbled(init));
    EXPECT_EQ(Taken(sender), znak) << "the receiver's ZRINIT broke";
    sender.Feed(HexText(init));
    Bytes fileHeader = Taken(sender);
    EXPECT_NE(fileHeader.find("f"), Bytes::npos);
    sender.Feed(Garbled(Header::WithPosition(ZRPOS, 0)));
    EXPECT_EQ(Taken(sender), znak) << "the answer to ZFILE broke";
    sender.Feed(znak);
    EXPECT_EQ(Taken(sender), fileHeader) << "ZNAK repeats the ZFILE";
    EXPECT_EQ(sender.Progress().errorsRecovered, 2);

    TempDir dir;
    DownloadFolder folder(dir.Path());
    ZmodemReceiver receiver(folder);
    receiver.Start(0);
    EXPECT_EQ(Taken(receiver), HexText(init));
    receiver.Feed(Garbled(Header::WithPosition(ZRQINIT, 0)));
    EXPECT_EQ(Taken(receiver), znak);
    receiver.Feed(znak);
    EXPECT_EQ(Taken(receiver), HexText(init)) << "ZNAK repeats the ZRINIT";
    receiver.Feed(fileHeader);
    EXPECT_EQ(Taken(receiver), HexText(Header::WithPosition(ZRPOS, 0)));
    EXPECT_EQ(receiver.Status(), XFER_NEGOTIATING);
}

}  // namespace
}  // namespace zorv::zmodem

namespace zorv::zmodem {
namespace {

struct Subpackets {
    std::vector<size_t> lengths;
    std::vector<uint8_t> ends;
};

// Decodes what the sender put on the line: the subpackets' lengths and frame ends.
Subpackets Decode(FrameDecoder& decoder, const Bytes& line) {
    Subpackets s;
    size_t at = 0;
    while (at < line.size()) {
        size_t used = 0;
        auto event = decoder.Feed(reinterpret_cast<const uint8_t*>(line.data()) + at, line.size() - at, used);
        at += used;
        if (event == FrameDecoder::Event::Header && decoder.LastHeader().type == ZDATA) decoder.ExpectData();
        if (event == FrameDecoder::Event::Subpacket) {
            s.lengths.push_back(decoder.DataLength());
            s.ends.push_back(decoder.FrameEnd());
        }
    }
    return s;
}

// Subpackets halve when the receiver asks for data again and grow back only once the
// receiver has confirmed 32 of them whole (a sender far ahead of the line has not heard
// of the errors yet when it has merely sent them).
TEST(ZmodemSession, SubpacketsGrowBackOnlyOnConfirmedData) {
    ZmodemSender sender(test::MemoryFiles({{"big", test::RandomBytes(2 << 20, 9)}}));
    sender.Start(0);
    Taken(sender);
    sender.Feed(HexText(Header::WithFlags(ZRINIT, CANFDX | CANOVIO | CANFC32)));
    Taken(sender);
    // The line takes 64 KB at a time.
    std::vector<uint8_t> chunk(65536);
    auto lineTakes = [&] {
        size_t n = sender.TakeOutgoing(chunk.data(), chunk.size());
        return Bytes(reinterpret_cast<const char*>(chunk.data()), n);
    };
    sender.Feed(HexText(Header::WithPosition(ZRPOS, 0)));
    FrameDecoder decoder;
    Subpackets clean = Decode(decoder, lineTakes());
    ASSERT_FALSE(clean.lengths.empty());
    EXPECT_EQ(clean.lengths[0], 8192u);

    sender.Feed(HexText(Header::WithPosition(ZRPOS, 100000)));
    decoder.Hunt();
    Subpackets afterError;
    for (int i = 0; i < 8; ++i) {
        Subpackets more = Decode(decoder, lineTakes());
        afterError.lengths.insert(afterError.lengths.end(), more.lengths.begin(), more.lengths.end());
        afterError.ends.insert(afterError.ends.end(), more.ends.begin(), more.ends.end());
    }
    ASSERT_GE(afterError.lengths.size(), 64u);
    for (size_t i = 0; i < afterError.lengths.size(); ++i) {
        EXPECT_EQ(afterError.lengths[i], 4096u) << "subpacket " << i;
        EXPECT_EQ(afterError.ends[i], (i % 32 == 31) ? ZCRCQ : ZCRCG) << "subpacket " << i;
    }

    sender.Feed(HexText(Header::WithPosition(ZACK, 100000 + 32 * 4096)));
    Subpackets grown;
    while (grown.lengths.size() < 20) {
        Subpackets more = Decode(decoder, lineTakes());
        grown.lengths.insert(grown.lengths.end(), more.lengths.begin(), more.lengths.end());
    }
    // What was made ready before the ack goes out first; then the larger size.
    EXPECT_EQ(grown.lengths.back(), 8192u);
}

}  // namespace
}  // namespace zorv::zmodem
