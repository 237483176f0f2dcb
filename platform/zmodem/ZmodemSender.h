#pragma once
// The sending end of a ZMODEM session.
//
//   Start: "rz\r" + ZRQINIT ................................. WaitInit (status 1)
//   WaitInit:   ZRINIT -> note flags and buffer size; with our own escape wish ZSINIT
//               (WaitSinitAck, ZACK goes on), else ZFILE ........... WaitFileReply (2)
//   WaitFileReply: ZRPOS(p) -> ZDATA(p) ............................ Streaming (3)
//                  ZCRC(n) -> ZCRC(crc of the first n bytes); ZSKIP -> next file;
//                  ZRINIT/ZNAK -> ZFILE again
//   Streaming:  subpackets are made as output is taken: ZCRCG, or with a receiver
//               buffer ZCRCW at its end (WaitAck, ZACK -> new ZDATA); the last one ZCRCE
//               then ZEOF .......................................... WaitEofReply (4)
//               ZRPOS(p) at any time -> drop unsent output, smaller subpackets, ZDATA(p);
//               while smaller, every 32nd ends ZCRCQ, and a ZACK 32 subpackets past the
//               last error doubles them again
//   WaitEofReply: ZRINIT -> file done (7), next file or ZFIN ........ WaitFin
//   WaitFin:    ZFIN -> "OO", status 0 (every file taken) or -1
//   A broken header in a wait -> ZNAK; ZNAK from the receiver -> repeat the last frame
//   Time-out in a wait: repeat the last frame; after maxRetries in a row -> cancel, 9
//   Five CAN -> -1; Abort -> cancel, 6, -1; CarrierLost -> 8.
#include "platform/zmodem/FileStore.h"
#include "platform/zmodem/ZmodemEnd.h"
#include "platform/zmodem/ZmodemFrames.h"

#include <memory>
#include <vector>

namespace zorv::zmodem {

// With the defaults a silent receiver, or a line that takes nothing, ends the session
// after 110 seconds (timeout times maxRetries + 1) with status 9.
struct SenderOptions {
    double timeout = 10.0;         // seconds without an answer before asking again
    int maxRetries = 10;           // time-outs in a row, or requests for one position
    size_t maxSubpacket = 8192;    // subpacket size when the line is clean
    size_t minSubpacket = 64;      // never smaller than this after errors
    bool escapeControl = false;    // escape every control character (and ask the same)
    size_t window = 0;             // bytes in flight without an ack (0: as the receiver says)
    size_t readyOutput = 32768;    // encoded output kept ready for the line
};

class ZmodemSender : public ZmodemEnd {
public:
    ZmodemSender(std::vector<std::unique_ptr<SendFile>> files, SenderOptions options = {});

    void Start(double now) override;
    void Tick(double now) override;
    void Feed(const uint8_t* data, size_t length) override;
    using TransferSession::Feed;
    bool WantsToSend() override;
    size_t TakeOutgoing(uint8_t* buffer, size_t max) override;

private:
    enum class Phase { WaitInit, WaitSinitAck, WaitFileReply, Streaming, WaitAck, WaitEofReply, WaitFin, Done };

    void onHeader(const Header& h);
    void onBadHeader();
    void sendInit();
    void sendSinit();
    void sendFileHeader();
    void nextFile(bool delivered);
    void startData(uint32_t position);
    void reposition(uint32_t position);
    void produce();
    void sendFin();
    void onFail() override;
    void activity() { lastActivity_ = now_; timeouts_ = 0; }
    bool crc32() const { return useCrc32_; }

    std::vector<std::unique_ptr<SendFile>> files_;
    SenderOptions options_;
    FrameDecoder decoder_{1024};
    FrameEncoder encoder_;
    std::vector<uint8_t> chunk_;

    Phase phase_ = Phase::WaitInit;
    double now_ = 0;
    double lastActivity_ = 0;
    int timeouts_ = 0;

    bool useCrc32_ = false;
    size_t receiverBuffer_ = 0;   // 0: the receiver takes a continuous stream
    size_t current_ = 0;          // index into files_
    uint32_t txPos_ = 0;
    uint32_t ackedPos_ = 0;
    uint32_t sinceAck_ = 0;
    size_t subpacket_ = 1024;
    int cleanSubpackets_ = 0;     // subpackets sent since the last ack request
    uint32_t errorAt_ = 0;        // where the receiver last asked for data again
    uint32_t lastRequest_ = 0xFFFFFFFFu;
    int sameRequests_ = 0;
    double fileHeaderSent_ = 0;
};

}  // namespace zorv::zmodem
