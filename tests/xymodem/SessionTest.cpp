// Our XMODEM and YMODEM ends against each other over an in-memory line on virtual time,
// and the receiver against hand-made blocks: contents, padding, damage, cancel, time-outs,
// senders that break the rules.
#include "modem/CommControl.h"
#include "platform/xymodem/XymodemReceiver.h"
#include "platform/xymodem/XymodemSender.h"
#include "platform/zmodem/ZmodemCrc.h"
#include "tests/zmodem/ZmodemTestKit.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

namespace zorv::xymodem {
namespace {

using zmodem::test::ExpectNoWrongFile;

using zmodem::test::Bytes;
using zmodem::test::Faults;
using zmodem::test::NamedData;
using zmodem::test::TempDir;
namespace kit = zmodem::test;

const Variant kAll[] = {Variant::XmodemChecksum, Variant::XmodemCrc, Variant::Xmodem1K, Variant::Ymodem,
                        Variant::YmodemG};

std::string NameOf(Variant v) {
    static const char* names[] = {"xmodem", "xmodem-crc", "xmodem-1k", "ymodem", "ymodem-g"};
    return names[static_cast<int>(v)];
}

struct Ends {
    std::unique_ptr<XymodemSender> sender;
    std::unique_ptr<XymodemReceiver> receiver;
};

Ends Make(Variant v, const TempDir& dir, const std::vector<NamedData>& files, const std::string& as = "") {
    Options options;
    options.variant = v;
    return {std::make_unique<XymodemSender>(kit::MemoryFiles(files), options),
            std::make_unique<XymodemReceiver>(std::make_unique<zmodem::DownloadFolder>(dir.Path(), as), options)};
}

Bytes Read(const TempDir& dir, const std::string& name) {
    Bytes got;
    EXPECT_TRUE(kit::ReadWholeFile(dir.File(name), got)) << name;
    return got;
}

// The files every variant carries; XMODEM takes them one transfer each.
std::vector<NamedData> Files() {
    return {
        {"empty", ""},
        {"one", "x"},
        {"every-byte.bin", kit::EveryByteValue(17)},          // 4352: 1K blocks and a short tail
        {"exact1k.bin", kit::RandomBytes(1024, 2)},
        {"odd.bin", kit::RandomBytes(70001, 3)},
        {"ends-in-sub.txt", std::string("text\r\n\x1a\x1a", 8)},
    };
}

TEST(XymodemSession, EveryVariantCarriesEveryFile) {
    for (Variant v : kAll) {
        const auto files = Files();
        if (IsBatch(v)) {
            TempDir dir;
            Ends e = Make(v, dir, files);
            auto r = kit::RunLink(*e.sender, *e.receiver);
            EXPECT_EQ(r.senderStatus, 0) << NameOf(v);
            EXPECT_EQ(r.receiverStatus, 0) << NameOf(v);
            for (const auto& f : files) EXPECT_TRUE(Read(dir, f.name) == f.data) << NameOf(v) << " " << f.name;
            EXPECT_EQ(dir.Names().size(), files.size());
            EXPECT_EQ(e.receiver->Progress().filesDone, int(files.size()));
            // Waiting, then per file the header, the data and its end, then done.
            EXPECT_EQ(r.receiverStatuses.front(), XFER_WAITING);
            EXPECT_EQ(std::count(r.receiverStatuses.begin(), r.receiverStatuses.end(), XFER_FILE_DONE),
                      int(files.size()));
            continue;
        }
        for (const auto& f : files) {
            TempDir dir;
            Ends e = Make(v, dir, {f});
            auto r = kit::RunLink(*e.sender, *e.receiver);
            EXPECT_EQ(r.senderStatus, 0) << NameOf(v) << " " << f.name;
            EXPECT_EQ(r.receiverStatus, 0) << NameOf(v) << " " << f.name;
            // No length travels: the SUB bytes that end the last block are taken for its
            // padding, whether they were or not.
            Bytes expected = f.data;
            while (!expected.empty() && expected.back() == '\x1a') expected.pop_back();
            EXPECT_TRUE(Read(dir, kUnnamedDownload) == expected) << NameOf(v) << " " << f.name;
            EXPECT_EQ(dir.Names(), std::vector<std::string>{kUnnamedDownload});
        }
    }
}

TEST(XymodemSession, GivenNameAndTakenNames) {
    TempDir dir;
    kit::WriteWholeFile(dir.File("given.bin"), "");           // made ready by the caller: replaced
    kit::WriteWholeFile(dir.File("one"), "older, kept");       // never replaced: a number is added
    {
        Ends e = Make(Variant::Xmodem1K, dir, {{"ignored", "first"}}, "given.bin");
        EXPECT_EQ(kit::RunLink(*e.sender, *e.receiver).receiverStatus, 0);
    }
    {
        Ends e = Make(Variant::Ymodem, dir, {{"one", "1"}, {"two", "2"}}, "");
        EXPECT_EQ(kit::RunLink(*e.sender, *e.receiver).receiverStatus, 0);
    }
    EXPECT_EQ(Read(dir, "given.bin"), "first");
    EXPECT_EQ(Read(dir, "one"), "older, kept");
    EXPECT_EQ(Read(dir, "one.1"), "1");
    EXPECT_EQ(Read(dir, "two"), "2");
}

// A damaged line: the transfer recovers (NAKs, repeats, re-ACKed duplicates) and the file
// is whole, or it fails and nothing wrong carries a final name.
TEST(XymodemSession, DamagedLineRecoversOrFailsCleanly) {
    const Bytes data = kit::RandomBytes(60000, 11);
    struct Case {
        double flip, drop;
        bool mustComplete;
    } cases[] = {{1e-4, 0, true}, {0, 1e-4, true}, {1e-3, 1e-4, false}};
    for (Variant v : {Variant::XmodemChecksum, Variant::XmodemCrc, Variant::Xmodem1K, Variant::Ymodem}) {
        for (const auto& c : cases) {
            for (uint32_t seed : {1u, 2u, 3u}) {
                TempDir dir;
                Ends e = Make(v, dir, {{"data.bin", data}}, "data.bin");
                Faults f;
                f.flipRate = c.flip;
                f.dropRate = c.drop;
                f.seed = seed;
                auto r = kit::RunLink(*e.sender, *e.receiver, f);
                const std::string what = NameOf(v) + " flip " + std::to_string(c.flip) + " seed " + std::to_string(seed);
                if (c.mustComplete) {
                    EXPECT_EQ(r.receiverStatus, 0) << what;
                    EXPECT_GT(e.receiver->Progress().errorsRecovered, 0) << what;
                }
                ExpectNoWrongFile(dir, {{"data.bin", data}});
                if (r.receiverStatus == 0) {
                    EXPECT_TRUE(Read(dir, "data.bin") == data) << what;
                }
            }
        }
    }
}

TEST(XymodemSession, StreamingFailsOnTheFirstDamage) {
    TempDir dir;
    const Bytes data = kit::RandomBytes(200000, 5);
    Ends e = Make(Variant::YmodemG, dir, {{"data.bin", data}});
    Faults f;
    f.flipRate = 1e-4;
    f.backChannelToo = false;
    auto r = kit::RunLink(*e.sender, *e.receiver, f);
    EXPECT_EQ(r.receiverStatus, XFER_FAILED);
    EXPECT_EQ(r.senderStatus, XFER_FAILED);   // it hears the receiver's cancel
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"data.bin.part"});
}

