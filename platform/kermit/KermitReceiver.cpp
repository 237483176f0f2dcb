#include "platform/kermit/KermitReceiver.h"

#include "modem/CommControl.h"

#include <cstdlib>

namespace zorv::kermit {

KermitReceiver::KermitReceiver(zmodem::ReceiveStore& store, KermitOptions options)
    : KermitEnd(options), store_(store) {}

KermitReceiver::KermitReceiver(std::unique_ptr<zmodem::ReceiveStore> store, KermitOptions options)
    : KermitEnd(options), ownedStore_(std::move(store)), store_(*ownedStore_) {}

KermitReceiver::~KermitReceiver() = default;

void KermitReceiver::ack(const std::string& data, bool checkOne) {
    send(seq_, 'Y', data, checkOne);
    seq_ = (seq_ + 1) & 63;
}

void KermitReceiver::onPacket(const Packet& packet) {
    if (phase_ == Phase::Done) {
        // Our ACK to the goodbye got lost: say it again.
        if (packet.type == 'B' && packet.seq == ((seq_ - 1) & 63)) repeat();
        return;
    }
    if (packet.type == 'E') {
        std::string text;
        DecodeData(agreed_.receiving, packet.data, text);
        fail(XFER_FAILED, "the other end stopped: " + text, false);
        return;
    }
    if (packet.seq != seq_) {
        if (packet.seq == ((seq_ - 1) & 63) && phase_ != Phase::WaitInit) {
            // Our answer to it was lost; the sender has not moved on.
            repeat();
        } else {
            onTrouble(false);
        }
        return;
    }
    progressMade();
    switch (phase_) {
    case Phase::WaitInit:
        if (packet.type != 'S') return protocolError("expected the start of a transfer");
        agreed_ = Agree(ourParams(), DecodeParams(packet.data));
        ack(EncodeParams(ourParams()), true);
        negotiated_ = true;
        phase_ = Phase::WaitFile;
        reportStatus(XFER_NEGOTIATING);
        break;
    case Phase::WaitFile:
        if (packet.type == 'F') return openFile(packet.data);
        if (packet.type == 'B') {
            ack();
            phase_ = Phase::Done;
            finished_ = true;
            reportStatus(progress_.filesFailed == 0 ? XFER_IDLE : XFER_FAILED);
            return;
        }
        return protocolError(std::string("unexpected packet type ") + packet.type);
    case Phase::WaitData:
        if (packet.type == 'A') return attributes(packet.data);
        if (packet.type == 'D') return data(packet.data);
        if (packet.type == 'Z') return endOfFile(packet.data);
        return protocolError(std::string("unexpected packet type ") + packet.type);
    case Phase::Done:
        break;
    }
}

void KermitReceiver::onTrouble(bool timedOut) {
    if (phase_ == Phase::Done) return;
    if (!countError(timedOut)) return;
    // A NAK is never repeated: the packet to repeat stays our last ACK.
    send(seq_, 'N', "", phase_ == Phase::WaitInit, true);
}

void KermitReceiver::protocolError(const std::string& why) {
    fail(XFER_FAILED, why, true);
}

void KermitReceiver::openFile(const std::string& field) {
    std::string name;
    if (!DecodeData(agreed_.receiving, field, name) || name.empty()) return protocolError("bad file name");
    zmodem::FileOffer offer;
    offer.name = name;
    std::string error;
    file_ = store_.Open(offer, options_.allowResume, error);
    if (!file_) return protocolError("cannot store " + name + ": " + error);
    position_ = 0;
    offeredSize_ = -1;
    textFile_ = false;
    progress_.fileName = file_->Name();
    progress_.fileSize = -1;
    progress_.bytesDone = 0;
    progress_.resumedFrom = 0;
    phase_ = Phase::WaitData;
    ack();
    reportStatus(XFER_NEGOTIATING);
}

void KermitReceiver::attributes(const std::string& field) {
    // Each attribute: its tag, tochar(length), the value. The length in bytes and whether
    // the sender calls the file text are what matter here.
    for (size_t i = 0; i + 1 < field.size();) {
        char tag = field[i];
        int length = UnChar(static_cast<uint8_t>(field[i + 1]));
        if (length < 0 || i + 2 + static_cast<size_t>(length) > field.size()) break;
        std::string value = field.substr(i + 2, static_cast<size_t>(length));
        if (tag == '1' && !value.empty() && value.size() <= 18 &&
            value.find_first_not_of("0123456789") == std::string::npos) {
            offeredSize_ = std::strtoll(value.c_str(), nullptr, 10);
            progress_.fileSize = offeredSize_;
        }
        // A text file's line ends change on the way, so its length cannot be held to.
        if (tag == '"' && !value.empty() && value[0] == 'A') textFile_ = true;
        i += 2 + static_cast<size_t>(length);
    }
    ack("Y");
}

void KermitReceiver::data(const std::string& field) {
    std::string bytes;
    if (!DecodeData(agreed_.receiving, field, bytes)) return protocolError("bad data packet");
    if (!file_->Write(position_, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
        return protocolError("cannot write " + file_->Name());
    position_ += static_cast<int64_t>(bytes.size());
    progress_.bytesDone = position_;
    ack();
    reportStatus(XFER_TRANSFERRING);
}

void KermitReceiver::endOfFile(const std::string& field) {
    reportStatus(XFER_FINISHING);
    const bool discarded = !field.empty() && field[0] == 'D';
    if (discarded || (!textFile_ && offeredSize_ >= 0 && offeredSize_ != position_)) {
        progress_.lastMessage = discarded ? file_->Name() + " was broken off by the sender"
                                          : file_->Name() + " arrived with a length other than announced";
        file_->KeepPartial();
        ++progress_.filesFailed;
    } else if (!file_->Finish(position_)) {
        progress_.lastMessage = "cannot complete " + file_->Name();
        ++progress_.filesFailed;
    } else {
        ++progress_.filesDone;
        progress_.lastMessage = "received " + file_->Name();
        reportStatus(XFER_FILE_DONE);
    }
    file_.reset();
    phase_ = Phase::WaitFile;
    ack();
}

void KermitReceiver::onFail() {
    if (file_) {
        file_->KeepPartial();
        file_.reset();
    }
    phase_ = Phase::Done;
}

}  // namespace zorv::kermit
