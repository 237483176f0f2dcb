#include "platform/kermit/KermitEnd.h"

#include "modem/CommControl.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zorv::kermit {

KermitEnd::KermitEnd(const KermitOptions& options)
    : options_(options), decoder_(std::clamp<size_t>(options.maxPacket, 20, kMaxLongLength)) {
    agreed_.framing = {};
    agreed_.sending = {'#', 0, 0};
    agreed_.receiving = {'#', 0, 0};
}

Params KermitEnd::ourParams() const {
    Params p;
    p.maxLength = 94;
    p.timeout = static_cast<int>(std::clamp(std::lround(options_.timeout), 1L, 94L));
    p.qbin = options_.eighthBitPrefix ? '&' : 'Y';
    p.checkType = std::clamp(options_.checkType, 1, 3);
    p.rept = options_.repeatCounts ? '~' : ' ';
    p.capabilities = kCapaAttributes | (options_.longPackets ? kCapaLongPackets : 0);
    p.maxLongLength = std::clamp<size_t>(options_.maxPacket, 20, kMaxLongLength);
    return p;
}

void KermitEnd::Start(double now) {
    now_ = lastHeard_ = now;
    reportStatus(XFER_WAITING);
    onStart();
}

void KermitEnd::Tick(double now) {
    now_ = now;
    if (finished_) return;
    if (now_ - lastHeard_ >= options_.timeout) {
        lastHeard_ = now_;
        onTrouble(true);
    }
}

void KermitEnd::Feed(const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (!decoder_.Put(data[i])) continue;
        Packet packet;
        bool good = decoder_.Verify(negotiated_ ? agreed_.checkType : 1, packet);
        // A repeated Send-Init (or its answer) still carries block check 1.
        if (!good && negotiated_ && isInitPacket(decoder_.RawType())) good = decoder_.Verify(1, packet);
        if (finished_) {
            // A finished end still answers a repeat of the packet that ended it.
            if (good && status_ == XFER_IDLE) onPacket(packet);
            continue;
        }
        lastHeard_ = now_;
        if (good) {
            onPacket(packet);
        } else {
            onTrouble(false);
        }
    }
}

size_t KermitEnd::TakeOutgoing(uint8_t* buffer, size_t max) {
    size_t n = std::min(max, out_.size() - head_);
    std::memcpy(buffer, out_.data() + head_, n);
    head_ += n;
    if (head_ == out_.size()) {
        out_.clear();
        head_ = 0;
    }
    return n;
}

void KermitEnd::send(int seq, char type, const std::string& data, bool checkOne, bool once) {
    Packet packet;
    packet.seq = seq & 63;
    packet.type = type;
    packet.data = data;
    sentSeq_ = packet.seq;
    std::string wire = EncodePacket(packet, checkOne || !negotiated_ ? 1 : agreed_.checkType, agreed_.framing);
    out_ += wire;
    if (!once) lastPacket_ = std::move(wire);
    lastHeard_ = now_;
}

void KermitEnd::repeat() {
    out_ += lastPacket_;
    lastHeard_ = now_;
}

bool KermitEnd::countError(bool timedOut) {
    ++progress_.errorsRecovered;
    if (timedOut ? ++timeouts_ > options_.maxRetries : ++errors_ > options_.maxErrors) {
        --progress_.errorsRecovered;
        if (timedOut)
            fail(XFER_TIMED_OUT, "no answer from the other end", true);
        else
            fail(XFER_FAILED, "too many errors in a row", true);
        return false;
    }
    return true;
}

std::string KermitEnd::encodeText(const std::string& text) const {
    std::string field;
    size_t room = 60;
    EncodeData(agreed_.sending, reinterpret_cast<const uint8_t*>(text.data()), text.size(), room, field);
    return field;
}

void KermitEnd::fail(int status, const std::string& why, bool sendError) {
    if (finished_) return;
    onFail();
    progress_.lastMessage = why;
    out_.clear();
    head_ = 0;
    if (sendError) send(sentSeq_, 'E', encodeText(why));
    finished_ = true;
    reportStatus(status);
}

void KermitEnd::Abort() {
    if (finished_) {
        if (status_ == XFER_TIMED_OUT || status_ == XFER_CARRIER_LOST) {
            send(sentSeq_, 'E', encodeText("transfer aborted"));
            reportStatus(XFER_FAILED);
        }
        return;
    }
    fail(XFER_ABORT, "transfer aborted", true);
    reportStatus(XFER_FAILED);
}

void KermitEnd::CarrierLost() {
    fail(XFER_CARRIER_LOST, "carrier lost", false);
}

}  // namespace zorv::kermit
