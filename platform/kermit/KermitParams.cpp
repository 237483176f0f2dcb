#include "platform/kermit/KermitParams.h"

#include <algorithm>

namespace zorv::kermit {

namespace {

bool isPrefixChar(uint8_t c) { return (c >= 33 && c <= 62) || (c >= 96 && c <= 126); }

}  // namespace

std::string EncodeParams(const Params& p) {
    std::string f;
    f.push_back(static_cast<char>(ToChar(std::clamp(p.maxLength, 10, 94))));
    f.push_back(static_cast<char>(ToChar(std::clamp(p.timeout, 0, 94))));
    f.push_back(static_cast<char>(ToChar(std::clamp(p.padCount, 0, 94))));
    f.push_back(static_cast<char>(Ctl(p.padChar)));
    f.push_back(static_cast<char>(ToChar(p.eol)));
    f.push_back(static_cast<char>(p.qctl));
    f.push_back(static_cast<char>(p.qbin));
    f.push_back(static_cast<char>('0' + p.checkType));
    f.push_back(static_cast<char>(p.rept));
    f.push_back(static_cast<char>(ToChar(p.capabilities & 0x3E)));
    f.push_back(static_cast<char>(ToChar(std::clamp(p.window, 1, 31))));
    size_t maxLong = std::min(p.maxLongLength, kMaxLongLength);
    f.push_back(static_cast<char>(ToChar(static_cast<int>(maxLong / 95))));
    f.push_back(static_cast<char>(ToChar(static_cast<int>(maxLong % 95))));
    return f;
}

Params DecodeParams(const std::string& field) {
    Params p;
    auto at = [&](size_t i) -> int { return i < field.size() ? static_cast<uint8_t>(field[i]) : -1; };
    auto present = [&](size_t i) { return at(i) > ' '; };
    if (present(0)) p.maxLength = std::clamp(UnChar(static_cast<uint8_t>(at(0))), 10, 94);
    if (present(1)) p.timeout = UnChar(static_cast<uint8_t>(at(1)));
    if (present(2)) p.padCount = UnChar(static_cast<uint8_t>(at(2)));
    if (present(3)) p.padChar = Ctl(static_cast<uint8_t>(at(3)));
    if (present(4)) {
        uint8_t eol = static_cast<uint8_t>(UnChar(static_cast<uint8_t>(at(4))));
        if (eol < 32) p.eol = eol;   // a line end is a control character, or it would be data
    }
    if (present(5) && isPrefixChar(static_cast<uint8_t>(at(5)))) p.qctl = static_cast<uint8_t>(at(5));
    if (at(6) >= 0) p.qbin = static_cast<uint8_t>(at(6));
    if (at(7) >= '1' && at(7) <= '3') p.checkType = at(7) - '0';
    if (at(8) >= 0) p.rept = static_cast<uint8_t>(at(8));
    size_t i = 9;
    if (present(i)) {
        p.capabilities = UnChar(static_cast<uint8_t>(at(i)));
        // Further capability bytes follow while the lowest bit is set; none concerns us.
        while (present(i) && (UnChar(static_cast<uint8_t>(at(i))) & 1)) ++i;
        ++i;
        if (present(i)) p.window = UnChar(static_cast<uint8_t>(at(i)));
        if (present(i + 1) && present(i + 2))
            p.maxLongLength = static_cast<size_t>(UnChar(static_cast<uint8_t>(at(i + 1)))) * 95 +
                              static_cast<size_t>(UnChar(static_cast<uint8_t>(at(i + 2))));
    }
    return p;
}

Agreement Agree(const Params& ours, const Params& theirs) {
    Agreement a;
    a.checkType = ours.checkType == theirs.checkType ? ours.checkType : 1;
    uint8_t qbin = 0;
    if (isPrefixChar(ours.qbin) && (theirs.qbin == 'Y' || theirs.qbin == ours.qbin)) qbin = ours.qbin;
    if (isPrefixChar(theirs.qbin) && ours.qbin == 'Y') qbin = theirs.qbin;
    uint8_t rept = ours.rept == theirs.rept && isPrefixChar(ours.rept) ? ours.rept : 0;
    // A prefix may not stand for two things.
    if (qbin && (qbin == ours.qctl || qbin == theirs.qctl)) qbin = 0;
    if (rept && (rept == ours.qctl || rept == theirs.qctl || rept == qbin)) rept = 0;
    a.sending = {ours.qctl, qbin, rept};
    a.receiving = {theirs.qctl, qbin, rept};
    a.framing = {theirs.padCount, theirs.padChar, theirs.eol};
    a.attributes = (ours.capabilities & kCapaAttributes) && (theirs.capabilities & kCapaAttributes);
    a.longPackets = (ours.capabilities & kCapaLongPackets) && (theirs.capabilities & kCapaLongPackets);
    a.maxSendLength = a.longPackets ? std::min(std::max<size_t>(theirs.maxLongLength, 20), ours.maxLongLength)
                                    : static_cast<size_t>(std::min(theirs.maxLength, 94));
    return a;
}

}  // namespace zorv::kermit
