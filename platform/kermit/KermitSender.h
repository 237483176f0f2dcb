#pragma once
// The sending end of a Kermit session, one packet at a time, each waiting for its
// acknowledgement.
//
//   Start: S (our parameters, block check 1) ................. WaitInit (status 1)
//   ACK S -> agree; per file: F (name) ........................ status 2
//            with attribute packets on both ends: A (binary, size); refused -> Z "D", next file
//            D packets as output is taken ..................... status 3
//            Z ................................................ status 4, ACK -> 7
//   after the last file: B, ACK -> status 0 (every file taken) or -1; B unanswered
//   three times ends the same way, as every file was acknowledged already
//   ACK for the packet sent, or NAK for the next one -> go on
//   NAK, a broken packet or silence -> the same packet again, unchanged (the receiver
//   may already hold it); the packets after a repeat are shorter, and grow back after
//   a run of clean ones
//   ACK to a D packet with "X" skips the file, with "Z" the rest of the batch
//   E -> -1; Abort -> E, 6, -1; CarrierLost -> 8; silence past the retries -> E, 9.
#include "platform/kermit/KermitEnd.h"
#include "platform/zmodem/FileStore.h"

#include <memory>
#include <vector>

namespace zorv::kermit {

class KermitSender : public KermitEnd {
public:
    KermitSender(std::vector<std::unique_ptr<zmodem::SendFile>> files, KermitOptions options = {});

private:
    enum class Phase { WaitInit, WaitFile, WaitAttributes, WaitData, WaitEof, WaitBreak, Done };

    void onStart() override;
    void onPacket(const Packet& packet) override;
    void onTrouble(bool timedOut) override;
    void onFail() override {}
    bool isInitPacket(char type) const override { return phase_ == Phase::WaitInit; }

    void acknowledged(const std::string& data);
    void startFile();
    void sendData();
    void sendEof(bool discard);
    void finish();
    void next(char type, const std::string& data);
    size_t packetRoom() const;   // the longest data field the receiver takes
    size_t dataRoom() const;     // the data field for file data on this line now

    std::vector<std::unique_ptr<zmodem::SendFile>> files_;
    Phase phase_ = Phase::WaitInit;
    int seq_ = 0;
    size_t current_ = 0;
    int64_t position_ = 0;      // file bytes sent in packets so far
    int64_t pending_ = 0;       // bytes in the packet awaiting its ACK
    size_t room_ = 0;           // data field length for new packets
    int cleanRun_ = 0;          // packets acknowledged since the last repeat
    bool stopBatch_ = false;
    bool skipped_ = false;      // the current file was refused or skipped
    int breakTimeouts_ = 0;
    std::vector<uint8_t> chunk_;
};

}  // namespace zorv::kermit