TEST(XymodemSession, AbortFromEitherSideAndLostCarrier) {
    const Bytes data = kit::RandomBytes(300000, 6);
    for (Variant v : {Variant::XmodemCrc, Variant::Ymodem, Variant::YmodemG}) {
        for (int who : {0, 1, 2}) {   // sender aborts, receiver aborts, the carrier drops
            TempDir dir;
            Ends e = Make(v, dir, {{"data.bin", data}}, "data.bin");
            Faults f;
            if (who == 2) f.cutAfter = 100000;
            auto r = kit::RunLink(*e.sender, *e.receiver, f, 3600, [&](double t) {
                if (t < 0.05 || e.sender->Finished()) return;
                if (who == 0) e.sender->Abort();
                if (who == 1) e.receiver->Abort();
            });
            const std::string what = NameOf(v) + " case " + std::to_string(who);
            auto& aborter = who == 0 ? r.senderStatuses : r.receiverStatuses;
            if (who == 2) {
                EXPECT_EQ(r.senderStatus, XFER_CARRIER_LOST) << what;
                EXPECT_EQ(r.receiverStatus, XFER_CARRIER_LOST) << what;
            } else {
                ASSERT_GE(aborter.size(), 2u) << what;
                EXPECT_EQ(aborter[aborter.size() - 2], XFER_ABORT) << what;
                EXPECT_EQ(aborter.back(), XFER_FAILED) << what;
                // The other end hears the cancel at once, long before any time-out.
                EXPECT_EQ(r.senderStatus, XFER_FAILED) << what;
                EXPECT_EQ(r.receiverStatus, XFER_FAILED) << what;
                EXPECT_LT(r.seconds, 5) << what;
            }
            EXPECT_EQ(dir.Names(), std::vector<std::string>{"data.bin.part"}) << what;
        }
    }
}

