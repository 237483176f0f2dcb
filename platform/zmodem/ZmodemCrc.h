#pragma once
// The two check values ZMODEM frames carry: CRC-16 (polynomial 0x1021, start 0, sent high
// byte first) and CRC-32 (the reflected 0xEDB88320 polynomial, start and final inversion,
// sent low byte first). Both are table driven; the 32-bit one reads eight bytes a step
// because every received and sent data byte passes through it.
#include <cstddef>
#include <cstdint>

namespace zorv::zmodem {

uint16_t Crc16Update(uint16_t crc, const uint8_t* data, size_t length);
inline uint16_t Crc16(const uint8_t* data, size_t length) { return Crc16Update(0, data, length); }

// Running form: start with 0xFFFFFFFF, finish by inverting.
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length);
inline uint32_t Crc32(const uint8_t* data, size_t length) {
    return ~Crc32Update(0xFFFFFFFFu, data, length);
}

}  // namespace zorv::zmodem
