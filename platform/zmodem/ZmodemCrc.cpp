#include "platform/zmodem/ZmodemCrc.h"

#include <array>

namespace zorv::zmodem {
namespace {

struct Tables {
    std::array<uint16_t, 256> crc16{};
    std::array<std::array<uint32_t, 256>, 8> crc32{};

    Tables() {
        for (unsigned i = 0; i < 256; ++i) {
            uint16_t c = static_cast<uint16_t>(i << 8);
            for (int k = 0; k < 8; ++k)
                c = static_cast<uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : (c << 1));
            crc16[i] = c;
        }
        for (unsigned i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : (c >> 1);
            crc32[0][i] = c;
        }
        for (unsigned i = 0; i < 256; ++i)
            for (int t = 1; t < 8; ++t)
                crc32[t][i] = (crc32[t - 1][i] >> 8) ^ crc32[0][crc32[t - 1][i] & 0xFF];
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

}  // namespace

uint16_t Crc16Update(uint16_t crc, const uint8_t* data, size_t length) {
    const auto& table = tables().crc16;
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ table[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length) {
    const auto& t = tables().crc32;
    while (length >= 8) {
        uint32_t lo = crc ^ (uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                             uint32_t(data[3]) << 24);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
        data += 8;
        length -= 8;
    }
    while (length--) crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
    return crc;
}

}  // namespace zorv::zmodem
