#include "platform/xymodem/XymodemBlocks.h"

#include "platform/zmodem/ZmodemCrc.h"

#include <cstdio>

namespace zorv::xymodem {

namespace {

uint8_t sum(const uint8_t* data, size_t size) {
    uint8_t s = 0;
    for (size_t i = 0; i < size; ++i) s = static_cast<uint8_t>(s + data[i]);
    return s;
}

}  // namespace

void AppendBlock(ByteQueue& out, uint8_t number, const uint8_t* data, size_t size, bool crc) {
    out.Push(size == kLongBlock ? STX : SOH);
    out.Push(number);
    out.Push(static_cast<uint8_t>(~number));
    out.Append(data, size);
    if (crc) {
        uint16_t c = zmodem::Crc16(data, size);
        out.Push(static_cast<uint8_t>(c >> 8));
        out.Push(static_cast<uint8_t>(c & 0xFF));
    } else {
        out.Push(sum(data, size));
    }
}

bool BlockIsGood(const uint8_t* block, size_t size, bool crc) {
    if (static_cast<uint8_t>(block[1] ^ block[2]) != 0xFF) return false;
    const uint8_t* data = block + 3;
    if (crc) {
        uint16_t c = zmodem::Crc16(data, size);
        return data[size] == static_cast<uint8_t>(c >> 8) && data[size + 1] == static_cast<uint8_t>(c & 0xFF);
    }
    return data[size] == sum(data, size);
}

std::string HeaderBlockData(const std::string& name, int64_t length, int64_t modified) {
    std::string data;
    if (!name.empty()) {
        char fields[64];
        std::snprintf(fields, sizeof fields, "%lld %llo", static_cast<long long>(length),
                      static_cast<unsigned long long>(modified > 0 ? modified : 0));
        data = name + '\0' + fields;
    }
    // Longer than a long block: left as it is, for the caller to refuse.
    if (data.size() <= kLongBlock) data.resize(data.size() < kShortBlock ? kShortBlock : kLongBlock, '\0');
    return data;
}

bool ParseHeaderBlock(const uint8_t* data, size_t size, FileOffer& offer) {
    size_t i = 0;
    while (i < size && data[i] != 0) ++i;
    if (i == 0) return false;
    offer.name.assign(reinterpret_cast<const char*>(data), i);
    offer.size = -1;
    offer.modified = 0;
    ++i;
    // Length in decimal: at most 4 GB is accepted, so nothing overflows.
    int64_t length = 0;
    size_t digits = 0;
    while (i < size && data[i] >= '0' && data[i] <= '9' && digits < 11) {
        length = length * 10 + (data[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0 || digits > 10 || length > 0xFFFFFFFFLL) return true;
    offer.size = length;
    if (i >= size || data[i] != ' ') return true;
    ++i;
    int64_t modified = 0;
    digits = 0;
    while (i < size && data[i] >= '0' && data[i] <= '7' && digits < 12) {
        modified = modified * 8 + (data[i] - '0');
        ++i;
        ++digits;
    }
    if (digits > 0 && digits < 12) offer.modified = modified;
    return true;
}

}  // namespace zorv::xymodem