TEST(XymodemSession, SilentPeerTimesOut) {
    Options options;
    options.timeout = 10;
    options.maxRetries = 3;
    for (Variant v : kAll) {
        TempDir dir;
        XymodemReceiver receiver(std::make_unique<zmodem::DownloadFolder>(dir.Path()), options);
        XymodemSender sender(kit::MemoryFiles({{"f", "data"}}), options);
        for (TransferSession* s : {static_cast<TransferSession*>(&receiver), static_cast<TransferSession*>(&sender)}) {
            double now = 0;
            s->Start(now);
            while (!s->Finished() && now < 1000) {
                uint8_t buf[64];
                while (s->WantsToSend()) s->TakeOutgoing(buf, sizeof buf);
                s->Tick(now += 0.5);
            }
            EXPECT_EQ(s->Status(), XFER_TIMED_OUT) << NameOf(v);
            EXPECT_LT(now, 60) << NameOf(v);
            // A caller answering 9 with 6 sees the cancel go out and the transfer fail.
            s->Abort();
            EXPECT_TRUE(s->WantsToSend());
            EXPECT_EQ(s->Status(), XFER_FAILED);
        }
        EXPECT_TRUE(dir.Names().empty());
    }
}

// A hang-up once the receiver confirmed every byte costs only its last answer: done. Any
// earlier, or a streamed file whose EOT is its only confirmation, is a lost carrier.
TEST(XymodemSession, HangUpAfterTheLastConfirmation) {
    struct Case {
        Variant variant;
        std::string answers;   // what the receiver says before the line drops
        int status;
    } cases[] = {
        {Variant::XmodemCrc, "C\x06", XFER_IDLE},                       // block ACKed, EOT unanswered
        {Variant::XmodemCrc, "C", XFER_CARRIER_LOST},                    // block unanswered
        {Variant::Ymodem, "C\x06" "C\x06\x06" "C", XFER_IDLE},                 // end-of-batch block unanswered
        {Variant::Ymodem, "C\x06" "C\x06", XFER_CARRIER_LOST},            // EOT of the file unanswered
        {Variant::YmodemG, "G\x06G", XFER_CARRIER_LOST},                 // streamed, EOT unanswered
    };
    for (const auto& c : cases) {
        Options options;
        options.variant = c.variant;
        XymodemSender sender(kit::MemoryFiles({{"f", "data"}}), options);
        sender.Start(0);
        uint8_t buf[4096];
        for (char a : c.answers) {
            while (sender.WantsToSend()) sender.TakeOutgoing(buf, sizeof buf);
            sender.Feed(std::string(1, a));
        }
        while (sender.WantsToSend()) sender.TakeOutgoing(buf, sizeof buf);
        sender.CarrierLost();
        EXPECT_EQ(sender.Status(), c.status) << NameOf(c.variant) << " after " << c.answers.size() << " answers";
    }
}

