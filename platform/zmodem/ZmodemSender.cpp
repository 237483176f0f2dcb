#include "platform/zmodem/ZmodemSender.h"

#include "modem/CommControl.h"
#include "platform/zmodem/ZmodemCrc.h"

#include <algorithm>
#include <cstdio>

namespace zorv::zmodem {

ZmodemSender::ZmodemSender(std::vector<std::unique_ptr<SendFile>> files, SenderOptions options)
    : files_(std::move(files)), options_(options) {
    options_.minSubpacket = std::max<size_t>(options_.minSubpacket, 32);
    options_.maxSubpacket = std::clamp<size_t>(options_.maxSubpacket, options_.minSubpacket, 8192);
    subpacket_ = options_.maxSubpacket;
    chunk_.resize(options_.maxSubpacket);
    encoder_.SetEscapeControl(options_.escapeControl);
}

void ZmodemSender::Start(double now) {
    now_ = lastActivity_ = now;
    out_.Append(std::string("rz\r"));
    sendInit();
    reportStatus(XFER_WAITING);
}

void ZmodemSender::sendInit() {
    phase_ = Phase::WaitInit;
    encoder_.HexHeader(out_, Header::WithPosition(ZRQINIT, 0));
}

void ZmodemSender::sendSinit() {
    phase_ = Phase::WaitSinitAck;
    encoder_.BinaryHeader(out_, Header::WithFlags(ZSINIT, TESCCTL), crc32());
    uint8_t attn = 0;
    encoder_.Subpacket(out_, &attn, 1, ZCRCW, crc32());
}

void ZmodemSender::sendFileHeader() {
    phase_ = Phase::WaitFileReply;
    fileHeaderSent_ = now_;
    const SendFile& f = *files_[current_];
    int64_t bytesLeft = 0;
    for (size_t i = current_; i < files_.size(); ++i) bytesLeft += files_[i]->Size();
    // Name, then length, modification time and mode (octal), serial number, files and
    // bytes still to come. The mode is a plain readable file: ours is none of its business.
    char info[160];
    int n = std::snprintf(info, sizeof info, "%lld %llo 100644 0 %zu %lld",
                          static_cast<long long>(f.Size()), static_cast<unsigned long long>(std::max<int64_t>(f.Modified(), 0)),
                          files_.size() - current_, static_cast<long long>(bytesLeft));
    std::string block = f.Name();
    block.push_back('\0');
    block.append(info, static_cast<size_t>(n));
    block.push_back('\0');
    encoder_.BinaryHeader(out_, Header::WithFlags(ZFILE, ZCBIN), crc32());
    encoder_.Subpacket(out_, reinterpret_cast<const uint8_t*>(block.data()), block.size(), ZCRCW, crc32());
    progress_.fileName = f.Name();
    progress_.fileSize = f.Size();
    progress_.bytesDone = 0;
    progress_.resumedFrom = 0;
    reportStatus(XFER_NEGOTIATING);
}

void ZmodemSender::nextFile(bool delivered) {
    if (delivered) {
        ++progress_.filesDone;
        progress_.lastMessage = "sent " + files_[current_]->Name();
    } else {
        ++progress_.filesFailed;
        progress_.lastMessage = "the receiver skipped " + files_[current_]->Name();
    }
    ++current_;
    lastRequest_ = 0xFFFFFFFFu;
    sameRequests_ = 0;
    if (delivered) {
        reportStatus(XFER_FILE_DONE);
        if (finished_) return;
    }
    if (current_ < files_.size()) sendFileHeader();
    else sendFin();
}

void ZmodemSender::sendFin() {
    phase_ = Phase::WaitFin;
    encoder_.HexHeader(out_, Header::WithPosition(ZFIN, 0));
}

void ZmodemSender::startData(uint32_t position) {
    txPos_ = ackedPos_ = position;
    sinceAck_ = 0;
    phase_ = Phase::Streaming;
    encoder_.BinaryHeader(out_, Header::WithPosition(ZDATA, position), crc32());
    progress_.bytesDone = position;
    reportStatus(XFER_TRANSFERRING);
}

void ZmodemSender::reposition(uint32_t position) {
    const SendFile& f = *files_[current_];
    if (int64_t(position) > f.Size()) {
        fail(XFER_FAILED, "the receiver asked for a position past the end of the file", true);
        return;
    }
    if (position == lastRequest_) {
        if (++sameRequests_ > options_.maxRetries) {
            fail(XFER_FAILED, "the receiver keeps failing at " + std::to_string(position), true);
            return;
        }
    } else {
        lastRequest_ = position;
        sameRequests_ = 0;
    }
    ++progress_.errorsRecovered;
    // What is still queued belongs to the stream the receiver is throwing away.
    out_.Clear();
    subpacket_ = std::max(options_.minSubpacket, subpacket_ / 2);
    cleanSubpackets_ = 0;
    errorAt_ = position;
    startData(position);
}

void ZmodemSender::produce() {
    const SendFile& file = *files_[current_];
    SendFile& f = *files_[current_];
    size_t window = options_.window ? options_.window : receiverBuffer_;
    while (phase_ == Phase::Streaming && out_.Size() < options_.readyOutput) {
        size_t n = std::min<int64_t>(subpacket_, file.Size() - txPos_);
        if (window) n = std::min<size_t>(n, window - sinceAck_);
        if (n > 0) {
            long got = f.Read(txPos_, chunk_.data(), n);
            if (got != long(n)) {
                fail(XFER_FAILED, "cannot read " + file.Name(), true);
                return;
            }
        }
        bool last = int64_t(txPos_) + int64_t(n) >= file.Size();
        bool windowFull = window && sinceAck_ + n >= window;
        // After errors every 32nd subpacket asks for an ack: only what the receiver
        // confirms lets the subpackets grow again.
        bool askAck = subpacket_ < options_.maxSubpacket && ++cleanSubpackets_ >= 32;
        if (askAck) cleanSubpackets_ = 0;
        uint8_t end = last ? ZCRCE : windowFull ? ZCRCW : askAck ? ZCRCQ : ZCRCG;
        encoder_.Subpacket(out_, chunk_.data(), n, end, crc32());
        txPos_ += static_cast<uint32_t>(n);
        sinceAck_ += static_cast<uint32_t>(n);
        progress_.bytesDone = txPos_;
        if (last) {
            encoder_.BinaryHeader(out_, Header::WithPosition(ZEOF, txPos_), crc32());
            phase_ = Phase::WaitEofReply;
            reportStatus(XFER_FINISHING);
            return;
        }
        if (windowFull) {
            phase_ = Phase::WaitAck;
            return;
        }
    }
}

bool ZmodemSender::WantsToSend() {
    if (phase_ == Phase::Streaming && !finished_) produce();
    return !out_.Empty();
}

size_t ZmodemSender::TakeOutgoing(uint8_t* buffer, size_t max) {
    if (phase_ == Phase::Streaming && !finished_ && out_.Size() < max) produce();
    size_t n = out_.Take(buffer, max);
    if (n > 0 && phase_ == Phase::Streaming) activity();
    return n;
}

void ZmodemSender::Tick(double now) {
    now_ = now;
    if (finished_ || now_ - lastActivity_ < options_.timeout) return;
    lastActivity_ = now_;
    if (++timeouts_ > options_.maxRetries) {
        if (phase_ == Phase::WaitFin) {
            // Every file was taken; only the closing handshake went unanswered.
            phase_ = Phase::Done;
            finished_ = true;
            reportStatus(progress_.filesFailed == 0 ? XFER_IDLE : XFER_FAILED);
            return;
        }
        fail(XFER_TIMED_OUT, "no answer from the remote end", true);
        return;
    }
    switch (phase_) {
    case Phase::WaitInit: sendInit(); break;
    case Phase::WaitSinitAck: sendSinit(); break;
    case Phase::WaitFileReply: sendFileHeader(); break;
    case Phase::WaitAck: ++progress_.errorsRecovered; out_.Clear(); startData(ackedPos_); break;
    case Phase::WaitEofReply:
        encoder_.BinaryHeader(out_, Header::WithPosition(ZEOF, txPos_), crc32());
        break;
    case Phase::WaitFin: sendFin(); break;
    case Phase::Streaming:   // the line takes nothing: counted above, nothing to repeat
    case Phase::Done: break;
    }
}

void ZmodemSender::Feed(const uint8_t* data, size_t length) {
    size_t offset = 0;
    while (offset < length && !finished_) {
        size_t used = 0;
        auto event = decoder_.Feed(data + offset, length - offset, used);
        offset += used;
        if (event == FrameDecoder::Event::Header) onHeader(decoder_.LastHeader());
        else if (event == FrameDecoder::Event::Cancel) fail(XFER_FAILED, "the remote end cancelled the transfer", false);
        else if (event == FrameDecoder::Event::BadHeader) onBadHeader();
    }
}

// A broken header from the receiver: while we wait for an answer, ZNAK asks for it
// again. While streaming the line towards the receiver carries data, so nothing can be
// put in; the receiver's own time-out repeats a lost request.
void ZmodemSender::onBadHeader() {
    ++progress_.errorsRecovered;
    switch (phase_) {
    case Phase::WaitInit:
    case Phase::WaitSinitAck:
    case Phase::WaitFileReply:
    case Phase::WaitAck:
    case Phase::WaitEofReply:
    case Phase::WaitFin:
        encoder_.HexHeader(out_, Header::WithPosition(ZNAK, 0));
        break;
    case Phase::Streaming:
    case Phase::Done:
        break;
    }
}

void ZmodemSender::onHeader(const Header& h) {
    switch (h.type) {
    case ZRINIT:
        activity();
        if (phase_ == Phase::WaitInit) {
            uint8_t flags = h.F0();
            useCrc32_ = flags & CANFC32;
            receiverBuffer_ = h.Position() & 0xFFFF;
            if (!(flags & CANFDX) || !(flags & CANOVIO)) {
                // A receiver that cannot read while it writes gets one buffer at a time.
                if (receiverBuffer_ == 0) receiverBuffer_ = 1024;
            }
            encoder_.SetEscapeControl(options_.escapeControl || (flags & ESCCTL));
            if (options_.escapeControl) sendSinit();
            else if (files_.empty()) sendFin();
            else sendFileHeader();
        } else if (phase_ == Phase::WaitFileReply && now_ - fileHeaderSent_ >= 2.0) {
            // A receiver answers our ZRQINIT with a second ZRINIT that crosses our ZFILE;
            // only a later one means the ZFILE was lost.
            sendFileHeader();
        } else if (phase_ == Phase::WaitEofReply) {
            nextFile(true);
        }
        break;
    case ZACK:
        activity();
        if (phase_ == Phase::WaitSinitAck) {
            if (files_.empty()) sendFin();
            else sendFileHeader();
        } else if (phase_ == Phase::WaitAck || phase_ == Phase::Streaming) {
            uint32_t p = h.Position();
            if (p > ackedPos_ && p <= txPos_) ackedPos_ = p;
            if (subpacket_ < options_.maxSubpacket && p <= txPos_ && p >= errorAt_ + 32 * subpacket_) {
                // 32 subpackets arrived whole since the last error.
                subpacket_ = std::min(options_.maxSubpacket, subpacket_ * 2);
                errorAt_ = p;
            }
            progress_.bytesDone = ackedPos_;
            if (phase_ == Phase::WaitAck && p == txPos_) startData(txPos_);
        }
        break;
    case ZRPOS:
        activity();
        if (phase_ == Phase::WaitFileReply) {
            if (int64_t(h.Position()) > files_[current_]->Size()) {
                fail(XFER_FAILED, "the receiver asked for a position past the end of the file", true);
                return;
            }
            progress_.resumedFrom = h.Position();
            subpacket_ = options_.maxSubpacket;
            startData(h.Position());
        } else if (phase_ == Phase::Streaming || phase_ == Phase::WaitAck || phase_ == Phase::WaitEofReply) {
            reposition(h.Position());
        }
        break;
    case ZCRC:
        activity();
        if (phase_ == Phase::WaitFileReply) {
            SendFile& f = *files_[current_];
            int64_t length = h.Position() == 0 ? f.Size() : std::min<int64_t>(h.Position(), f.Size());
            uint32_t crc = 0xFFFFFFFFu;
            for (int64_t done = 0; done < length;) {
                long got = f.Read(done, chunk_.data(), std::min<int64_t>(chunk_.size(), length - done));
                if (got <= 0) {
                    fail(XFER_FAILED, "cannot read " + f.Name(), true);
                    return;
                }
                crc = Crc32Update(crc, chunk_.data(), static_cast<size_t>(got));
                done += got;
            }
            encoder_.HexHeader(out_, Header::WithPosition(ZCRC, ~crc));
        }
        break;
    case ZSKIP:
        activity();
        if (phase_ == Phase::WaitFileReply || phase_ == Phase::Streaming || phase_ == Phase::WaitAck ||
            phase_ == Phase::WaitEofReply) {
            out_.Clear();
            nextFile(false);
        }
        break;
    case ZNAK:
        activity();
        if (phase_ == Phase::WaitInit) sendInit();
        else if (phase_ == Phase::WaitSinitAck) sendSinit();
        else if (phase_ == Phase::WaitFileReply) sendFileHeader();
        else if (phase_ == Phase::WaitEofReply) encoder_.BinaryHeader(out_, Header::WithPosition(ZEOF, txPos_), crc32());
        else if (phase_ == Phase::WaitFin) sendFin();
        break;
    case ZFIN:
        activity();
        if (phase_ == Phase::WaitFin) {
            out_.Append(std::string("OO"));
            phase_ = Phase::Done;
            finished_ = true;
            reportStatus(progress_.filesFailed == 0 ? XFER_IDLE : XFER_FAILED);
        } else {
            fail(XFER_FAILED, "the receiver ended the session", false);
        }
        break;
    case ZABORT:
    case ZFERR:
    case ZCAN:
        fail(XFER_FAILED, "the receiver ended the transfer", false);
        break;
    default:
        break;
    }
}

void ZmodemSender::onFail() { phase_ = Phase::Done; }

}  // namespace zorv::zmodem
