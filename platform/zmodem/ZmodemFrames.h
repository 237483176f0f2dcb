#pragma once
// ZMODEM framing: headers (hex, binary with CRC-16, binary with CRC-32), data subpackets
// and ZDLE escaping, in both directions.
//
// The decoder is a byte-driven state machine shared by both ends:
//
//   Hunting --ZPAD..ZDLE 'A'|'B'|'C'--> Header --complete--> [Header | BadHeader] -> Hunting
//   ExpectData() --> Data --ZDLE ZCRCx + CRC--> [Subpacket | BadSubpacket]
//          ZCRCG/ZCRCQ stay in Data; ZCRCE/ZCRCW and every error go back to Hunting.
//   Five CAN (= ZDLE) bytes in a row anywhere --> Cancel.
//
// Feed() stops after the byte that completes an event, so the caller can switch the
// decoder to data mode exactly where a subpacket starts. Nothing is allocated per byte:
// the subpacket buffer is bounded and reused.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorv::zmodem {

// Framing characters.
constexpr uint8_t ZPAD = '*';
constexpr uint8_t ZDLE = 0x18;   // also CAN
constexpr uint8_t ZDLEE = ZDLE ^ 0x40;
constexpr uint8_t ZBIN = 'A';
constexpr uint8_t ZHEX = 'B';
constexpr uint8_t ZBIN32 = 'C';
constexpr uint8_t XON = 0x11;
constexpr uint8_t XOFF = 0x13;

// Frame types.
enum FrameType : uint8_t {
    ZRQINIT = 0, ZRINIT = 1, ZSINIT = 2, ZACK = 3, ZFILE = 4, ZSKIP = 5, ZNAK = 6, ZABORT = 7,
    ZFIN = 8, ZRPOS = 9, ZDATA = 10, ZEOF = 11, ZFERR = 12, ZCRC = 13, ZCHALLENGE = 14,
    ZCOMPL = 15, ZCAN = 16, ZFREECNT = 17, ZCOMMAND = 18, ZSTDERR = 19,
};

// Subpacket ends.
constexpr uint8_t ZCRCE = 'h';   // end of frame, header follows
constexpr uint8_t ZCRCG = 'i';   // frame goes on, no answer
constexpr uint8_t ZCRCQ = 'j';   // frame goes on, ZACK expected
constexpr uint8_t ZCRCW = 'k';   // end of frame, ZACK expected
constexpr uint8_t ZRUB0 = 'l';   // escaped 0x7F
constexpr uint8_t ZRUB1 = 'm';   // escaped 0xFF

// ZRINIT flags (ZF0).
constexpr uint8_t CANFDX = 0x01;
constexpr uint8_t CANOVIO = 0x02;
constexpr uint8_t CANBRK = 0x04;
constexpr uint8_t CANFC32 = 0x20;
constexpr uint8_t ESCCTL = 0x40;
constexpr uint8_t ESC8 = 0x80;
// ZSINIT flags (ZF0).
constexpr uint8_t TESCCTL = 0x40;
// ZFILE conversion option (ZF0).
constexpr uint8_t ZCBIN = 1;
constexpr uint8_t ZCRESUM = 3;

enum class HeaderFormat { Hex, Bin16, Bin32 };

struct Header {
    uint8_t type = 0;
    // As on the line: position bytes P0..P3, or flags F3 F2 F1 F0.
    uint8_t bytes[4] = {0, 0, 0, 0};
    HeaderFormat format = HeaderFormat::Hex;

    uint32_t Position() const {
        return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
               uint32_t(bytes[3]) << 24;
    }
    uint8_t F0() const { return bytes[3]; }
    uint8_t F1() const { return bytes[2]; }

    static Header WithPosition(uint8_t type, uint32_t position);
    static Header WithFlags(uint8_t type, uint8_t f0, uint8_t f1 = 0, uint8_t f2 = 0,
                            uint8_t f3 = 0);
};