// A checksum receiver's NAKs pile up while it waits for us: the first starts the transfer,
// the ones already on their way do not send the first block again.
TEST(XymodemSession, QueuedRequestsToStartSendTheFirstBlockOnce) {
    Options options;
    options.variant = Variant::XmodemChecksum;
    XymodemSender sender(kit::MemoryFiles({{"f", "data"}}), options);
    sender.Start(0);
    uint8_t buf[1024];
    auto sent = [&] {
        size_t n = 0;
        while (sender.WantsToSend()) n += sender.TakeOutgoing(buf, sizeof buf);
        return n;
    };
    sender.Feed("\x15\x15\x15");
    EXPECT_EQ(sent(), 3 + kShortBlock + 1);
    sender.Tick(0.2);
    sender.Feed("\x15");
    EXPECT_EQ(sent(), 0u);
    sender.Tick(2.0);
    sender.Feed("\x15");   // a real NAK: the block was damaged
    EXPECT_EQ(sent(), 3 + kShortBlock + 1);
    sender.Feed("\x06");
    EXPECT_EQ(sent(), 1u);   // EOT
}

// Drives a receiver by hand: feed bytes, advance time, read what it answers.
class Script {
public:
    Script(Variant v, const TempDir& dir, const std::string& as = "") {
        Options options;
        options.variant = v;
        receiver_ = std::make_unique<XymodemReceiver>(std::make_unique<zmodem::DownloadFolder>(dir.Path(), as), options);
        receiver_->Start(now_);
        opening_ = Answer("");
    }
    const std::string& Opening() const { return opening_; }
    std::string Answer(const Bytes& bytes, double wait = 0) {
        receiver_->Tick(now_);
        receiver_->Feed(bytes);
        now_ += wait;
        receiver_->Tick(now_);
        std::string out;
        uint8_t buf[256];
        while (receiver_->WantsToSend()) {
            size_t n = receiver_->TakeOutgoing(buf, sizeof buf);
            out.append(reinterpret_cast<char*>(buf), n);
        }
        return out;
    }
    XymodemReceiver& Receiver() { return *receiver_; }

private:
    double now_ = 0;
    std::unique_ptr<XymodemReceiver> receiver_;
    std::string opening_;   // what it sent on starting
};

Bytes Block(uint8_t number, Bytes data, bool crc = true) {
    data.resize(data.size() <= kShortBlock ? kShortBlock : kLongBlock, '\x1a');
    ByteQueue q;
    AppendBlock(q, number, reinterpret_cast<const uint8_t*>(data.data()), data.size(), crc);
    return Bytes(reinterpret_cast<const char*>(q.Front()), q.Size());
}

Bytes Header(const std::string& fields) {
    Bytes data = fields;
    data.resize(kShortBlock, '\0');
    return Block(0, data);
}

const std::string kAck = "\x06", kNak = "\x15", kC = "C";

TEST(XymodemReceiverScript, AsksForCrcThenFallsBackToChecksums) {
    TempDir dir;
    Script s(Variant::XmodemCrc, dir, "f");
    std::string asked = s.Opening();
    for (int i = 0; i < 3; ++i) asked += s.Answer("", 3.0);
    EXPECT_EQ(asked, "CCC" + kNak);
    // Now a checksum block is what it reads.
    EXPECT_EQ(s.Answer(Block(1, "hello", false)), kAck);
    EXPECT_EQ(s.Answer("\x04"), kNak);
    EXPECT_EQ(s.Answer("\x04"), kAck);
    EXPECT_EQ(s.Receiver().Status(), XFER_IDLE);
    EXPECT_EQ(Read(dir, "f"), "hello");
}

