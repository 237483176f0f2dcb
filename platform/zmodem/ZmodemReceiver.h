#pragma once
// The receiving end of a ZMODEM session.
//
//   Start: send ZRINIT ........................................ WaitFile (status 1)
//   WaitFile:  ZRQINIT -> ZRINIT (status 2); ZSINIT -> read Attn, ZACK;
//              ZFILE -> FileInfo; ZFIN -> ZFIN, done (status 0, or -1 if a file failed)
//   FileInfo:  subpacket -> open in the store:
//                 refused -> ZSKIP, WaitFile
//                 a partial copy exists -> ZCRC(its length) ... WaitCrc
//                 else -> ZRPOS(0) ........................... WaitData
//   WaitCrc:   ZCRC(crc) equal to ours -> ZRPOS(partial length), else a fresh name, ZRPOS(0)
//   WaitData:  ZDATA at our position -> InData (status 3); at another -> ZRPOS again
//              ZEOF at our position -> file complete (status 4, then 7), ZRINIT, WaitFile
//   InData:    good subpacket -> write; ZCRCQ/ZCRCW -> ZACK; ZCRCE/ZCRCW -> WaitData
//              bad subpacket -> Attn + ZRPOS(our position), WaitData
//   A broken header while waiting for a file -> ZNAK; ZNAK -> repeat our last header
//   Time-out:  ask again (ZRINIT, ZCRC or ZRPOS); after maxRetries in a row -> cancel, 9
//   Five CAN -> -1; Abort -> cancel, 6, -1; CarrierLost -> 8.
// Data is written only after its subpacket's CRC checked; the file gets its final name
// only at a ZEOF whose length equals both what arrived and what the sender offered.
#include "platform/zmodem/FileStore.h"
#include "platform/zmodem/ZmodemEnd.h"
#include "platform/zmodem/ZmodemFrames.h"

#include <memory>
#include <string>

namespace zorv::zmodem {

// With the defaults a silent sender ends the session after 110 seconds (timeout times
// maxRetries + 1) with status 9.
struct ReceiverOptions {
    double timeout = 10.0;        // seconds of silence before asking again
    int maxRetries = 10;          // time-outs in a row before giving up
    int maxErrors = 30;           // errors in a row without progress before giving up
    bool escapeControl = false;   // ask the sender to escape every control character
    bool allowResume = true;      // continue a partial copy proven equal to the offer
    size_t maxSubpacket = 16384;  // longest subpacket accepted
};

class ZmodemReceiver : public ZmodemEnd {
public:
    explicit ZmodemReceiver(ReceiveStore& store, ReceiverOptions options = {});
    // The session keeps the store for its lifetime.
    explicit ZmodemReceiver(std::unique_ptr<ReceiveStore> store, ReceiverOptions options = {});
    ~ZmodemReceiver() override;

    void Start(double now) override;
    void Tick(double now) override;
    void Feed(const uint8_t* data, size_t length) override;
    using TransferSession::Feed;

private:
    enum class Phase { WaitFile, FileInfo, SinitData, CommandData, WaitCrc, WaitData, InData, Done };

    void onHeader(const Header& h);
    void onSubpacket();
    void onBadData();
    void onFileInfo();
    void answerRepeat();
    void openFile(bool allowResume);
    void finishFile(uint32_t position);
    void dropFile(const std::string& why);
    void onFail() override;
    void endSession();
    Header initHeader() const;
    void sendHex(const Header& h);
    void askPosition();
    void goodEvent() { lastActivity_ = now_; timeouts_ = 0; }
    void noteError();

    std::unique_ptr<ReceiveStore> ownedStore_;
    ReceiveStore& store_;
    ReceiverOptions options_;
    FrameDecoder decoder_;
    FrameEncoder encoder_;

    Phase phase_ = Phase::WaitFile;
    Phase repeatOf_ = Phase::FileInfo;   // phase a repeated ZFILE interrupted
    double now_ = 0;
    double lastActivity_ = 0;
    int timeouts_ = 0;
    int errorsInRow_ = 0;
    Header lastSent_;
    std::string attn_;
    bool badHeaderAnswered_ = false;
    int crcAsks_ = 0;

    FileOffer offer_;
    std::unique_ptr<ReceivedFile> file_;
    uint32_t position_ = 0;
};

}  // namespace zorv::zmodem