// A byte queue for outgoing data: appends at the back, takes from the front, keeps its
// storage between uses.
class ByteQueue {
public:
    void Append(const uint8_t* data, size_t length) { bytes_.insert(bytes_.end(), data, data + length); }
    void Append(const std::string& text) { Append(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }
    void Push(uint8_t b) { bytes_.push_back(b); }
    size_t Size() const { return bytes_.size() - head_; }
    bool Empty() const { return Size() == 0; }
    const uint8_t* Front() const { return bytes_.data() + head_; }
    void Consume(size_t n);
    size_t Take(uint8_t* out, size_t max);
    void Clear() { bytes_.clear(); head_ = 0; }

private:
    std::vector<uint8_t> bytes_;
    size_t head_ = 0;
};

// Writes frames into a queue with the escape set the receiving end asked for.
class FrameEncoder {
public:
    FrameEncoder();
    // True: escape every control character as well (the receiver's ESCCTL).
    void SetEscapeControl(bool on);
    bool EscapeControl() const { return escapeControl_; }

    void HexHeader(ByteQueue& out, const Header& header) const;
    void BinaryHeader(ByteQueue& out, const Header& header, bool crc32);
    void Subpacket(ByteQueue& out, const uint8_t* data, size_t length, uint8_t frameEnd, bool crc32);

private:
    void putEscaped(ByteQueue& out, uint8_t c);
    void putRun(ByteQueue& out, const uint8_t* data, size_t length);

    bool escapeControl_ = false;
    bool table_[256];
    uint8_t last_ = 0;   // the byte sent before, for the "@ CR" rule
};

class FrameDecoder {
public:
    enum class Event { None, Header, BadHeader, Subpacket, BadSubpacket, Cancel };

    explicit FrameDecoder(size_t maxSubpacket = 16384);

    // The frame just decoded carries data: read subpackets with the check value its
    // header format implies.
    void ExpectData();
    // Drop anything in progress and look for the next header.
    void Hunt();
    bool InData() const { return state_ == State::Data || state_ == State::DataEscape || state_ == State::Crc; }

    // Consumes bytes until an event completes (returned, with `used` covering the byte
    // that completed it) or the input ends (Event::None, used == length).
    Event Feed(const uint8_t* data, size_t length, size_t& used);

    const Header& LastHeader() const { return header_; }
    const uint8_t* Data() const { return data_.data(); }
    size_t DataLength() const { return dataLength_; }
    uint8_t FrameEnd() const { return frameEnd_; }

private:
    enum class State { Hunt, Pad, PadZdle, HexDigits, BinHeader, Data, DataEscape, Crc };

    Event finishHeader();
    Event finishSubpacket();
    // Reads one escaped byte for headers and check values; returns false when none yet.
    bool escapedByte(uint8_t c, uint8_t& out, bool& error);

    State state_ = State::Hunt;
    size_t maxSubpacket_;
    std::vector<uint8_t> data_;
    size_t dataLength_ = 0;
    uint8_t frameEnd_ = 0;
    bool dataCrc32_ = false;

    Header header_;
    HeaderFormat pendingFormat_ = HeaderFormat::Hex;
    uint8_t raw_[16] = {};
    size_t rawCount_ = 0;
    size_t rawNeeded_ = 0;
    bool pendingEscape_ = false;
    bool restartData_ = false;
    int hexTailLeft_ = 0;   // CR LF after a hex header, not data
    int canRun_ = 0;
};

// The cancel sequence: CAN bytes the other end counts, then backspaces that erase them
// from a terminal that shows them.
void AppendCancel(ByteQueue& out);

// Watches a terminal stream for the start of a ZMODEM send ("**" ZDLE "B00"), so a
// terminal can start receiving on its own.
class StartDetector {
public:
    bool Feed(const uint8_t* data, size_t length);
    void Reset() { matched_ = 0; }

private:
    size_t matched_ = 0;
};

}  // namespace zorv::zmodem
