#include "platform/kermit/KermitPacket.h"

namespace zorv::kermit {

namespace {

uint16_t crc16(const uint8_t* data, size_t length) {
    // CRC-CCITT, bits taken low first, starting from zero.
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
    }
    return crc;
}

}  // namespace

std::string BlockCheck(const uint8_t* data, size_t length, int checkType) {
    std::string check;
    if (checkType == 3) {
        uint16_t crc = crc16(data, length);
        check.push_back(static_cast<char>(ToChar((crc >> 12) & 0x0F)));
        check.push_back(static_cast<char>(ToChar((crc >> 6) & 0x3F)));
        check.push_back(static_cast<char>(ToChar(crc & 0x3F)));
        return check;
    }
    unsigned sum = 0;
    for (size_t i = 0; i < length; ++i) sum += data[i];
    if (checkType == 2) {
        sum &= 0xFFF;
        check.push_back(static_cast<char>(ToChar((sum >> 6) & 0x3F)));
        check.push_back(static_cast<char>(ToChar(sum & 0x3F)));
    } else {
        check.push_back(static_cast<char>(ToChar((sum + ((sum & 0xC0) >> 6)) & 0x3F)));
    }
    return check;
}

std::string EncodePacket(const Packet& packet, int checkType, const Framing& framing) {
    const size_t checkLength = CheckLength(checkType);
    std::string body;   // LEN through DATA, what the check covers
    const size_t shortLength = 2 + packet.data.size() + checkLength;
    if (shortLength <= 94) {
        body.push_back(static_cast<char>(ToChar(static_cast<int>(shortLength))));
        body.push_back(static_cast<char>(ToChar(packet.seq & 63)));
        body.push_back(packet.type);
    } else {
        const size_t extended = packet.data.size() + checkLength;
        body.push_back(static_cast<char>(ToChar(0)));
        body.push_back(static_cast<char>(ToChar(packet.seq & 63)));
        body.push_back(packet.type);
        body.push_back(static_cast<char>(ToChar(static_cast<int>(extended / 95))));
        body.push_back(static_cast<char>(ToChar(static_cast<int>(extended % 95))));
        body += BlockCheck(reinterpret_cast<const uint8_t*>(body.data()), body.size(), 1);
    }
    body += packet.data;
    std::string wire(static_cast<size_t>(framing.padCount), static_cast<char>(framing.padChar));
    wire.push_back(static_cast<char>(kMark));
    wire += body;
    wire += BlockCheck(reinterpret_cast<const uint8_t*>(body.data()), body.size(), checkType);
    wire.push_back(static_cast<char>(framing.eol));
    return wire;
}

void PacketDecoder::restart() {
    raw_.clear();
    want_ = 0;
    headerLength_ = 3;
    state_ = State::Hunt;
}

bool PacketDecoder::Put(uint8_t c) {
    if (c == kMark) {
        // A new packet starts; one still open was cut short.
        restart();
        cut_ = false;
        state_ = State::Len;
        return false;
    }
    switch (state_) {
    case State::Hunt:
        return false;
    case State::Len: {
        int len = UnChar(c);
        if (len != 0 && (len < 3 || len > 94)) {
            restart();
            return false;
        }
        raw_.push_back(static_cast<char>(c));
        if (len == 0) {
            headerLength_ = 6;   // LEN SEQ TYPE LENX1 LENX2 HCHECK, then the rest
            want_ = 0;
        } else {
            want_ = 1 + static_cast<size_t>(len);
        }
        state_ = State::Body;
        return false;
    }
    case State::Body:
        if (c == '\r' || c == '\n') {
            // A line end is never part of a packet (control characters travel prefixed):
            // this one lost bytes. Said at once, it is asked for again without a time-out.
            restart();
            cut_ = true;
            return true;
        }
        raw_.push_back(static_cast<char>(c));
        if (want_ == 0 && raw_.size() == headerLength_) {
            const auto* h = reinterpret_cast<const uint8_t*>(raw_.data());
            int lx1 = UnChar(h[3]), lx2 = UnChar(h[4]);
            bool valid = lx1 >= 0 && lx1 < 95 && lx2 >= 0 && lx2 < 95 &&
                         BlockCheck(h, 5, 1)[0] == raw_[5];
            size_t extended = static_cast<size_t>(lx1) * 95 + static_cast<size_t>(lx2);
            if (!valid || extended < 1 || extended > maxLength_) {
                restart();
                cut_ = true;
                return true;
            }
            want_ = headerLength_ + extended;
        }
        if (want_ != 0 && raw_.size() == want_) {
            state_ = State::Hunt;
            return true;
        }
        return false;
    }
    return false;
}

