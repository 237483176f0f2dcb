#include "platform/zmodem/ZmodemReceiver.h"

#include "modem/CommControl.h"

#include <cstring>

namespace zorv::zmodem {
namespace {

// Parses the leading number of `text` in `base`; -1 when there is none or it is too big.
int64_t leadingNumber(const char*& p, const char* end, int base) {
    while (p < end && *p == ' ') ++p;
    int64_t value = 0;
    int digits = 0;
    while (p < end && *p >= '0' && *p < '0' + base && *p <= '9') {
        if (value > (int64_t(1) << 40)) return -1;
        value = value * base + (*p - '0');
        ++p;
        ++digits;
    }
    return digits ? value : -1;
}

}  // namespace

ZmodemReceiver::ZmodemReceiver(ReceiveStore& store, ReceiverOptions options)
    : store_(store), options_(options), decoder_(options.maxSubpacket) {}

ZmodemReceiver::ZmodemReceiver(std::unique_ptr<ReceiveStore> store, ReceiverOptions options)
    : ownedStore_(std::move(store)), store_(*ownedStore_), options_(options), decoder_(options.maxSubpacket) {}

ZmodemReceiver::~ZmodemReceiver() {
    if (file_) file_->KeepPartial();
}

void ZmodemReceiver::sendHex(const Header& h) {
    lastSent_ = h;
    encoder_.HexHeader(out_, h);
}

// We read while we write and take a continuous stream (buffer size 0) with CRC-32.
Header ZmodemReceiver::initHeader() const {
    return Header::WithFlags(ZRINIT, CANFDX | CANOVIO | CANFC32 | (options_.escapeControl ? ESCCTL : 0));
}

void ZmodemReceiver::Start(double now) {
    now_ = lastActivity_ = now;
    phase_ = Phase::WaitFile;
    sendHex(initHeader());
    reportStatus(XFER_WAITING);
}

void ZmodemReceiver::Tick(double now) {
    now_ = now;
    if (finished_ || now_ - lastActivity_ < options_.timeout) return;
    lastActivity_ = now_;
    if (++timeouts_ > options_.maxRetries) {
        fail(XFER_TIMED_OUT, "no answer from the remote end", true);
        return;
    }
    switch (phase_) {
    case Phase::FileInfo:
        if (repeatOf_ != Phase::FileInfo) {
            answerRepeat();
            break;
        }
        [[fallthrough]];
    case Phase::WaitFile:
    case Phase::SinitData:
    case Phase::CommandData:
        phase_ = Phase::WaitFile;
        decoder_.Hunt();
        sendHex(initHeader());
        break;
    case Phase::WaitCrc:
        if (++crcAsks_ >= 3) {
            // A sender that cannot answer: the partial copy is not proven, so not used.
            file_->KeepPartial();
            file_.reset();
            openFile(false);
            if (file_) askPosition();
            break;
        }
        sendHex(Header::WithPosition(ZCRC, static_cast<uint32_t>(file_->ExistingLength())));
        break;
    case Phase::WaitData:
    case Phase::InData:
        ++progress_.errorsRecovered;
        askPosition();
        break;
    case Phase::Done:
        break;
    }
}

void ZmodemReceiver::Feed(const uint8_t* data, size_t length) {
    // On a slow line one subpacket takes many seconds: data arriving inside one is
    // progress. (Garbage cannot keep us here: it ends as bad subpackets, which count.)
    if (phase_ == Phase::InData && length > 0) goodEvent();
    size_t offset = 0;
    while (offset < length && !finished_) {
        size_t used = 0;
        auto event = decoder_.Feed(data + offset, length - offset, used);
        offset += used;
        switch (event) {
        case FrameDecoder::Event::None:
            break;
        case FrameDecoder::Event::Header:
            onHeader(decoder_.LastHeader());
            break;
        case FrameDecoder::Event::Subpacket:
            onSubpacket();
            break;
        case FrameDecoder::Event::BadHeader:
            if (phase_ == Phase::WaitFile) {
                // ZNAK: the sender repeats the header it sent last.
                noteError();
                if (!finished_) encoder_.HexHeader(out_, Header::WithPosition(ZNAK, 0));
            } else if (phase_ == Phase::WaitData && !badHeaderAnswered_) {
                // Most likely the ZDATA that answers our last ZRPOS: ask again now rather
                // than after a time-out. Only once per request, so stray bytes in the
                // stream we are skipping cannot set off a storm of requests.
                noteError();
                if (!finished_) askPosition();
                badHeaderAnswered_ = true;
            }
            break;
        case FrameDecoder::Event::BadSubpacket:
            onBadData();
            break;
        case FrameDecoder::Event::Cancel:
            fail(XFER_FAILED, "the remote end cancelled the transfer", false);
            break;
        }
    }
}

void ZmodemReceiver::noteError() {
    ++progress_.errorsRecovered;
    if (++errorsInRow_ > options_.maxErrors) fail(XFER_FAILED, "too many errors", true);
}

void ZmodemReceiver::askPosition() {
    decoder_.Hunt();
    phase_ = Phase::WaitData;
    // The sender's Attn sequence interrupts it, so it reads our request at once.
    if (!attn_.empty()) out_.Append(attn_);
    sendHex(Header::WithPosition(ZRPOS, position_));
    badHeaderAnswered_ = false;
}

void ZmodemReceiver::onBadData() {
    switch (phase_) {
    case Phase::InData:
    case Phase::WaitData:
        noteError();
        if (!finished_) askPosition();
        break;
    case Phase::FileInfo:
        if (repeatOf_ != Phase::FileInfo) {
            noteError();
            if (!finished_) answerRepeat();
            break;
        }
        [[fallthrough]];
    case Phase::SinitData:
    case Phase::CommandData:
        // Asking for the init again makes the sender repeat its frame.
        noteError();
        if (finished_) break;
        phase_ = Phase::WaitFile;
        sendHex(initHeader());
        break;
    default:
        break;
    }
}

void ZmodemReceiver::onHeader(const Header& h) {
    switch (h.type) {
    case ZRQINIT:
        goodEvent();
        if (phase_ == Phase::WaitFile) {
            sendHex(initHeader());
            reportStatus(XFER_NEGOTIATING);
        }
        break;
    case ZSINIT:
        goodEvent();
        phase_ = Phase::SinitData;
        decoder_.ExpectData();
        break;
    case ZFILE:
        goodEvent();
        // A repeated ZFILE for the file we are on arrives while we wait for its data
        // (our answer was lost); onFileInfo answers it again without reopening.
        repeatOf_ = (phase_ == Phase::WaitData || phase_ == Phase::InData || phase_ == Phase::WaitCrc)
                        ? phase_ : Phase::FileInfo;
        phase_ = Phase::FileInfo;
        decoder_.ExpectData();
        break;
    case ZCOMMAND:
        goodEvent();
        phase_ = Phase::CommandData;
        decoder_.ExpectData();
        break;
    case ZDATA:
        if (!file_ || (phase_ != Phase::WaitData && phase_ != Phase::InData)) break;
        if (h.Position() == position_) {
            goodEvent();
            phase_ = Phase::InData;
            decoder_.ExpectData();
            reportStatus(XFER_TRANSFERRING);
        } else {
            noteError();
            if (!finished_) askPosition();
        }
        break;
    case ZEOF:
        if (file_ && (phase_ == Phase::WaitData || phase_ == Phase::InData)) {
            if (h.Position() == position_) {
                goodEvent();
                finishFile(h.Position());
            }
            // Any other length is the end of data we have asked to be sent again.
        } else if (phase_ == Phase::WaitFile) {
            // Our ZRINIT after that file was lost.
            goodEvent();
            sendHex(initHeader());
        }
        break;
    case ZCRC:
        if (phase_ != Phase::WaitCrc || !file_) break;
        goodEvent();
        {
            uint32_t ours = 0;
            int64_t length = file_->ExistingLength();
            if (file_->ExistingCrc(length, ours) && ours == h.Position()) {
                position_ = static_cast<uint32_t>(length);
                progress_.resumedFrom = length;
                progress_.bytesDone = length;
                progress_.lastMessage = "resuming " + file_->Name() + " at " + std::to_string(length);
            } else {
                // Not the same file: it must not be continued, so it gets a name of its own.
                file_->KeepPartial();
                file_.reset();
                openFile(false);
                if (!file_) return;
            }
            askPosition();
        }
        break;
    case ZFIN:
        goodEvent();
        if (file_) dropFile("the sender ended before the file was complete");
        // Also answers a ZFIN repeated because our answer was lost.
        encoder_.HexHeader(out_, Header::WithPosition(ZFIN, 0));
        endSession();
        break;
    case ZNAK:
        goodEvent();
        sendHex(lastSent_);
        break;
    case ZCHALLENGE:
        goodEvent();
        sendHex(Header::WithPosition(ZACK, h.Position()));
        break;
    case ZABORT:
    case ZFERR:
    case ZCAN:
        fail(XFER_FAILED, "the sender ended the transfer", false);
        break;
    default:
        break;
    }
}

void ZmodemReceiver::onSubpacket() {
    switch (phase_) {
    case Phase::SinitData: {
        goodEvent();
        size_t n = strnlen(reinterpret_cast<const char*>(decoder_.Data()), decoder_.DataLength());
        attn_.assign(reinterpret_cast<const char*>(decoder_.Data()), n < 32 ? n : 32);
        phase_ = Phase::WaitFile;
        sendHex(Header::WithPosition(ZACK, 1));
        break;
    }
    case Phase::CommandData:
        // Commands from a remote end are never run.
        goodEvent();
        phase_ = Phase::WaitFile;
        sendHex(Header::WithPosition(ZCOMPL, 1));
        break;
    case Phase::FileInfo:
        goodEvent();
        onFileInfo();
        break;
    case Phase::InData: {
        size_t n = decoder_.DataLength();
        if (uint64_t(position_) + n > 0xFFFFFFFFull ||
            (offer_.size >= 0 && int64_t(position_) + int64_t(n) > offer_.size)) {
            dropFile("more data than the sender offered");
            if (!finished_) {
                phase_ = Phase::WaitFile;
                decoder_.Hunt();
                sendHex(Header::WithPosition(ZSKIP, 0));
            }
            return;
        }
        if (!file_->Write(position_, decoder_.Data(), n)) {
            fail(XFER_FAILED, "cannot write " + file_->Name(), true);
            return;
        }
        goodEvent();
        position_ += static_cast<uint32_t>(n);
        progress_.bytesDone = position_;
        if (n > 0) errorsInRow_ = 0;
        uint8_t end = decoder_.FrameEnd();
        if (end == ZCRCQ || end == ZCRCW) encoder_.HexHeader(out_, Header::WithPosition(ZACK, position_));
        if (end == ZCRCE || end == ZCRCW) phase_ = Phase::WaitData;
        break;
    }
    default:
        break;
    }
}

void ZmodemReceiver::onFileInfo() {
    const char* p = reinterpret_cast<const char*>(decoder_.Data());
    const char* end = p + decoder_.DataLength();
    const char* nameEnd = static_cast<const char*>(std::memchr(p, 0, end - p));
    if (!nameEnd) nameEnd = end;
    FileOffer offer;
    offer.name.assign(p, nameEnd);
    const char* info = nameEnd < end ? nameEnd + 1 : end;
    const char* infoEnd = static_cast<const char*>(std::memchr(info, 0, end - info));
    if (!infoEnd) infoEnd = end;
    offer.size = leadingNumber(info, infoEnd, 10);
    int64_t modified = leadingNumber(info, infoEnd, 8);
    offer.modified = modified > 0 ? modified : 0;

    // The sender repeats a ZFILE when our answer was lost: answer again, same file.
    if (repeatOf_ != Phase::FileInfo && file_ && offer.name == offer_.name) {
        answerRepeat();
        return;
    }
    repeatOf_ = Phase::FileInfo;
    if (file_) dropFile("the sender went on to another file");
    if (finished_) return;

    offer_ = offer;
    errorsInRow_ = 0;
    progress_.fileName = SafeFileName(offer.name);
    progress_.fileSize = offer.size;
    progress_.bytesDone = 0;
    progress_.resumedFrom = 0;
    reportStatus(XFER_NEGOTIATING);
    if (finished_) return;
    if (offer.size > 0xFFFFFFFFLL) {
        ++progress_.filesFailed;
        progress_.lastMessage = "skipped " + offer.name + ": too large";
        phase_ = Phase::WaitFile;
        sendHex(Header::WithPosition(ZSKIP, 0));
        return;
    }
    openFile(options_.allowResume);
    if (!file_) return;
    if (file_->ExistingLength() > 0) {
        phase_ = Phase::WaitCrc;
        crcAsks_ = 0;
        sendHex(Header::WithPosition(ZCRC, static_cast<uint32_t>(file_->ExistingLength())));
    } else {
        askPosition();
    }
}

void ZmodemReceiver::answerRepeat() {
    phase_ = repeatOf_;
    repeatOf_ = Phase::FileInfo;
    if (phase_ == Phase::WaitCrc) {
        decoder_.Hunt();
        sendHex(Header::WithPosition(ZCRC, static_cast<uint32_t>(file_->ExistingLength())));
    } else {
        askPosition();
    }
}

void ZmodemReceiver::openFile(bool allowResume) {
    std::string error;
    file_ = store_.Open(offer_, allowResume, error);
    position_ = 0;
    if (!file_) {
        ++progress_.filesFailed;
        progress_.lastMessage = "skipped " + progress_.fileName + ": " + error;
        phase_ = Phase::WaitFile;
        decoder_.Hunt();
        sendHex(Header::WithPosition(ZSKIP, 0));
        return;
    }
    progress_.fileName = file_->Name();
}

void ZmodemReceiver::finishFile(uint32_t position) {
    reportStatus(XFER_FINISHING);
    if (finished_) return;
    bool complete = false;
    if (offer_.size >= 0 && offer_.size != int64_t(position)) {
        dropFile("the file ended at " + std::to_string(position) + " bytes, " +
                 std::to_string(offer_.size) + " were offered");
    } else if (!file_->Finish(position)) {
        dropFile("cannot complete " + file_->Name());
    } else {
        complete = true;
        progress_.fileName = file_->Name();
        progress_.lastMessage = "received " + file_->Name();
        ++progress_.filesDone;
        file_.reset();
    }
    phase_ = Phase::WaitFile;
    decoder_.Hunt();
    sendHex(initHeader());
    if (complete) reportStatus(XFER_FILE_DONE);
}

void ZmodemReceiver::dropFile(const std::string& why) {
    if (file_) {
        file_->KeepPartial();
        file_.reset();
    }
    ++progress_.filesFailed;
    progress_.lastMessage = why;
}

void ZmodemReceiver::endSession() {
    phase_ = Phase::Done;
    finished_ = true;
    reportStatus(progress_.filesFailed == 0 ? XFER_IDLE : XFER_FAILED);
}

void ZmodemReceiver::onFail() {
    if (file_) {
        file_->KeepPartial();
        file_.reset();
    }
    phase_ = Phase::Done;
}

}  // namespace zorv::zmodem
