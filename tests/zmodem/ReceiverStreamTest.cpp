// The receiver fed a sender's stream written by hand: what it keeps of honest and of
// lying senders, and that chunking the input changes nothing.
#include "modem/CommControl.h"
#include "platform/zmodem/ZmodemCrc.h"
#include "platform/zmodem/ZmodemReceiver.h"
#include "platform/zmodem/ZmodemTransfers.h"
#include "tests/zmodem/ZmodemTestKit.h"

#include <gtest/gtest.h>

namespace zorv::zmodem {
namespace {

using test::Bytes;
using test::TempDir;

struct Stream {
    FrameEncoder enc;
    ByteQueue line;

    void Hex(uint8_t type, uint32_t pos = 0) { enc.HexHeader(line, Header::WithPosition(type, pos)); }
    void Bin(uint8_t type, uint32_t pos = 0) { enc.BinaryHeader(line, Header::WithPosition(type, pos), true); }
    void File(const std::string& name, const std::string& info) {
        enc.BinaryHeader(line, Header::WithFlags(ZFILE, ZCBIN), true);
        std::string block = name + '\0' + info + '\0';
        enc.Subpacket(line, reinterpret_cast<const uint8_t*>(block.data()), block.size(), ZCRCW, true);
    }
    void Data(const Bytes& data, uint8_t end = ZCRCG) {
        enc.Subpacket(line, reinterpret_cast<const uint8_t*>(data.data()), data.size(), end, true);
    }
    // A subpacket whose check value does not match its contents.
    void DamagedData(const Bytes& data) {
        ByteQueue good;
        enc.Subpacket(good, reinterpret_cast<const uint8_t*>(data.data()), data.size(), ZCRCG, true);
        Bytes raw(reinterpret_cast<const char*>(good.Front()), good.Size());
        raw[2] = static_cast<char>(raw[2] ^ 0x04);
        line.Append(raw);
    }
    Bytes Text() const { return Bytes(reinterpret_cast<const char*>(line.Front()), line.Size()); }
};

struct Outcome {
    int status = 0;
    Bytes answers;
    std::vector<std::string> names;
    Bytes complete, partial;
};

Outcome Receive(const Bytes& stream, size_t chunk) {
    TempDir dir;
    DownloadFolder folder(dir.Path());
    ZmodemReceiver receiver(folder);
    receiver.Start(0);
    Outcome o;
    uint8_t buf[4096];
    for (size_t at = 0; at < stream.size(); at += chunk) {
        receiver.Tick(0.001 * double(at));
        receiver.Feed(reinterpret_cast<const uint8_t*>(stream.data()) + at, std::min(chunk, stream.size() - at));
        while (size_t n = receiver.TakeOutgoing(buf, sizeof buf)) o.answers.append(reinterpret_cast<char*>(buf), n);
    }
    o.status = receiver.Status();
    o.names = dir.Names();
    test::ReadWholeFile(dir.File("f"), o.complete);
    test::ReadWholeFile(dir.File("f.part"), o.partial);
    return o;
}

TEST(ZmodemReceiverStream, HonestAndLyingSenders) {
    Bytes ten = "0123456789";
    struct Case {
        const char* what;
        std::function<void(Stream&)> write;
        int status;
        std::vector<std::string> names;
        Bytes complete, partial;
    } cases[] = {
        {"honest",
         [&](Stream& s) { s.File("f", "10 0 0"); s.Bin(ZDATA, 0); s.Data(ten.substr(0, 4)); s.Data(ten.substr(4), ZCRCE); s.Bin(ZEOF, 10); },
         XFER_IDLE, {"f"}, ten, ""},
        {"no size offered",
         [&](Stream& s) { s.File("f", ""); s.Bin(ZDATA, 0); s.Data(ten, ZCRCE); s.Bin(ZEOF, 10); },
         XFER_IDLE, {"f"}, ten, ""},
        {"ends short of the offer",
         [&](Stream& s) { s.File("f", "10 0 0"); s.Bin(ZDATA, 0); s.Data(ten.substr(0, 5), ZCRCE); s.Bin(ZEOF, 5); },
         XFER_FAILED, {"f.part"}, "", ten.substr(0, 5)},
        {"more data than offered",
         [&](Stream& s) { s.File("f", "5 0 0"); s.Bin(ZDATA, 0); s.Data(ten, ZCRCE); s.Bin(ZEOF, 10); },
         XFER_FAILED, {"f.part"}, "", ""},
        {"damaged subpacket, end claimed anyway",
         [&](Stream& s) { s.File("f", "10 0 0"); s.Bin(ZDATA, 0); s.Data(ten.substr(0, 4)); s.DamagedData(ten.substr(4)); s.Bin(ZEOF, 10); },
         XFER_FAILED, {"f.part"}, "", ten.substr(0, 4)},
        {"data at a position never asked for",
         [&](Stream& s) { s.File("f", "10 0 0"); s.Bin(ZDATA, 5); s.Data(ten.substr(5), ZCRCE); s.Bin(ZEOF, 10); },
         XFER_FAILED, {"f.part"}, "", ""},
        {"end before any data",
         [&](Stream& s) { s.File("f", "10 0 0"); s.Bin(ZEOF, 10); },
         XFER_FAILED, {"f.part"}, "", ""},
    };
    for (const auto& c : cases) {
        Stream s;
        s.line.Append(std::string("rz\r"));
        s.Hex(ZRQINIT);
        c.write(s);
        s.Hex(ZFIN);
        Outcome whole = Receive(s.Text(), s.Text().size());
        Outcome bytewise = Receive(s.Text(), 1);
        SCOPED_TRACE(c.what);
        EXPECT_EQ(whole.status, c.status);
        EXPECT_EQ(whole.names, c.names);
        EXPECT_EQ(whole.complete, c.complete);
        EXPECT_EQ(whole.partial, c.partial);
        EXPECT_EQ(bytewise.status, whole.status);
        EXPECT_EQ(bytewise.names, whole.names);
        EXPECT_EQ(bytewise.answers, whole.answers);
        EXPECT_EQ(bytewise.complete, whole.complete);
    }
}

}  // namespace
}  // namespace zorv::zmodem

