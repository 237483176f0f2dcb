#include "platform/xymodem/XymodemSender.h"

#include "modem/CommControl.h"

#include <algorithm>

namespace zorv::xymodem {

namespace {

constexpr double kRepeatGrace = 1.0;

}  // namespace

XymodemSender::XymodemSender(std::vector<std::unique_ptr<zmodem::SendFile>> files, Options options)
    : files_(std::move(files)), options_(options) {
    if (!IsBatch(options_.variant) && files_.size() > 1) files_.resize(1);
}

void XymodemSender::Start(double now) {
    now_ = waitingSince_ = now;
    if (!files_.empty()) {
        progress_.fileName = files_[0]->Name();
        progress_.fileSize = files_[0]->Size();
    }
    reportStatus(XFER_WAITING);
}

void XymodemSender::Tick(double now) {
    now_ = now;
    if (finished_ || phase_ == Phase::Streaming || now - waitingSince_ < options_.timeout) return;
    waitingSince_ = now;
    if (++failures_ > options_.maxRetries) {
        fail(XFER_TIMED_OUT, "no answer from the remote end", true);
        return;
    }
    // A request to start may simply not have come yet; everything else is asked again.
    if (phase_ != Phase::WaitStart && phase_ != Phase::WaitDataStart && phase_ != Phase::WaitNextStart) {
        ++progress_.errorsRecovered;
        resend();
        repeatedAt_ = now;
    }
}

void XymodemSender::Feed(const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length && !finished_; ++i) {
        const Phase before = phase_;
        onByte(data[i]);
        // What came with the request to start was sent before our answer was heard: more
        // requests queued up while we were not yet there.
        if (before == Phase::WaitStart && phase_ != before) break;
    }
}

bool XymodemSender::WantsToSend() {
    return !out_.Empty() || (phase_ == Phase::Streaming && !finished_);
}

size_t XymodemSender::TakeOutgoing(uint8_t* buffer, size_t max) {
    // Streaming: blocks are made as the line has room for them.
    while (phase_ == Phase::Streaming && !finished_ && out_.Size() < max) {
        if (!appendDataBlock()) break;
        position_ += static_cast<int64_t>(blockData_);
        ++blockNumber_;
        progress_.bytesDone = position_;
        if (position_ >= files_[fileIndex_]->Size()) sendEot();
    }
    return out_.Take(buffer, max);
}

void XymodemSender::CarrierLost() {
    const bool everyByteConfirmed = (phase_ == Phase::WaitEotAck && !IsBatch(options_.variant)) ||
                                    phase_ == Phase::WaitEndAck ||
                                    (phase_ == Phase::WaitNextStart && fileIndex_ >= files_.size());
    if (finished_ || !everyByteConfirmed) {
        ZmodemEnd::CarrierLost();
        return;
    }
    progress_.filesDone = static_cast<int>(files_.size());
    progress_.lastMessage = "the receiver hung up before its last answer; it had confirmed every byte";
    phase_ = Phase::Done;
    finished_ = true;
    reportStatus(XFER_IDLE);
}

void XymodemSender::onByte(uint8_t c) {
    if (c == CAN) {
        if (++cans_ >= 2) fail(XFER_FAILED, "the remote end cancelled the transfer", false);
        return;
    }
    cans_ = 0;
    switch (phase_) {
    case Phase::WaitStart:
        if (!takeStartRequest(c)) return;
        if (IsBatch(options_.variant)) sendHeader();
        else beginData();
        // A receiver asking for checksums repeats its NAK until it hears from us, and
        // those NAKs may still be on their way: taken for NAKs of the first block, each
        // would send it again and earn an ACK too many.
        if (c == NAK) repeatedAt_ = now_;
        return;
    case Phase::WaitHeaderAck:
        if (c == ACK) {
            phase_ = Phase::WaitDataStart;
            failures_ = 0;
            waitingSince_ = now_;
        } else if (c == NAK) {
            if (++failures_ > options_.maxRetries) fail(XFER_FAILED, "the receiver refuses the file's header", true);
            else resend();
        }
        return;
    case Phase::WaitDataStart:
        if (takeStartRequest(c)) beginData();
        return;
    case Phase::WaitAck:
        if (c == ACK) {
            position_ += static_cast<int64_t>(blockData_);
            ++blockNumber_;
            failures_ = 0;
            progress_.bytesDone = position_;
            if (position_ >= files_[fileIndex_]->Size()) sendEot();
            else if (appendDataBlock()) phase_ = Phase::WaitAck;
        } else if (c == NAK) {
            // The receiver's own time-out runs alongside ours: a NAK right after we
            // repeated the block for silence asks for what is already on its way, and a
            // second copy would earn a second ACK that the next block would take for its own.
            if (now_ - repeatedAt_ < kRepeatGrace) return;
            ++progress_.errorsRecovered;
            if (++failures_ > options_.maxRetries) fail(XFER_FAILED, "the receiver keeps refusing a block", true);
            else resend();
        }
        return;
    case Phase::WaitEotAck:
        if (c == ACK) {
            fileDone();
        } else if (c == NAK) {
            // The first NAK is how a careful receiver makes sure an EOT is not line noise.
            if (++failures_ > options_.maxRetries) fail(XFER_FAILED, "the receiver does not take the end of the file", true);
            else resend();
        }
        return;
    case Phase::WaitNextStart:
        if (!takeStartRequest(c)) return;
        if (fileIndex_ < files_.size()) {
            sendHeader();
        } else {
            std::string end = HeaderBlockData("", 0, 0);
            lastSent_.Clear();
            AppendBlock(lastSent_, 0, reinterpret_cast<const uint8_t*>(end.data()), end.size(), crc_);
            phase_ = Phase::WaitEndAck;
            resend();
        }
        return;
    case Phase::WaitEndAck:
        if (c == ACK) {
            phase_ = Phase::Done;
            finished_ = true;
            progress_.lastMessage.clear();
            reportStatus(XFER_IDLE);
        } else if (c == NAK) {
            if (++failures_ > options_.maxRetries) fail(XFER_FAILED, "the receiver does not take the end of the batch", true);
            else resend();
        }
        return;
    case Phase::Streaming:
    case Phase::Done:
        return;
    }
}

