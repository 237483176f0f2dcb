#include "platform/zmodem/ZmodemFrames.h"

#include "platform/zmodem/ZmodemCrc.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zorv::zmodem {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool isFlowControl(uint8_t c) { return (c & 0x7F) == XON || (c & 0x7F) == XOFF; }

int hexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Bytes that interrupt a run of plain data on the receiving side.
struct DataSpecials {
    bool table[256] = {};
    DataSpecials() {
        table[ZDLE] = true;
        table[XON] = table[XOFF] = table[XON | 0x80] = table[XOFF | 0x80] = true;
    }
};
const DataSpecials kDataSpecials;

// The length of the run of bytes at `p` that `special` does not mark. Every data byte
// passes through one of these scans on each side, so where the processor has SSE2 they
// look at 16 bytes a step for candidates: the low seven bits equal to one of `Specials7`.
// That must cover every marked byte; a candidate the table does not mark (a high-bit
// twin) is stepped over.
template <uint8_t... Specials7>
size_t plainRun(const uint8_t* p, size_t n, const bool* special) {
    size_t i = 0;
#if defined(__SSE2__)
    if constexpr (sizeof...(Specials7) > 0) {
        const __m128i low7 = _mm_set1_epi8(0x7F);
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), low7);
            __m128i hit = _mm_setzero_si128();
            ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(Specials7))))), ...);
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
            while (mask != 0) {
                const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
                if (special[p[at]]) return at;
                mask &= mask - 1;
            }
        }
    }
#endif
    while (i < n && !special[p[i]]) ++i;
    return i;
}

// Data bytes the receiving side stops at: ZDLE and the flow-control characters.
size_t plainDataRun(const uint8_t* p, size_t n) {
    return plainRun<ZDLE, XON, XOFF>(p, n, kDataSpecials.table);
}

}  // namespace

Header Header::WithPosition(uint8_t type, uint32_t position) {
    Header h;
    h.type = type;
    h.bytes[0] = position & 0xFF;
    h.bytes[1] = (position >> 8) & 0xFF;
    h.bytes[2] = (position >> 16) & 0xFF;
    h.bytes[3] = (position >> 24) & 0xFF;
    return h;
}

Header Header::WithFlags(uint8_t type, uint8_t f0, uint8_t f1, uint8_t f2, uint8_t f3) {
    Header h;
    h.type = type;
    h.bytes[0] = f3;
    h.bytes[1] = f2;
    h.bytes[2] = f1;
    h.bytes[3] = f0;
    return h;
}