// The first block carries whichever check the sender chose from our requests.
TEST(XymodemReceiverScript, FirstBlockWithTheOtherCheck) {
    struct Case {
        Variant variant;
        bool crc;         // what the sender uses
        double wait;      // a checksum block for a CRC request is known once the line is quiet
    } cases[] = {{Variant::XmodemCrc, false, 1.0}, {Variant::XmodemChecksum, true, 0}};
    for (const auto& c : cases) {
        TempDir dir;
        Script s(c.variant, dir, "f");
        EXPECT_EQ(s.Answer(Block(1, "first", c.crc), c.wait), kAck) << NameOf(c.variant);
        EXPECT_EQ(s.Answer(Block(2, "second", c.crc)), kAck) << NameOf(c.variant);
        s.Answer("\x04\x04");
        EXPECT_EQ(s.Receiver().Status(), XFER_IDLE);
        EXPECT_EQ(Read(dir, "f"), "first" + Bytes(123, '\x1a') + "second");
    }
}

TEST(XymodemReceiverScript, RepeatsDamageAndOrder) {
    TempDir dir;
    Script s(Variant::XmodemCrc, dir, "f");
    EXPECT_EQ(s.Answer(Block(1, "one")), kAck);
    EXPECT_EQ(s.Answer(Block(1, "one")), kAck) << "a repeat is ACKed again";
    Bytes bad = Block(2, "two");
    bad[10] ^= 0x40;
    EXPECT_EQ(s.Answer(bad), "") << "no NAK until the line is quiet";
    EXPECT_EQ(s.Answer("", 1.0), kNak);
    EXPECT_EQ(s.Answer(Block(2, "two")), kAck);
    EXPECT_EQ(s.Answer(Block(2, "two").substr(0, 50), 1.0), kNak) << "a block that broke off";
    EXPECT_EQ(s.Answer(Block(3, "three")), kAck);
    EXPECT_EQ(s.Answer("\x04"), kNak);
    EXPECT_EQ(s.Answer("\x04"), kAck);
    EXPECT_EQ(s.Receiver().Status(), XFER_IDLE);
    EXPECT_EQ(Read(dir, "f"), "one" + Bytes(125, '\x1a') + "two" + Bytes(125, '\x1a') + "three");

    TempDir dir2;
    Script skip(Variant::XmodemCrc, dir2, "g");
    EXPECT_EQ(skip.Answer(Block(1, "one")), kAck);
    EXPECT_EQ(skip.Answer(Block(3, "three")), "\x18\x18\x18\x18\x18\x18\x18\x18\x18\x18" + Bytes(10, '\x08'));
    EXPECT_EQ(skip.Receiver().Status(), XFER_FAILED);
    EXPECT_EQ(dir2.Names(), std::vector<std::string>{"g.part"});
}

