// Packets and their data fields: what travels, what comes back, what a broken line does.
#include "platform/kermit/KermitPacket.h"
#include "platform/kermit/KermitParams.h"
#include "tests/zmodem/ZmodemTestKit.h"

#include <gtest/gtest.h>

namespace zorv::kermit {
namespace {

using zmodem::test::Bytes;

// Feeds bytes one at a time and collects every packet that passes the check.
std::vector<Packet> Decode(const std::string& wire, int checkType, PacketDecoder& decoder) {
    std::vector<Packet> packets;
    for (char c : wire) {
        if (!decoder.Put(static_cast<uint8_t>(c))) continue;
        Packet p;
        if (decoder.Verify(checkType, p)) packets.push_back(p);
    }
    return packets;
}

// A Send-Init as another Kermit sends it, captured from the line: block check 1,
// long packets of 4000, attributes, CRC asked for, '~' repeat prefix.
TEST(KermitPacket, ReadsAnotherProgramsSendInit) {
    const std::string wire = "\x01" "9 S~' @-#Y3~*!J*0+++J\"U1AP\r";
    PacketDecoder decoder;
    auto packets = Decode(wire, 1, decoder);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].type, 'S');
    EXPECT_EQ(packets[0].seq, 0);
    Params p = DecodeParams(packets[0].data);
    EXPECT_EQ(p.maxLength, 94);
    EXPECT_EQ(p.timeout, 7);
    EXPECT_EQ(p.eol, '\r');
    EXPECT_EQ(p.qctl, '#');
    EXPECT_EQ(p.qbin, 'Y');
    EXPECT_EQ(p.checkType, 3);
    EXPECT_EQ(p.rept, '~');
    EXPECT_EQ(p.capabilities, kCapaLongPackets | kCapaAttributes);
    EXPECT_EQ(p.maxLongLength, 4000u);
    // Our packet with the same contents is the same bytes.
    Packet same{0, 'S', packets[0].data};
    EXPECT_EQ(EncodePacket(same, 1, {}), wire);
}

TEST(KermitPacket, RoundTripsEveryCheckTypeAndLength) {
    for (int checkType : {1, 2, 3}) {
        for (size_t length : {size_t(0), size_t(1), size_t(91 - CheckLength(checkType)), size_t(92), size_t(4000),
                              kMaxLongLength - 3}) {
            SCOPED_TRACE("check " + std::to_string(checkType) + " length " + std::to_string(length));
            std::string data;
            for (size_t i = 0; i < length; ++i) data.push_back(static_cast<char>(33 + (i * 7) % 94));
            Packet sent{static_cast<int>(length % 64), 'D', data};
            std::string wire = EncodePacket(sent, checkType, {2, 0x7F, '\n'});
            PacketDecoder decoder;
            // Line noise and a packet broken off by a lost byte come first.
            std::string noisy = "garbage\r\n" + wire.substr(0, wire.size() / 2) + wire;
            auto packets = Decode(noisy, checkType, decoder);
            ASSERT_EQ(packets.size(), 1u);
            EXPECT_EQ(packets[0].seq, sent.seq);
            EXPECT_EQ(packets[0].type, 'D');
            EXPECT_TRUE(packets[0].data == data);
            for (char c : wire.substr(3))   // past the padding and MARK: no control characters but the line end
                EXPECT_TRUE(static_cast<uint8_t>(c) >= 32 || c == '\n');
        }
    }
}

TEST(KermitPacket, DamageIsCaughtByEveryCheck) {
    const std::string data = "some data field ##A";
    for (int checkType : {1, 2, 3}) {
        std::string wire = EncodePacket({5, 'D', data}, checkType, {});
        for (size_t at = 1; at + 1 < wire.size(); ++at) {
            std::string bad = wire;
            bad[at] = static_cast<char>(bad[at] ^ 0x04);
            PacketDecoder decoder;
            EXPECT_TRUE(Decode(bad, checkType, decoder).empty()) << "check " << checkType << " byte " << at;
        }
    }
}

// A packet that lost a byte is reported as soon as its line end comes (so it is asked for
// again at once) and never passes; the packet after it is read.
TEST(KermitPacket, ShortenedPacketEndsAtItsLineEnd) {
    for (bool longPacket : {false, true}) {
        std::string wire = EncodePacket({7, 'D', std::string(longPacket ? 500 : 40, 'a')}, 3, {});
        const std::string next = EncodePacket({8, 'D', "b"}, 3, {});
        for (size_t at : {size_t(1), size_t(3), size_t(5), wire.size() - 2}) {
            std::string shortened = wire;
            shortened.erase(at, 1);
            PacketDecoder decoder;
            int completed = 0, good = 0;
            for (char c : shortened) {
                if (!decoder.Put(static_cast<uint8_t>(c))) continue;
                ++completed;
                Packet p;
                good += decoder.Verify(3, p);
            }
            SCOPED_TRACE((longPacket ? "long, byte " : "short, byte ") + std::to_string(at));
            EXPECT_EQ(good, 0);
            if (at >= 3) {
                EXPECT_EQ(completed, 1);   // a lost LEN may make a packet that never ends
            }
            auto after = Decode(next, 3, decoder);
            ASSERT_EQ(after.size(), 1u);
            EXPECT_EQ(after[0].seq, 8);
        }
    }
}