bool PacketDecoder::Verify(int checkType, Packet& out) const {
    const size_t checkLength = CheckLength(checkType);
    if (cut_ || raw_.size() < headerLength_ + checkLength) return false;
    const size_t checked = raw_.size() - checkLength;
    const auto* p = reinterpret_cast<const uint8_t*>(raw_.data());
    if (BlockCheck(p, checked, checkType) != raw_.substr(checked)) return false;
    int seq = UnChar(p[1]);
    if (seq < 0 || seq > 63) return false;
    out.seq = seq;
    out.type = static_cast<char>(p[2]);
    out.data = raw_.substr(headerLength_, checked - headerLength_);
    return true;
}

size_t EncodeData(const Prefixing& prefixing, const uint8_t* data, size_t length, size_t capacity,
                  std::string& out) {
    size_t taken = 0;
    std::string piece;
    while (taken < length) {
        uint8_t c = data[taken];
        size_t run = 1;
        if (prefixing.rept) {
            while (taken + run < length && data[taken + run] == c && run < 94) ++run;
        }
        piece.clear();
        uint8_t low = c & 0x7F;
        if (prefixing.qbin && (c & 0x80)) {
            piece.push_back(static_cast<char>(prefixing.qbin));
            c = low;
        }
        if (low < 32 || low == 127) {
            piece.push_back(static_cast<char>(prefixing.qctl));
            piece.push_back(static_cast<char>(Ctl(c)));
        } else {
            if (low == prefixing.qctl || (prefixing.qbin && low == prefixing.qbin) ||
                (prefixing.rept && low == prefixing.rept))
                piece.push_back(static_cast<char>(prefixing.qctl));
            piece.push_back(static_cast<char>(c));
        }
        // A run pays off once it is shorter than the characters it stands for.
        size_t count = 1;
        if (run > 1 && 2 + piece.size() < run * piece.size()) {
            count = run;
            piece.insert(0, 1, static_cast<char>(ToChar(static_cast<int>(run))));
            piece.insert(0, 1, static_cast<char>(prefixing.rept));
        }
        if (out.size() + piece.size() > capacity) break;
        out += piece;
        taken += count;
    }
    return taken;
}

bool DecodeData(const Prefixing& prefixing, const std::string& field, std::string& out) {
    size_t i = 0;
    const size_t n = field.size();
    auto next = [&](uint8_t& c) {
        if (i >= n) return false;
        c = static_cast<uint8_t>(field[i++]);
        return true;
    };
    while (i < n) {
        uint8_t c;
        next(c);
        int repeat = 1;
        if (prefixing.rept && c == prefixing.rept) {
            uint8_t count;
            if (!next(count) || !next(c)) return false;
            repeat = UnChar(count);
            if (repeat < 0) return false;
        }
        uint8_t high = 0;
        if (prefixing.qbin && c == prefixing.qbin) {
            high = 0x80;
            if (!next(c)) return false;
        }
        if (c == prefixing.qctl) {
            if (!next(c)) return false;
            uint8_t low = c & 0x7F;
            // Only characters that stand for a control character are turned back.
            if ((low >= 64 && low <= 95) || low == 63) c = Ctl(c);
        }
        out.append(static_cast<size_t>(repeat), static_cast<char>(c | high));
    }
    return true;
}


}  // namespace zorv::kermit
