// Frames, check values and escaping, at the level of bytes on the line.
#include "platform/zmodem/ZmodemCrc.h"
#include "platform/zmodem/ZmodemFrames.h"
#include "tests/zmodem/ZmodemTestKit.h"

#include <gtest/gtest.h>

namespace zorv::zmodem {
namespace {

using test::Bytes;

struct Decoded {
    std::vector<Header> headers;
    std::vector<Bytes> subpackets;
    std::vector<uint8_t> ends;
    int badHeaders = 0;
    int badSubpackets = 0;
    int cancels = 0;
};

// Feeds `line` in chunks of `chunk` bytes (0: in one piece); switches to data after a
// header of a type that carries subpackets, as the sessions do.
Decoded Decode(const ByteQueue& line, size_t chunk) {
    Decoded d;
    FrameDecoder decoder;
    const uint8_t* p = line.Front();
    size_t left = line.Size();
    while (left > 0) {
        size_t piece = chunk == 0 ? left : std::min(chunk, left);
        size_t offset = 0;
        while (offset < piece) {
            size_t used = 0;
            auto e = decoder.Feed(p + offset, piece - offset, used);
            offset += used;
            switch (e) {
            case FrameDecoder::Event::Header:
                d.headers.push_back(decoder.LastHeader());
                if (decoder.LastHeader().type == ZDATA || decoder.LastHeader().type == ZFILE) decoder.ExpectData();
                break;
            case FrameDecoder::Event::Subpacket:
                d.subpackets.emplace_back(reinterpret_cast<const char*>(decoder.Data()), decoder.DataLength());
                d.ends.push_back(decoder.FrameEnd());
                break;
            case FrameDecoder::Event::BadHeader: ++d.badHeaders; break;
            case FrameDecoder::Event::BadSubpacket: ++d.badSubpackets; break;
            case FrameDecoder::Event::Cancel: ++d.cancels; break;
            case FrameDecoder::Event::None: break;
            }
        }
        p += piece;
        left -= piece;
    }
    return d;
}

TEST(ZmodemCrc, KnownCheckValues) {
    const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16(text, 9), 0x31C3);
    EXPECT_EQ(Crc32(text, 9), 0xCBF43926u);
    // The eight-byte step and the byte step agree for every length and alignment.
    Bytes data = test::RandomBytes(100, 3);
    auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    for (size_t len = 0; len < 40; ++len) {
        uint32_t slow = 0xFFFFFFFFu;
        for (size_t i = 0; i < len; ++i) slow = Crc32Update(slow, bytes + 3 + i, 1);
        EXPECT_EQ(Crc32Update(0xFFFFFFFFu, bytes + 3, len), slow) << len;
    }
}

// Every header format carries every awkward value through, with and without escaping
// of control characters, in one piece and byte by byte.
TEST(ZmodemFrames, HeadersRoundTrip) {
    const uint32_t positions[] = {0, 1, 0x18181818u, 0x11131191u, 0x0D400DC0u, 0xFFFFFFFFu, 0x7F7FFFFFu, 123456789};
    for (bool escapeAll : {false, true}) {
        for (auto format : {HeaderFormat::Hex, HeaderFormat::Bin16, HeaderFormat::Bin32}) {
            FrameEncoder enc;
            enc.SetEscapeControl(escapeAll);
            ByteQueue line;
            for (uint32_t p : positions) {
                Header h = Header::WithPosition(ZRPOS, p);
                if (format == HeaderFormat::Hex) enc.HexHeader(line, h);
                else enc.BinaryHeader(line, h, format == HeaderFormat::Bin32);
            }
            for (size_t chunk : {size_t(0), size_t(1), size_t(7)}) {
                Decoded d = Decode(line, chunk);
                ASSERT_EQ(d.headers.size(), std::size(positions)) << int(format) << " chunk " << chunk;
                for (size_t i = 0; i < d.headers.size(); ++i) {
                    EXPECT_EQ(d.headers[i].type, ZRPOS);
                    EXPECT_EQ(d.headers[i].Position(), positions[i]);
                    EXPECT_EQ(d.headers[i].format, format);
                }
                EXPECT_EQ(d.badHeaders + d.badSubpackets + d.cancels, 0);
            }
        }
    }
}

TEST(ZmodemFrames, SubpacketsCarryEveryByteValue) {
    // Starting with line ends: the line ends that follow a hex header are not data, but
    // those at the start of a subpacket after a binary header are.
    Bytes all = "\r\n" + test::EveryByteValue(3) + "@\r@\x8d\xc0\r";
    for (bool escapeAll : {false, true}) {
        for (bool crc32 : {false, true}) {
            FrameEncoder enc;
            enc.SetEscapeControl(escapeAll);
            ByteQueue line;
            enc.HexHeader(line, Header::WithPosition(ZCRC, 0x12345678));
            const size_t hexLength = line.Size();
            enc.BinaryHeader(line, Header::WithPosition(ZDATA, 0), crc32);
            const uint8_t ends[] = {ZCRCG, ZCRCQ, ZCRCW};
            for (uint8_t end : ends)
                enc.Subpacket(line, reinterpret_cast<const uint8_t*>(all.data()), all.size(), end, crc32);
            // Nothing a line or a terminal may act on travels unescaped.
            Bytes raw(reinterpret_cast<const char*>(line.Front()), line.Size());
            for (size_t i = hexLength; i < raw.size(); ++i) {
                auto c = static_cast<uint8_t>(raw[i]);
                if (c == XON && i + 1 == raw.size()) continue;   // the XON after ZCRCW
                EXPECT_TRUE(c != 0x10 && c != 0x90 && (c & 0x7F) != XON && (c & 0x7F) != XOFF) << i;
                if (escapeAll && c != ZDLE) {
                    EXPECT_NE(c & 0x60, 0) << "control byte at " << i;
                }
                if (i > 0 && (c & 0x7F) == '\r') {
                    EXPECT_NE(raw[i - 1] & 0x7F, '@') << i;
                }
            }
            for (size_t chunk : {size_t(0), size_t(1), size_t(5)}) {
                Decoded d = Decode(line, chunk);
                ASSERT_EQ(d.subpackets.size(), 3u);
                for (size_t i = 0; i < 3; ++i) {
                    EXPECT_EQ(d.subpackets[i], all);
                    EXPECT_EQ(d.ends[i], ends[i]);
                }
            }
        }
    }
}

// A damaged subpacket is reported as bad, never delivered with wrong contents.
TEST(ZmodemFrames, DamageIsNeverDelivered) {
    Bytes data = test::RandomBytes(1024, 11);
    for (bool crc32 : {false, true}) {
        FrameEncoder enc;
        ByteQueue clean;
        enc.BinaryHeader(clean, Header::WithPosition(ZDATA, 0), crc32);
        size_t headerEnd = clean.Size();
        enc.Subpacket(clean, reinterpret_cast<const uint8_t*>(data.data()), data.size(), ZCRCE, crc32);
        for (size_t at = headerEnd; at < clean.Size(); at += 37) {
            for (uint8_t bit : {uint8_t(0x01), uint8_t(0x20), uint8_t(0x80)}) {
                ByteQueue bad;
                Bytes copy(reinterpret_cast<const char*>(clean.Front()), clean.Size());
                copy[at] = static_cast<char>(copy[at] ^ bit);
                bad.Append(copy);
                Decoded d = Decode(bad, 0);
                for (const auto& s : d.subpackets) EXPECT_EQ(s, data) << "byte " << at << " bit " << int(bit);
            }
        }
    }
}

TEST(ZmodemFrames, CancelAndStartDetection) {
    ByteQueue line;
    line.Append(std::string("junk\x18\x18\x18\x18", 8));
    EXPECT_EQ(Decode(line, 1).cancels, 0);
    line.Push(ZDLE);
    EXPECT_EQ(Decode(line, 1).cancels, 1);

    struct Case {
        Bytes text;
        bool start;
    } cases[] = {
        {"rz\r**\x18" "B00000000000000\r\x8a", true},
        {"***\x18" "B00", true},
        {"**\x18" "B01", false},
        {"*\x18" "B00", false},
        {"plain text", false},
    };
    for (const auto& c : cases) {
        StartDetector detector;
        bool seen = false;
        for (char ch : c.text) seen = detector.Feed(reinterpret_cast<const uint8_t*>(&ch), 1) || seen;
        EXPECT_EQ(seen, c.start) << c.text;
    }
}

}  // namespace
}  // namespace zorv::zmodem