TEST(KermitPacket, DataFieldsRoundTripUnderEveryPrefixing) {
    const Bytes input = zmodem::test::EveryByteValue(2) + std::string(200, '~') + std::string(7, '\0') +
                        std::string(5, '#') + std::string(100, '\xFF') + "abc";
    struct Case {
        const char* what;
        Prefixing prefixing;
    } cases[] = {
        {"control prefix only", {'#', 0, 0}},
        {"8th-bit prefix", {'#', '&', 0}},
        {"repeat counts", {'#', 0, '~'}},
        {"both", {'#', '&', '~'}},
    };
    for (const auto& c : cases) {
        for (size_t capacity : {size_t(5), size_t(90), size_t(4000)}) {
            SCOPED_TRACE(std::string(c.what) + " capacity " + std::to_string(capacity));
            std::string decoded;
            size_t at = 0;
            while (at < input.size()) {
                std::string field;
                size_t taken = EncodeData(c.prefixing, reinterpret_cast<const uint8_t*>(input.data()) + at,
                                          input.size() - at, capacity, field);
                ASSERT_GT(taken, 0u);
                EXPECT_LE(field.size(), capacity);
                for (char ch : field) {
                    EXPECT_GE(static_cast<uint8_t>(ch) & 0x7F, 32);
                    EXPECT_NE(static_cast<uint8_t>(ch), 0x7F);
                    if (c.prefixing.qbin) {
                        EXPECT_LT(static_cast<uint8_t>(ch), 0x80);
                    }
                }
                ASSERT_TRUE(DecodeData(c.prefixing, field, decoded));
                at += taken;
            }
            EXPECT_TRUE(decoded == input);
        }
    }
}

TEST(KermitPacket, KnownEncodings) {
    struct Case {
        Bytes in;
        Prefixing prefixing;
        std::string out;
    } cases[] = {
        {"\x01\r", {'#', 0, 0}, "#A#M"},
        {"#&~", {'#', 0, 0}, "##&~"},
        {"#&~", {'#', '&', '~'}, "###&#~"},
        {"\x81\xFF", {'#', 0, 0}, "#\xC1#\xBF"},
        {"\x81\xFF", {'#', '&', 0}, "&#A&#?"},
        {"aaaaa", {'#', 0, '~'}, "~%a"},
        {"aa", {'#', 0, '~'}, "aa"},
        {std::string(3, '\0'), {'#', 0, '~'}, "~##@"},
    };
    for (const auto& c : cases) {
        std::string field;
        EncodeData(c.prefixing, reinterpret_cast<const uint8_t*>(c.in.data()), c.in.size(), 100, field);
        EXPECT_EQ(field, c.out);
        std::string back;
        EXPECT_TRUE(DecodeData(c.prefixing, field, back));
        EXPECT_TRUE(back == c.in);
    }
    std::string out;
    EXPECT_FALSE(DecodeData({'#', '&', '~'}, "ab#", out));   // ends inside a prefixed character
    EXPECT_FALSE(DecodeData({'#', '&', '~'}, "~%", out));
}

TEST(KermitParams, AgreementTakesWhatBothOffer) {
    Params ours;
    ours.checkType = 3;
    ours.rept = '~';
    ours.qbin = 'Y';
    ours.capabilities = kCapaLongPackets | kCapaAttributes;
    ours.maxLongLength = 4000;
    Params theirs = DecodeParams(EncodeParams(ours));
    Agreement a = Agree(ours, theirs);
    EXPECT_EQ(a.checkType, 3);
    EXPECT_EQ(a.sending.rept, '~');
    EXPECT_EQ(a.sending.qbin, 0);   // both only willing: nobody asked
    EXPECT_TRUE(a.longPackets);
    EXPECT_TRUE(a.attributes);
    EXPECT_EQ(a.maxSendLength, 4000u);

    // An end that announces nothing but its packet length: the defaults of the protocol.
    Params plain = DecodeParams(std::string(1, static_cast<char>(ToChar(60))));
    a = Agree(ours, plain);
    EXPECT_EQ(a.checkType, 1);
    EXPECT_EQ(a.sending.rept, 0);
    EXPECT_FALSE(a.longPackets);
    EXPECT_EQ(a.maxSendLength, 60u);
    EXPECT_EQ(a.framing.eol, '\r');

    // One end asks for the 8th-bit prefix, the other is willing; the same prefix may not
    // serve two purposes.
    theirs.qbin = '&';
    EXPECT_EQ(Agree(ours, theirs).sending.qbin, '&');
    theirs.qbin = '#';
    EXPECT_EQ(Agree(ours, theirs).sending.qbin, 0);
}

}  // namespace
}  // namespace zorv::kermit