void ByteQueue::Consume(size_t n) {
    head_ += n;
    if (head_ >= bytes_.size()) {
        bytes_.clear();
        head_ = 0;
    } else if (head_ > 65536 && head_ * 2 > bytes_.size()) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

size_t ByteQueue::Take(uint8_t* out, size_t max) {
    size_t n = Size() < max ? Size() : max;
    std::memcpy(out, Front(), n);
    Consume(n);
    return n;
}

// ---------------------------------------------------------------------------------------

FrameEncoder::FrameEncoder() { SetEscapeControl(false); }

void FrameEncoder::SetEscapeControl(bool on) {
    escapeControl_ = on;
    for (int c = 0; c < 256; ++c) {
        bool escape = c == ZDLE || c == 0x10 || c == 0x90 || c == XON || c == (XON | 0x80) ||
                      c == XOFF || c == (XOFF | 0x80);
        if (on && ((c & 0x60) == 0 || c == 0x7F || c == 0xFF)) escape = true;
        // A carriage return after '@' is taken as a command by some packet networks.
        if ((c & 0x7F) == '\r') escape = true;
        table_[c] = escape;
    }
}

void FrameEncoder::putEscaped(ByteQueue& out, uint8_t c) {
    // last_ is the byte last put on the line, which is what the "@ CR" rule is about.
    if (!table_[c]) {
        out.Push(c);
        last_ = c;
    } else if ((c & 0x7F) == '\r' && !escapeControl_ && (last_ & 0x7F) != '@') {
        out.Push(c);
        last_ = c;
    } else {
        last_ = c == 0x7F ? ZRUB0 : c == 0xFF ? ZRUB1 : c ^ 0x40;
        out.Push(ZDLE);
        out.Push(last_);
    }
}

void FrameEncoder::putRun(ByteQueue& out, const uint8_t* data, size_t length) {
    size_t i = 0;
    while (i < length) {
        // Without ESCCTL the escape set is ZDLE, DLE, XON, XOFF and CR (each also with the
        // high bit); with it every control character is in, and the table is scanned.
        size_t j = i + (escapeControl_ ? plainRun<>(data + i, length - i, table_)
                                       : plainRun<ZDLE, 0x10, XON, XOFF, '\r'>(data + i, length - i, table_));
        if (j > i) {
            out.Append(data + i, j - i);
            last_ = data[j - 1];
        }
        if (j < length) putEscaped(out, data[j++]);
        i = j;
    }
}

void FrameEncoder::HexHeader(ByteQueue& out, const Header& header) const {
    uint8_t raw[5] = {header.type, header.bytes[0], header.bytes[1], header.bytes[2], header.bytes[3]};
    uint16_t crc = Crc16(raw, 5);
    uint8_t text[4 + 14 + 3];
    size_t n = 0;
    text[n++] = ZPAD;
    text[n++] = ZPAD;
    text[n++] = ZDLE;
    text[n++] = ZHEX;
    auto hex = [&](uint8_t b) {
        text[n++] = kHexDigits[b >> 4];
        text[n++] = kHexDigits[b & 0x0F];
    };
    for (uint8_t b : raw) hex(b);
    hex(crc >> 8);
    hex(crc & 0xFF);
    text[n++] = '\r';
    text[n++] = '\n' | 0x80;
    // The closing XON restarts a sender that was stopped by a stray XOFF; not after the
    // last frames, where the other end may already be reading its terminal again.
    if (header.type != ZFIN && header.type != ZACK) text[n++] = XON;
    out.Append(text, n);
}

void FrameEncoder::BinaryHeader(ByteQueue& out, const Header& header, bool crc32) {
    uint8_t raw[5] = {header.type, header.bytes[0], header.bytes[1], header.bytes[2], header.bytes[3]};
    out.Push(ZPAD);
    out.Push(ZDLE);
    out.Push(crc32 ? ZBIN32 : ZBIN);
    last_ = 0;
    for (uint8_t b : raw) putEscaped(out, b);
    if (crc32) {
        uint32_t crc = Crc32(raw, 5);
        for (int i = 0; i < 4; ++i) putEscaped(out, (crc >> (8 * i)) & 0xFF);
    } else {
        uint16_t crc = Crc16(raw, 5);
        putEscaped(out, crc >> 8);
        putEscaped(out, crc & 0xFF);
    }
}

void FrameEncoder::Subpacket(ByteQueue& out, const uint8_t* data, size_t length, uint8_t frameEnd,
                             bool crc32) {
    putRun(out, data, length);
    out.Push(ZDLE);
    out.Push(frameEnd);
    last_ = frameEnd;
    if (crc32) {
        uint32_t crc = ~Crc32Update(Crc32Update(0xFFFFFFFFu, data, length), &frameEnd, 1);
        for (int i = 0; i < 4; ++i) putEscaped(out, (crc >> (8 * i)) & 0xFF);
    } else {
        uint16_t crc = Crc16Update(Crc16Update(0, data, length), &frameEnd, 1);
        putEscaped(out, crc >> 8);
        putEscaped(out, crc & 0xFF);
    }
    if (frameEnd == ZCRCW) {
        out.Push(XON);
        last_ = XON;
    }
}

// ---------------------------------------------------------------------------------------

FrameDecoder::FrameDecoder(size_t maxSubpacket) : maxSubpacket_(maxSubpacket), data_(maxSubpacket) {}

void FrameDecoder::ExpectData() {
    state_ = State::Data;
    dataLength_ = 0;
    dataCrc32_ = header_.format == HeaderFormat::Bin32;
    pendingEscape_ = false;
}

void FrameDecoder::Hunt() {
    state_ = State::Hunt;
    pendingEscape_ = false;
}

bool FrameDecoder::escapedByte(uint8_t c, uint8_t& out, bool& error) {
    error = false;
    if (pendingEscape_) {
        pendingEscape_ = false;
        if (c == ZRUB0) {
            out = 0x7F;
        } else if (c == ZRUB1) {
            out = 0xFF;
        } else if ((c & 0x60) == 0x40) {
            out = c ^ 0x40;
        } else if (isFlowControl(c)) {
            pendingEscape_ = true;
            return false;
        } else {
            error = true;
            return false;
        }
        return true;
    }
    if (c == ZDLE) {
        pendingEscape_ = true;
        return false;
    }
    if (isFlowControl(c)) return false;
    out = c;
    return true;
}

FrameDecoder::Event FrameDecoder::finishHeader() {
    state_ = State::Hunt;
    bool ok = false;
    if (pendingFormat_ == HeaderFormat::Hex) {
        uint8_t bytes[7];
        for (int i = 0; i < 7; ++i)
            bytes[i] = static_cast<uint8_t>(hexValue(raw_[2 * i]) << 4 | hexValue(raw_[2 * i + 1]));
        std::memcpy(raw_, bytes, 7);
        ok = Crc16(raw_, 5) == (uint16_t(raw_[5]) << 8 | raw_[6]);
        hexTailLeft_ = 2;
    } else if (pendingFormat_ == HeaderFormat::Bin16) {
        hexTailLeft_ = 0;   // a binary header has no line end after it: data starts at once
        ok = Crc16(raw_, 5) == (uint16_t(raw_[5]) << 8 | raw_[6]);
    } else {
        hexTailLeft_ = 0;
        uint32_t got = uint32_t(raw_[5]) | uint32_t(raw_[6]) << 8 | uint32_t(raw_[7]) << 16 |
                       uint32_t(raw_[8]) << 24;
        ok = Crc32(raw_, 5) == got;
    }
    if (!ok) return Event::BadHeader;
    header_.type = raw_[0];
    std::memcpy(header_.bytes, raw_ + 1, 4);
    header_.format = pendingFormat_;
    return Event::Header;
}

FrameDecoder::Event FrameDecoder::finishSubpacket() {
    bool ok;
    if (dataCrc32_) {
        uint32_t crc = ~Crc32Update(Crc32Update(0xFFFFFFFFu, data_.data(), dataLength_), &frameEnd_, 1);
        uint32_t got = uint32_t(raw_[0]) | uint32_t(raw_[1]) << 8 | uint32_t(raw_[2]) << 16 |
                       uint32_t(raw_[3]) << 24;
        ok = crc == got;
    } else {
        uint16_t crc = Crc16Update(Crc16Update(0, data_.data(), dataLength_), &frameEnd_, 1);
        ok = crc == (uint16_t(raw_[0]) << 8 | raw_[1]);
    }
    if (!ok) {
        state_ = State::Hunt;
        return Event::BadSubpacket;
    }
    state_ = (frameEnd_ == ZCRCG || frameEnd_ == ZCRCQ) ? State::Data : State::Hunt;
    restartData_ = true;
    return Event::Subpacket;
}

FrameDecoder::Event FrameDecoder::Feed(const uint8_t* data, size_t length, size_t& used) {
    if (restartData_) {
        restartData_ = false;
        dataLength_ = 0;
    }
    size_t i = 0;
    while (i < length) {
        // Fast path: a run of plain data bytes inside a subpacket.
        if (state_ == State::Data && !kDataSpecials.table[data[i]]) {
            if (hexTailLeft_ > 0 && dataLength_ == 0) {
                uint8_t c = data[i];
                if (c == '\r' || c == '\n' || c == ('\n' | 0x80) || c == ('\r' | 0x80)) {
                    --hexTailLeft_;
                    ++i;
                    continue;
                }
            }
            hexTailLeft_ = 0;
            canRun_ = 0;
            const size_t run = plainDataRun(data + i, length - i);
            const size_t j = i + run;
            if (dataLength_ + run > maxSubpacket_) {
                state_ = State::Hunt;
                used = j;
                return Event::BadSubpacket;
            }
            std::memcpy(data_.data() + dataLength_, data + i, run);
            dataLength_ += run;
            i = j;
            continue;
        }

        uint8_t c = data[i++];
        if (c == ZDLE) {
            if (++canRun_ >= 5) {
                canRun_ = 0;
                state_ = State::Hunt;
                pendingEscape_ = false;
                used = i;
                return Event::Cancel;
            }
        } else {
            canRun_ = 0;
        }

        switch (state_) {
        case State::Hunt:
            if ((c & 0x7F) == ZPAD) state_ = State::Pad;
            break;
        case State::Pad:
            if (c == ZDLE) state_ = State::PadZdle;
            else if ((c & 0x7F) != ZPAD && !isFlowControl(c)) state_ = State::Hunt;
            break;
        case State::PadZdle:
            rawCount_ = 0;
            pendingEscape_ = false;
            if (c == ZBIN) {
                pendingFormat_ = HeaderFormat::Bin16;
                rawNeeded_ = 7;
                state_ = State::BinHeader;
            } else if (c == ZBIN32) {
                pendingFormat_ = HeaderFormat::Bin32;
                rawNeeded_ = 9;
                state_ = State::BinHeader;
            } else if (c == ZHEX) {
                pendingFormat_ = HeaderFormat::Hex;
                rawNeeded_ = 14;
                state_ = State::HexDigits;
            } else if (!isFlowControl(c)) {
                state_ = State::Hunt;
            }
            break;
        case State::HexDigits:
            if (isFlowControl(c)) break;
            if (hexValue(c) < 0) {
                state_ = (c & 0x7F) == ZPAD ? State::Pad : State::Hunt;
                used = i;
                return Event::BadHeader;
            }
            raw_[rawCount_++] = c;
            if (rawCount_ == rawNeeded_) {
                used = i;
                return finishHeader();
            }
            break;
        case State::BinHeader: {
            uint8_t b;
            bool error;
            if (escapedByte(c, b, error)) {
                raw_[rawCount_++] = b;
                if (rawCount_ == rawNeeded_) {
                    used = i;
                    return finishHeader();
                }
            } else if (error) {
                state_ = State::Hunt;
                used = i;
                return Event::BadHeader;
            }
            break;
        }
        case State::Data:
            hexTailLeft_ = 0;
            if (c == ZDLE) state_ = State::DataEscape;
            // Flow-control characters are never data: they were escaped by the sender.
            break;
        case State::DataEscape: {
            uint8_t b;
            if (c == ZDLE || isFlowControl(c)) break;
            if (c >= ZCRCE && c <= ZCRCW) {
                frameEnd_ = c;
                rawCount_ = 0;
                rawNeeded_ = dataCrc32_ ? 4 : 2;
                pendingEscape_ = false;
                state_ = State::Crc;
                break;
            }
            if (c == ZRUB0) b = 0x7F;
            else if (c == ZRUB1) b = 0xFF;
            else if ((c & 0x60) == 0x40) b = c ^ 0x40;
            else {
                state_ = State::Hunt;
                used = i;
                return Event::BadSubpacket;
            }
            if (dataLength_ >= maxSubpacket_) {
                state_ = State::Hunt;
                used = i;
                return Event::BadSubpacket;
            }
            data_[dataLength_++] = b;
            state_ = State::Data;
            break;
        }
        case State::Crc: {
            uint8_t b;
            bool error;
            if (escapedByte(c, b, error)) {
                raw_[rawCount_++] = b;
                if (rawCount_ == rawNeeded_) {
                    used = i;
                    return finishSubpacket();
                }
            } else if (error) {
                state_ = State::Hunt;
                used = i;
                return Event::BadSubpacket;
            }
            break;
        }
        }
    }
    used = length;
    return Event::None;
}

// ---------------------------------------------------------------------------------------

void AppendCancel(ByteQueue& out) {
    for (int i = 0; i < 10; ++i) out.Push(ZDLE);
    for (int i = 0; i < 10; ++i) out.Push(0x08);
}

bool StartDetector::Feed(const uint8_t* data, size_t length) {
    static const uint8_t pattern[] = {ZPAD, ZPAD, ZDLE, ZHEX, '0', '0'};
    for (size_t i = 0; i < length; ++i) {
        uint8_t c = data[i];
        if (c == pattern[matched_]) {
            if (++matched_ == sizeof pattern) {
                matched_ = 0;
                return true;
            }
        } else if (c == ZPAD) {
            matched_ = matched_ >= 1 && matched_ <= 2 ? 2 : 1;
        } else {
            matched_ = 0;
        }
    }
    return false;
}

}  // namespace zorv::zmodem
