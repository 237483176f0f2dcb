#pragma once
// Kermit packets on the wire and the encoding of their data field.
//
//   MARK LEN SEQ TYPE [LENX1 LENX2 HCHECK] DATA CHECK EOL
//
// MARK is SOH; LEN, SEQ and the lengths are "tochar" numbers (value + 32), so the only
// control characters in a packet are MARK, the line end and padding. LEN counts SEQ
// through CHECK; LEN 0 (a space) marks a long packet, whose DATA + CHECK length is
// LENX1 * 95 + LENX2, guarded by its own one-character header check.
// CHECK is one of three block checks: 1 a 6-bit sum, 2 a 12-bit sum, 3 a CRC-16 in
// three characters; it covers everything from LEN to the end of DATA.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zorv::kermit {

constexpr uint8_t kMark = 0x01;
constexpr size_t kMaxLongLength = 95 * 95 - 1;   // the largest DATA + CHECK a long packet holds

inline uint8_t ToChar(int value) { return static_cast<uint8_t>(value + 32); }
inline int UnChar(uint8_t c) { return static_cast<int>(c) - 32; }
inline uint8_t Ctl(uint8_t c) { return static_cast<uint8_t>(c ^ 64); }

// Characters a block check of this type takes on the wire (1, 2 or 3).
inline size_t CheckLength(int checkType) { return checkType == 2 ? 2 : checkType == 3 ? 3 : 1; }
std::string BlockCheck(const uint8_t* data, size_t length, int checkType);

struct Packet {
    int seq = 0;          // 0..63
    char type = 0;        // 'S', 'F', 'D', 'Y', 'N', ...
    std::string data;     // the data field as it travels (still prefixed)
};

// What the other end asked to receive around each packet.
struct Framing {
    int padCount = 0;
    uint8_t padChar = 0;
    uint8_t eol = '\r';
};

std::string EncodePacket(const Packet& packet, int checkType, const Framing& framing);

// Collects packets from the line a byte at a time. A MARK anywhere starts a new packet,
// so a packet cut short by a lost byte costs only itself.
class PacketDecoder {
public:
    explicit PacketDecoder(size_t maxLength = kMaxLongLength) : maxLength_(maxLength) {}

    // True when the byte completes a packet; then RawType() and Verify() apply to it.
    // Also true for a packet a line end cut short: it fails Verify().
    bool Put(uint8_t c);
    // The completed packet's type character, before any check (for choosing the check).
    char RawType() const { return raw_.size() > 2 ? static_cast<char>(raw_[2]) : 0; }
    // Checks the completed packet with a block check type and unpacks it.
    bool Verify(int checkType, Packet& out) const;

private:
    enum class State { Hunt, Len, Body };
    void restart();

    size_t maxLength_;
    State state_ = State::Hunt;
    std::string raw_;      // from LEN to the end of CHECK
    size_t want_ = 0;      // bytes of raw_ the packet has in all, once known
    size_t headerLength_ = 3;
    bool cut_ = false;
};

// The prefixes in force for one direction of data.
struct Prefixing {
    uint8_t qctl = '#';   // control prefix of the sending end
    uint8_t qbin = 0;     // 8th-bit prefix, 0: none
    uint8_t rept = 0;     // repeat prefix, 0: none
};

// Encodes bytes from the front of `data` into `out` (appending) without letting `out`
// grow past `capacity` bytes and without splitting a prefixed character. Returns how
// many input bytes were taken (at least one when `capacity` leaves room for 5 bytes).
size_t EncodeData(const Prefixing& prefixing, const uint8_t* data, size_t length, size_t capacity,
                  std::string& out);

// Decodes a data field; false when it ends inside a prefixed character.
bool DecodeData(const Prefixing& prefixing, const std::string& field, std::string& out);

}  // namespace zorv::kermit
