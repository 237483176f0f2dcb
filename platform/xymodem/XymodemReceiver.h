#pragma once
// The receiving end of an XMODEM or YMODEM transfer.
//
//   Start: ask for the transfer ......................................... (status 1)
//          NAK asks for checksums, 'C' for CRC, 'G' for YMODEM streaming. XMODEM-CRC and
//          XMODEM-1K fall back to NAK after three unanswered 'C's; YMODEM does not.
//          The first XMODEM block may come with either check, whichever request the
//          sender heard: it is read with the check it carries.
//   Block, good, the one expected -> stored, ACK (status 3); streaming: no ACK
//   Block, good, the previous one again (our ACK was lost) -> ACK again, nothing stored
//   Block, good, any other number -> out of step: cancel, -1
//   Block damaged, or a stray byte where a block should start -> wait until the line has
//          been quiet for a second, then NAK; streaming: cancel, -1 (the sender cannot
//          repeat a block)
//   EOT -> NAK the first one (a lone EOT may be line noise), the one repeated ends the file
//          (status 4): it gets its final name; XMODEM ends (status 0); YMODEM (status 7)
//          asks for the next header block
//   YMODEM header block (number 0): name, length, time -> opened in the store, ACK and ask
//          for data (status 2); the empty header block ends the batch: ACK, status 0
//   Silence for `timeout` -> ask again; maxRetries in a row -> cancel, 9; so many damaged
//          blocks in a row -> cancel, -1
//   Two CAN in a row where a block should start, or as the last bytes before a block
//          broke off -> -1; Abort -> cancel, 6, -1; CarrierLost -> 8, except when
//          streaming, between files, after at least one whole file: a streaming sender
//          does not wait for the ACK of the block that ends the batch, and some throw that
//          block away as they exit, so a hang-up there ends the transfer 0.
//
// A YMODEM file is whole only at exactly the length its header gives; bytes past it are
// the last block's padding. Without a length (XMODEM, or a header without one), the SUB
// bytes that end the last block are taken for padding and dropped, so a file whose own
// data ends in SUB (0x1A) bytes loses them: the protocol cannot tell them apart.
// XMODEM carries no name: the file is stored under the name the caller gives, or else
// under kUnnamedDownload.
#include "platform/xymodem/XymodemBlocks.h"
#include "platform/zmodem/ZmodemEnd.h"

#include <memory>
#include <vector>

namespace zorv::xymodem {

constexpr const char* kUnnamedDownload = "download.dat";

class XymodemReceiver : public zmodem::ZmodemEnd {
public:
    XymodemReceiver(std::unique_ptr<zmodem::ReceiveStore> store, Options options);

    void Start(double now) override;
    void Tick(double now) override;
    void Feed(const uint8_t* data, size_t length) override;
    using TransferSession::Feed;
    void CarrierLost() override;

private:
    void onByte(uint8_t c);
    void onBlock();
    void onHeaderBlock(const uint8_t* data, size_t size);
    void onDataBlock(uint8_t number, const uint8_t* data, size_t size);
    void onEot();
    void damaged(const std::string& why);
    bool openFile(const FileOffer& offer);
    bool store(const uint8_t* data, size_t size);
    void askToStart();
    void send(uint8_t c);
    void onFail() override;

    std::unique_ptr<zmodem::ReceiveStore> store_;
    Options options_;
    std::unique_ptr<zmodem::ReceivedFile> file_;
    int64_t fileSize_ = -1;          // from the header; -1 unknown
    int64_t written_ = 0;
    std::vector<uint8_t> heldBack_;  // the latest block while padding may end it
    bool crc_ = false;
    bool stream_ = false;
    bool started_ = false;           // a good block has arrived
    bool triedCrc_ = false;          // a first block failed as checksummed and was read on
    bool wantHeader_ = false;        // YMODEM: the next block names a file
    bool batchDone_ = false;         // every file arrived: late repeats are answered
    uint8_t expected_ = 1;
    bool eotSeen_ = false;
    bool purging_ = false;
    std::vector<uint8_t> block_;
    size_t blockLength_ = 0;          // bytes the block under way needs in all
    int startRequests_ = 0;
    int timeouts_ = 0;
    int damagedInRow_ = 0;
    int trailingCans_ = 0;
    double now_ = 0;
    double lastHeard_ = 0;
    double lastAsked_ = 0;
};

}  // namespace zorv::xymodem
