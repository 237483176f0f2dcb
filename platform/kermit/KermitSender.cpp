#include "platform/kermit/KermitSender.h"

#include "modem/CommControl.h"

#include <algorithm>

namespace zorv::kermit {

namespace {
constexpr size_t kMinRoom = 60;       // data field after errors, never less
constexpr int kCleanToGrow = 4;       // clean packets before the data field doubles
}  // namespace

KermitSender::KermitSender(std::vector<std::unique_ptr<zmodem::SendFile>> files, KermitOptions options)
    : KermitEnd(options), files_(std::move(files)) {}

void KermitSender::onStart() {
    send(0, 'S', EncodeParams(ourParams()), true);
}

size_t KermitSender::packetRoom() const {
    // Room for the header of a long packet and the check, whatever their count.
    return agreed_.longPackets ? agreed_.maxSendLength - 7 - CheckLength(agreed_.checkType)
                               : agreed_.maxSendLength - 2 - CheckLength(agreed_.checkType);
}

size_t KermitSender::dataRoom() const {
    return std::max<size_t>(std::min(room_, packetRoom()), 10);
}

void KermitSender::next(char type, const std::string& data) {
    seq_ = (seq_ + 1) & 63;
    send(seq_, type, data);
}

void KermitSender::onPacket(const Packet& packet) {
    if (phase_ == Phase::Done) return;
    if (packet.type == 'E') {
        std::string text;
        DecodeData(agreed_.receiving, packet.data, text);
        fail(XFER_FAILED, "the other end stopped: " + text, false);
        return;
    }
    if (packet.type == 'Y' && packet.seq == seq_) {
        acknowledged(packet.data);
    } else if (packet.type == 'N' && packet.seq == ((seq_ + 1) & 63) && phase_ != Phase::WaitInit) {
        // The receiver wants the next one: it has this one.
        acknowledged("");
    } else if (packet.type == 'N') {
        onTrouble(false);
    }
    // An acknowledgement of an earlier packet is a late copy: nothing to do.
}

void KermitSender::onTrouble(bool timedOut) {
    if (phase_ == Phase::Done) return;
    if (phase_ == Phase::WaitBreak && timedOut && ++breakTimeouts_ > 2) {
        // Every file was acknowledged on its own; only the goodbye goes unanswered (the
        // receiver may have left already), so nothing is lost.
        finish();
        return;
    }
    if (!countError(timedOut)) return;
    cleanRun_ = 0;
    room_ = std::max(kMinRoom, room_ / 2);
    repeat();
}

void KermitSender::acknowledged(const std::string& data) {
    progressMade();
    if (++cleanRun_ >= kCleanToGrow && room_ < options_.maxPacket) {
        cleanRun_ = 0;
        room_ = std::min(room_ * 2, options_.maxPacket);
    }
    switch (phase_) {
    case Phase::WaitInit:
        agreed_ = Agree(ourParams(), DecodeParams(data));
        negotiated_ = true;
        room_ = std::min<size_t>(1024, options_.maxPacket);
        startFile();
        break;
    case Phase::WaitFile:
        if (agreed_.attributes) {
            std::string size = std::to_string(files_[current_]->Size());
            phase_ = Phase::WaitAttributes;
            // A binary file of this length: the receiver stores it as it comes.
            next('A', std::string("\"") + static_cast<char>(ToChar(2)) + "B8" + "1" +
                          static_cast<char>(ToChar(static_cast<int>(size.size()))) + size);
        } else {
            sendData();
        }
        break;
    case Phase::WaitAttributes:
        if (!data.empty() && data[0] == 'N') {
            progress_.lastMessage = "the other end refused " + files_[current_]->Name();
            skipped_ = true;
            ++progress_.filesFailed;
            sendEof(true);
        } else {
            sendData();
        }
        break;
    case Phase::WaitData:
        position_ += pending_;
        pending_ = 0;
        progress_.bytesDone = position_;
        if (!data.empty() && (data[0] == 'X' || data[0] == 'Z')) {
            stopBatch_ = data[0] == 'Z';
            progress_.lastMessage = "the other end skipped " + files_[current_]->Name();
            skipped_ = true;
            ++progress_.filesFailed;
            sendEof(true);
        } else {
            sendData();
        }
        break;
    case Phase::WaitEof:
        if (!skipped_) {
            ++progress_.filesDone;
            reportStatus(XFER_FILE_DONE);
        }
        ++current_;
        startFile();
        break;
    case Phase::WaitBreak:
        finish();
        break;
    case Phase::Done:
        break;
    }
}

void KermitSender::startFile() {
    if (current_ >= files_.size() || stopBatch_) {
        phase_ = Phase::WaitBreak;
        next('B', "");
        return;
    }
    const auto& file = files_[current_];
    position_ = pending_ = 0;
    skipped_ = false;
    progress_.fileName = file->Name();
    progress_.fileSize = file->Size();
    progress_.bytesDone = 0;
    phase_ = Phase::WaitFile;
    std::string name;
    EncodeData(agreed_.sending, reinterpret_cast<const uint8_t*>(file->Name().data()), file->Name().size(),
               packetRoom(), name);   // a name is never cut for a bad line
    next('F', name);
    reportStatus(XFER_NEGOTIATING);
}

void KermitSender::sendData() {
    auto& file = files_[current_];
    const size_t room = dataRoom();
    chunk_.resize(room);
    long got = file->Read(position_, chunk_.data(), room);
    if (got < 0) {
        fail(XFER_FAILED, "cannot read " + file->Name(), true);
        return;
    }
    if (got == 0) {
        sendEof(false);
        return;
    }
    std::string field;
    pending_ = static_cast<int64_t>(EncodeData(agreed_.sending, chunk_.data(), static_cast<size_t>(got), room, field));
    phase_ = Phase::WaitData;
    next('D', field);
    reportStatus(XFER_TRANSFERRING);
}

void KermitSender::sendEof(bool discard) {
    phase_ = Phase::WaitEof;
    next('Z', discard ? "D" : "");
    reportStatus(XFER_FINISHING);
}

void KermitSender::finish() {
    phase_ = Phase::Done;
    finished_ = true;
    reportStatus(progress_.filesFailed == 0 ? XFER_IDLE : XFER_FAILED);
}

}  // namespace zorv::kermit