bool XymodemSender::takeStartRequest(uint8_t c) {
    if (c == NAK) {
        crc_ = false;
        stream_ = false;
    } else if (c == WANT_CRC) {
        crc_ = true;
        stream_ = false;
    } else if (c == WANT_STREAM && IsBatch(options_.variant)) {
        crc_ = true;
        stream_ = true;
    } else {
        return false;
    }
    failures_ = 0;
    waitingSince_ = now_;
    return true;
}

void XymodemSender::sendHeader() {
    const auto& file = *files_[fileIndex_];
    progress_.fileName = file.Name();
    progress_.fileSize = file.Size();
    progress_.bytesDone = 0;
    std::string data = HeaderBlockData(file.Name(), file.Size(), file.Modified());
    if (data.size() > kLongBlock || (data.size() == kLongBlock && !crc_)) {
        fail(XFER_FAILED, "the name " + file.Name() + " is too long to send", true);
        return;
    }
    lastSent_.Clear();
    AppendBlock(lastSent_, 0, reinterpret_cast<const uint8_t*>(data.data()), data.size(), crc_);
    phase_ = Phase::WaitHeaderAck;
    reportStatus(XFER_NEGOTIATING);
    resend();
}

void XymodemSender::beginData() {
    const auto& file = *files_[fileIndex_];
    progress_.fileName = file.Name();
    progress_.fileSize = file.Size();
    position_ = 0;
    blockNumber_ = 1;
    reportStatus(XFER_TRANSFERRING);
    if (file.Size() == 0) {
        sendEot();
    } else if (stream_) {
        phase_ = Phase::Streaming;
    } else if (appendDataBlock()) {
        phase_ = Phase::WaitAck;
    }
}

// Makes the block at position_ and queues it (remembered for a repeat). False when the
// file cannot be read, after failing the transfer.
bool XymodemSender::appendDataBlock() {
    auto& file = *files_[fileIndex_];
    const int64_t left = file.Size() - position_;
    const size_t size = (UsesLongBlocks(options_.variant) && crc_ && left >= int64_t(kLongBlock)) ? kLongBlock
                                                                                               : kShortBlock;
    uint8_t data[kLongBlock];
    const size_t want = static_cast<size_t>(std::min<int64_t>(left, int64_t(size)));
    size_t got = 0;
    while (got < want) {
        long n = file.Read(position_ + int64_t(got), data + got, want - got);
        if (n <= 0) {
            fail(XFER_FAILED, "cannot read " + file.Name(), true);
            return false;
        }
        got += static_cast<size_t>(n);
    }
    std::fill(data + got, data + size, SUB);
    blockData_ = got;
    lastSent_.Clear();
    AppendBlock(lastSent_, blockNumber_, data, size, crc_);
    if (stream_) {
        out_.Append(lastSent_.Front(), lastSent_.Size());
    } else {
        resend();
    }
    return true;
}

void XymodemSender::sendEot() {
    lastSent_.Clear();
    lastSent_.Push(EOT);
    phase_ = Phase::WaitEotAck;
    failures_ = 0;
    reportStatus(XFER_FINISHING);
    resend();
}

void XymodemSender::fileDone() {
    ++progress_.filesDone;
    ++fileIndex_;
    failures_ = 0;
    waitingSince_ = now_;
    if (IsBatch(options_.variant)) {
        phase_ = Phase::WaitNextStart;
        reportStatus(XFER_FILE_DONE);
        return;
    }
    phase_ = Phase::Done;
    finished_ = true;
    reportStatus(XFER_IDLE);
}

void XymodemSender::resend() {
    out_.Append(lastSent_.Front(), lastSent_.Size());
    waitingSince_ = now_;
}

void XymodemSender::onFail() {
    phase_ = Phase::Done;
}

}  // namespace zorv::xymodem
