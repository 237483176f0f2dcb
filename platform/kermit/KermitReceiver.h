#pragma once
// The receiving end of a Kermit session.
//
//   Start ..................................................... WaitInit (status 1)
//   WaitInit:  S -> ACK with our parameters (block check 1), agree ... WaitFile (2)
//   WaitFile:  F -> open the file in the store, ACK .............. WaitData (2)
//              B -> ACK, status 0 (every file whole) or -1
//   WaitData:  A -> note the size, ACK "Y"; D -> write, ACK (status 3)
//              Z -> the file gets its final name when its length matches what the
//              attributes gave, unless they called it text (status 4, then 7);
//              Z "D" keeps it partial; ACK ...................... WaitFile
//   The packet before the expected one again -> the same ACK again
//   A broken packet or silence -> NAK for the expected one; a packet of the wrong type
//   -> E, -1. E -> -1; Abort -> E, 6, -1; CarrierLost -> 8; silence past the retries
//   -> E, 9. A file the store cannot open -> E, -1.
// Data is written only after its packet's check passed; the file keeps ".part" until
// its Z arrives.
#include "platform/kermit/KermitEnd.h"
#include "platform/zmodem/FileStore.h"

#include <memory>

namespace zorv::kermit {

class KermitReceiver : public KermitEnd {
public:
    explicit KermitReceiver(zmodem::ReceiveStore& store, KermitOptions options = {});
    // The session keeps the store for its lifetime.
    explicit KermitReceiver(std::unique_ptr<zmodem::ReceiveStore> store, KermitOptions options = {});
    ~KermitReceiver() override;

private:
    enum class Phase { WaitInit, WaitFile, WaitData, Done };

    void onStart() override {}
    void onPacket(const Packet& packet) override;
    void onTrouble(bool timedOut) override;
    void onFail() override;
    bool isInitPacket(char type) const override { return type == 'S'; }

    void ack(const std::string& data = "", bool checkOne = false);
    void openFile(const std::string& field);
    void attributes(const std::string& field);
    void data(const std::string& field);
    void endOfFile(const std::string& field);
    void protocolError(const std::string& why);

    std::unique_ptr<zmodem::ReceiveStore> ownedStore_;
    zmodem::ReceiveStore& store_;
    Phase phase_ = Phase::WaitInit;
    int seq_ = 0;                 // the packet expected next
    std::unique_ptr<zmodem::ReceivedFile> file_;
    int64_t position_ = 0;
    int64_t offeredSize_ = -1;
    bool textFile_ = false;
};

}  // namespace zorv::kermit