namespace zorv::zmodem {
namespace {

using test::Bytes;
using test::TempDir;

// A sender that never answers the file-CRC request: the partial copy cannot be proven,
// so it is left alone and the file arrives under a name of its own.
TEST(ZmodemReceiverStream, UnprovenPartialIsLeftAlone) {
    TempDir dir;
    test::WriteWholeFile(dir.File("f.part"), "01234");
    auto receiver = MakeDownload(dir.Path(), "");
    receiver->Start(0);
    Stream s;
    s.Hex(ZRQINIT);
    s.File("f", "10 0 0");
    receiver->Feed(s.Text());
    uint8_t buf[4096];
    std::string answers;
    for (double t = 0; t < 60 && answers.find("**\x18" "B09") == std::string::npos; t += 1) {
        receiver->Tick(t);
        answers.append(reinterpret_cast<char*>(buf), receiver->TakeOutgoing(buf, sizeof buf));
    }
    EXPECT_NE(answers.find("**\x18" "B0d"), std::string::npos);   // it did ask (ZCRC)
    Stream rest;
    rest.Bin(ZDATA, 0);
    rest.Data("0123456789", ZCRCE);
    rest.Bin(ZEOF, 10);
    rest.Hex(ZFIN);
    receiver->Feed(rest.Text());
    EXPECT_EQ(receiver->Status(), XFER_IDLE);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"f.1", "f.part"}));
    Bytes got;
    test::ReadWholeFile(dir.File("f.part"), got);
    EXPECT_EQ(got, "01234");
}

}  // namespace
}  // namespace zorv::zmodem

namespace zorv::zmodem {
namespace {

// A 2400 bps line: an 8 KB subpacket takes 35 seconds, longer than the time-out, and
// still arrives without the receiver asking for it again.
TEST(ZmodemReceiverStream, SlowLineIsNotATimeOut) {
    test::TempDir dir;
    auto receiver = MakeDownload(dir.Path(), "");
    receiver->Start(0);
    Stream s;
    s.Hex(ZRQINIT);
    s.File("slow", "8192 0 0");
    s.Bin(ZDATA, 0);
    s.Data(test::RandomBytes(8192, 77), ZCRCE);
    s.Bin(ZEOF, 8192);
    s.Hex(ZFIN);
    Bytes line = s.Text();
    uint8_t buf[4096];
    std::string answers;
    double t = 0;
    for (size_t at = 0; at < line.size(); at += 24, t += 0.1) {   // 240 bytes a second
        receiver->Tick(t);
        receiver->Feed(reinterpret_cast<const uint8_t*>(line.data()) + at, std::min<size_t>(24, line.size() - at));
        answers.append(reinterpret_cast<char*>(buf), receiver->TakeOutgoing(buf, sizeof buf));
    }
    EXPECT_EQ(receiver->Status(), XFER_IDLE);
    EXPECT_EQ(receiver->Progress().errorsRecovered, 0);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"slow"});
}

}  // namespace
}  // namespace zorv::zmodem
