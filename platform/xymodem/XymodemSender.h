#pragma once
// The sending end of an XMODEM or YMODEM transfer.
//
//   Start ........................................................ WaitStart (status 1)
//   WaitStart: NAK -> checksums, 'C' -> CRC, 'G' (YMODEM) -> CRC and streaming;
//              XMODEM -> data; YMODEM -> header block ............ WaitHeaderAck (status 2)
//   WaitHeaderAck: ACK -> WaitDataStart; NAK or time-out -> the header again
//   WaitDataStart: 'C' / 'G' / NAK -> data (status 3)
//   Data, one block at a time: ACK -> next block; NAK or time-out -> the same block again
//   Data, streaming ('G'): every block goes out as the line takes it, no answers awaited
//   After the last block: EOT (status 4); ACK -> file done; NAK or time-out -> EOT again
//   YMODEM: after a file (status 7) the next 'C'/'G' gets the next header block, or the
//   empty one that ends the batch; its ACK ends the transfer (status 0)
//   Two CAN in a row -> -1; Abort -> cancel, 6, -1; CarrierLost -> 8, except once the
//   receiver has confirmed every byte: then only its last answer is missing (the end of an
//   XMODEM file, the end of a batch), and the transfer ends 0. Some receivers throw away
//   their own last ACK as they exit, so a hang-up right there is the usual ending;
//   a YMODEM-G file has no confirmation but its EOT's ACK, so that one still ends 8;
//   maxRetries failures of one step in a row -> cancel, and 9 when the last was a time-out.
// XMODEM sends only the first file. 1024-byte blocks go out only under CRC: a one-byte
// checksum is too weak for them, so a receiver that asks for checksums gets 128-byte
// blocks. The tail of a file shorter than 1024 bytes goes in 128-byte blocks, so no file
// gains more than 127 bytes of padding at a receiver that keeps it.
#include "platform/xymodem/XymodemBlocks.h"
#include "platform/zmodem/ZmodemEnd.h"

#include <memory>
#include <vector>

namespace zorv::xymodem {

class XymodemSender : public zmodem::ZmodemEnd {
public:
    XymodemSender(std::vector<std::unique_ptr<zmodem::SendFile>> files, Options options);

    void Start(double now) override;
    void Tick(double now) override;
    void Feed(const uint8_t* data, size_t length) override;
    using TransferSession::Feed;
    bool WantsToSend() override;
    void CarrierLost() override;
    size_t TakeOutgoing(uint8_t* buffer, size_t max) override;

private:
    enum class Phase { WaitStart, WaitHeaderAck, WaitDataStart, WaitAck, Streaming, WaitEotAck, WaitNextStart,
                       WaitEndAck, Done };

    void onByte(uint8_t c);
    bool takeStartRequest(uint8_t c);
    void sendHeader();
    void beginData();
    bool appendDataBlock();
    void sendEot();
    void fileDone();
    void resend();
    void onFail() override;

    std::vector<std::unique_ptr<zmodem::SendFile>> files_;
    Options options_;
    size_t fileIndex_ = 0;
    Phase phase_ = Phase::WaitStart;
    bool crc_ = false;
    bool stream_ = false;
    int64_t position_ = 0;      // confirmed (or, streaming, sent) bytes of the current file
    size_t blockData_ = 0;      // file bytes in the block awaiting its answer
    uint8_t blockNumber_ = 1;
    ByteQueue lastSent_;        // what a NAK or a time-out repeats
    int failures_ = 0;
    int cans_ = 0;
    double now_ = 0;
    double waitingSince_ = 0;
    double repeatedAt_ = -1e9;   // when a block last went again for silence
};

}  // namespace zorv::xymodem
