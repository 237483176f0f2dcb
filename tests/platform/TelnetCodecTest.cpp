// Telnet option negotiation and escaping, bytes in and bytes out.
#include <gtest/gtest.h>

#include "platform/comm/TelnetCodec.h"

namespace zorv::test {
namespace {

using T = TelnetCodec;

std::string Cmd(unsigned char verb, unsigned char option) {
    return std::string{static_cast<char>(T::IAC), static_cast<char>(verb), static_cast<char>(option)};
}

std::string AllBytes() {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    return all;
}

TEST(TelnetCodecTest, NegotiationAnswersOnlyChangesAndRefusesTheUnknown) {
    struct Case {
        std::string fromPeer;
        std::string answer;
    };
    const Case cases[] = {
        {Cmd(T::DO, T::OPT_BINARY), Cmd(T::WILL, T::OPT_BINARY)},
        {Cmd(T::DO, T::OPT_BINARY), ""},  // already on: no loop
        {Cmd(T::WILL, T::OPT_ECHO), Cmd(T::DO, T::OPT_ECHO)},
        {Cmd(T::DO, T::OPT_ECHO), Cmd(T::WONT, T::OPT_ECHO)},  // the server echoes, not us
        {Cmd(T::DO, 24), Cmd(T::WONT, 24)},
        {Cmd(T::WILL, 31), Cmd(T::DONT, 31)},
        {Cmd(T::DONT, T::OPT_BINARY), Cmd(T::WONT, T::OPT_BINARY)},
        {Cmd(T::DONT, T::OPT_BINARY), ""},
        {std::string("\xff\xfa\x18\x01\xff\xff\xff\xf0", 8), ""},  // subnegotiation skipped
    };
    TelnetCodec codec(T::Role::Client);
    for (const Case& c : cases) {
        std::string data, reply;
        codec.Decode(c.fromPeer.data(), c.fromPeer.size(), data, reply);
        EXPECT_EQ(reply, c.answer);
        EXPECT_EQ(data, "");
    }
}

TEST(TelnetCodecTest, EveryByteValuePassesBothWaysOnceBinaryIsAgreed) {
    TelnetCodec us(T::Role::Client), peer(T::Role::Server);
    std::string offers = us.Start(), peerOffers = peer.Start(), data, reply;
    // Both ends take each other's offers (answers travel until nothing more is said).
    for (int round = 0; round < 4 && !(offers.empty() && peerOffers.empty()); ++round) {
        std::string toUs, toPeer;
        peer.Decode(offers.data(), offers.size(), data, toUs);
        us.Decode(peerOffers.data(), peerOffers.size(), data, toPeer);
        offers = toPeer;
        peerOffers = toUs;
    }
    ASSERT_TRUE(us.LocalEnabled(T::OPT_BINARY) && us.RemoteEnabled(T::OPT_BINARY));
    EXPECT_TRUE(us.RemoteEnabled(T::OPT_ECHO));
    EXPECT_EQ(data, "");

    const std::string all = AllBytes() + "\r\r\n\xff\xff";
    std::string wire, back;
    us.Encode(all.data(), all.size(), wire);
    EXPECT_EQ(wire.size(), all.size() + 3);  // only the three IACs doubled
    peer.Decode(wire.data(), wire.size(), back, reply);
    EXPECT_EQ(back, all);
    EXPECT_EQ(reply, "");
}

TEST(TelnetCodecTest, WithoutBinaryALoneCrTravelsAsCrNul) {
    TelnetCodec a, b;
    std::string wire, back, reply;
    const std::string text = "one\rtwo\r\nthree\r";
    a.Encode(text.data(), text.size(), wire);
    EXPECT_EQ(wire, std::string("one\r\0two\r\nthree\r\0", 17));
    b.Decode(wire.data(), wire.size(), back, reply);
    EXPECT_EQ(back, text);
}

TEST(TelnetCodecTest, ByteByByteAndAllAtOnceDecodeAlike) {
    std::string stream = Cmd(T::WILL, T::OPT_BINARY) + "ab\xff\xff" + Cmd(T::DO, 5) + "c\r\0d" +
                         std::string("\xff\xfa\x01\xff\xff\xff\xf0", 7) + "\xff\xf1" + AllBytes();
    TelnetCodec whole, bytes;
    std::string d1, r1, d2, r2;
    whole.Decode(stream.data(), stream.size(), d1, r1);
    for (char c : stream) bytes.Decode(&c, 1, d2, r2);
    EXPECT_EQ(d1, d2);
    EXPECT_EQ(r1, r2);
    EXPECT_EQ(d1.substr(0, 3), "ab\xff");
}

}  // namespace
}  // namespace zorv::test