TEST(XymodemReceiverScript, HeaderBlocks) {
    struct Case {
        std::string header;      // fields of block 0
        Bytes data;              // sent in one block
        bool whole;
        std::string storedAs;
        Bytes stored;
    } cases[] = {
        {std::string("a.txt\0" "5 14000000000", 19), "hello, more than five", true, "a.txt", "hello"},
        {std::string("../../etc/passwd\0" "3", 18), "abc\x1a", true, "passwd", "abc"},
        {std::string("short.bin\0" "1000", 14), "only this", false, "short.bin.part", "only this" + Bytes(119, '\x1a')},
        {std::string("nolength\0", 9), "text\x1a\x1a", true, "nolength", "text"},
        {std::string("huge\0" "99999999999999999999", 25), "x", true, "huge", "x"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        Script s(Variant::Ymodem, dir);
        EXPECT_EQ(s.Answer(Header(c.header)), kAck + kC) << c.storedAs;
        EXPECT_EQ(s.Answer(Block(1, c.data)), kAck) << c.storedAs;
        EXPECT_EQ(s.Answer("\x04"), kNak);
        std::string end = s.Answer("\x04");
        EXPECT_EQ(dir.Names(), std::vector<std::string>{c.storedAs});
        EXPECT_EQ(Read(dir, c.storedAs), c.stored);
        if (!c.whole) {
            EXPECT_EQ(s.Receiver().Status(), XFER_FAILED);
            EXPECT_EQ(end[0], '\x18');
            continue;
        }
        EXPECT_EQ(end, kAck + kC) << c.storedAs;
        EXPECT_EQ(s.Answer(Header("")), kAck);
        EXPECT_EQ(s.Receiver().Status(), XFER_IDLE) << c.storedAs;
    }
    TempDir dir;
    Script s(Variant::Ymodem, dir);
    EXPECT_EQ(s.Opening(), kC);
    s.Answer(Header(std::string("t\0" "1 14000000000", 15)));
    s.Answer(Block(1, "z"));
    s.Answer("\x04\x04");
    struct stat st;
    ASSERT_EQ(stat(dir.File("t").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 014000000000);
}

// Between files a streaming sender may hang up without the block that ends the batch:
// the files are whole, so that is done. Anywhere else a hang-up is a lost carrier.
TEST(XymodemReceiverScript, HangUpBetweenFiles) {
    struct Case {
        Variant variant;
        bool fileDone;
        int status;
    } cases[] = {
        {Variant::YmodemG, true, XFER_IDLE},
        {Variant::YmodemG, false, XFER_CARRIER_LOST},
        {Variant::Ymodem, true, XFER_CARRIER_LOST},
    };
    for (const auto& c : cases) {
        TempDir dir;
        Script s(c.variant, dir);
        s.Answer(Header(std::string("f\0" "4", 3)) + Block(1, "data"));
        if (c.fileDone) s.Answer("\x04\x04");
        s.Receiver().CarrierLost();
        EXPECT_EQ(s.Receiver().Status(), c.status) << NameOf(c.variant) << " " << c.fileDone;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{c.fileDone ? "f" : "f.part"});
    }
}

TEST(XymodemHeaderBlock, ParsesWhatSendersWrite) {
    struct Case {
        std::string data;
        bool isFile;
        std::string name;
        int64_t size, modified;
    } cases[] = {
        {std::string("f.txt\0" "1234 14000000000 100644 0 1 1234", 38), true, "f.txt", 1234, 014000000000},
        {std::string("f\0" "0", 3), true, "f", 0, 0},
        {std::string("f\0", 2), true, "f", -1, 0},
        {std::string("f\0" "4294967296", 12), true, "f", -1, 0},
        {std::string("f\0" "12 9", 6), true, "f", 12, 0},
        {"", false, "", -1, 0},
    };
    for (const auto& c : cases) {
        std::string block = c.data;
        block.resize(kShortBlock, '\0');
        FileOffer offer;
        EXPECT_EQ(ParseHeaderBlock(reinterpret_cast<const uint8_t*>(block.data()), block.size(), offer), c.isFile);
        if (!c.isFile) continue;
        EXPECT_EQ(offer.name, c.name);
        EXPECT_EQ(offer.size, c.size) << c.name;
        EXPECT_EQ(offer.modified, c.modified) << c.name;
    }
    // What we write reads back, and a long name moves the header to a 1K block.
    std::string ours = HeaderBlockData("name.bin", 77, 0x60000000);
    FileOffer offer;
    ASSERT_TRUE(ParseHeaderBlock(reinterpret_cast<const uint8_t*>(ours.data()), ours.size(), offer));
    EXPECT_EQ(offer.size, 77);
    EXPECT_EQ(offer.modified, 0x60000000);
    EXPECT_EQ(ours.size(), kShortBlock);
    EXPECT_EQ(HeaderBlockData(std::string(150, 'n'), 1, 1).size(), kLongBlock);
    // A name that fits no block is refused, never cut short.
    Options options;
    options.variant = Variant::Ymodem;
    XymodemSender sender(kit::MemoryFiles({{std::string(1100, 'n'), "x"}}), options);
    sender.Start(0);
    sender.Feed("C");
    EXPECT_EQ(sender.Status(), XFER_FAILED);
}

}  // namespace
}  // namespace zorv::xymodem
