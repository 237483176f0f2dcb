#pragma once
// What the sending and the receiving end of a Kermit session share: options, the
// parameters announced and agreed, packets out (with the last one kept for a repeat)
// and in, progress, and the ways a session ends early.
//
//   fail(status, why, sendError)  ends the session; with `sendError` an error packet
//                                 replaces whatever was still queued
//   Abort()                       a caller's XferStatus := 6: error packet, 6, then -1;
//                                 after a time-out (9) or a lost carrier (8) it still
//                                 sends the error packet and turns the status into -1
//   CarrierLost()                 nothing more goes out; status 8
// Until the Send-Init exchange is done both ends use block check 1; the Send-Init and
// its acknowledgement always do, also when repeated later.
#include "platform/kermit/KermitPacket.h"
#include "platform/kermit/KermitParams.h"
#include "platform/zmodem/TransferSession.h"

#include <string>

namespace zorv::kermit {

struct KermitOptions {
    double timeout = 10.0;       // seconds without a packet before asking again
    int maxRetries = 10;         // time-outs in a row before giving up
    int maxErrors = 30;          // bad or refused packets in a row before giving up
    int checkType = 3;           // block check we ask for
    size_t maxPacket = 4000;     // longest long packet we send or take (DATA + CHECK)
    bool longPackets = true;
    bool repeatCounts = true;
    bool eighthBitPrefix = false;   // ask for the 8th-bit prefix (for 7-bit lines)
    bool allowResume = false;       // never continue a partial file: nothing proves it equal
};

class KermitEnd : public zorv::TransferSession {
public:
    void Start(double now) override;
    void Tick(double now) override;
    void Feed(const uint8_t* data, size_t length) override;
    using TransferSession::Feed;

    bool WantsToSend() override { return head_ < out_.size(); }
    size_t TakeOutgoing(uint8_t* buffer, size_t max) override;
    void Abort() override;
    void CarrierLost() override;
    int Status() const override { return status_; }
    bool Finished() const override { return finished_; }
    TransferProgress Progress() const override { return progress_; }

protected:
    explicit KermitEnd(const KermitOptions& options);

    virtual void onStart() = 0;
    // A packet that passed its check.
    virtual void onPacket(const Packet& packet) = 0;
    // A packet that failed its check, or none within the time-out (timedOut).
    virtual void onTrouble(bool timedOut) = 0;
    // The end's own part of stopping early (an open file), before the status.
    virtual void onFail() = 0;
    // Packets that always travel with block check 1 (the Send-Init and its answer).
    virtual bool isInitPacket(char type) const = 0;

    void fail(int status, const std::string& why, bool sendError);
    // Sends a packet with the block check in force; unless `once`, it is kept for repeat().
    void send(int seq, char type, const std::string& data, bool checkOne = false, bool once = false);
    void repeat();
    // Counts one bad exchange; false (and the session ended) past the limit.
    bool countError(bool timedOut);
    void progressMade() { timeouts_ = 0; errors_ = 0; }
    Params ourParams() const;
    std::string encodeText(const std::string& text) const;

    KermitOptions options_;
    Agreement agreed_;         // block check 1 and plain prefixes until the exchange is done
    bool negotiated_ = false;
    TransferProgress progress_;
    bool finished_ = false;
    double now_ = 0;
    double lastHeard_ = 0;     // last packet in, or last packet out we wait on

private:
    PacketDecoder decoder_;
    std::string out_;
    size_t head_ = 0;
    std::string lastPacket_;
    int timeouts_ = 0;
    int errors_ = 0;
    int sentSeq_ = 0;
};

}  // namespace zorv::kermit
