#pragma once
// The blocks XMODEM and YMODEM put on the line, and the header block that names a YMODEM
// file. A block is: SOH (128 data bytes) or STX (1024), the block number, its complement,
// the data, then one checksum byte or a CRC-16 (high byte first).
#include "platform/zmodem/FileStore.h"
#include "platform/zmodem/ZmodemFrames.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zorv::xymodem {

using zmodem::ByteQueue;
using zmodem::FileOffer;

constexpr uint8_t SOH = 0x01;
constexpr uint8_t STX = 0x02;
constexpr uint8_t EOT = 0x04;
constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15;
constexpr uint8_t CAN = 0x18;
constexpr uint8_t SUB = 0x1A;     // pads the last block of a file
constexpr uint8_t WANT_CRC = 'C';
constexpr uint8_t WANT_STREAM = 'G';

constexpr size_t kShortBlock = 128;
constexpr size_t kLongBlock = 1024;

// The five flavours, in XferProtocol order (codes 0-4).
enum class Variant { XmodemChecksum, XmodemCrc, Xmodem1K, Ymodem, YmodemG };

inline bool IsBatch(Variant v) { return v == Variant::Ymodem || v == Variant::YmodemG; }
inline bool UsesLongBlocks(Variant v) { return v == Variant::Xmodem1K || IsBatch(v); }

struct Options {
    Variant variant = Variant::XmodemCrc;
    double timeout = 10.0;   // seconds of silence before asking again
    int maxRetries = 10;     // failures of one step in a row before giving up
};

// Appends a block of `size` (128 or 1024) bytes; `data` holds `size` bytes already padded.
void AppendBlock(ByteQueue& out, uint8_t number, const uint8_t* data, size_t size, bool crc);

// Checks a received block's number pair and check value.
// `block` holds the whole block from its SOH/STX on.
bool BlockIsGood(const uint8_t* block, size_t size, bool crc);

// The data of a YMODEM header block: name, NUL, "length mtime" (decimal, octal), NULs to
// 128 bytes, or 1024 when the name is long (longer still: returned as it is, too long to
// send). An empty name gives the block that ends a batch.
std::string HeaderBlockData(const std::string& name, int64_t length, int64_t modified);

// Reads a header block's data. False for the block that ends a batch (empty name).
// A length or time that is missing or unreadable stays -1 / 0.
bool ParseHeaderBlock(const uint8_t* data, size_t size, FileOffer& offer);

}  // namespace zorv::xymodem
