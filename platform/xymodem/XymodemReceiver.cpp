#include "platform/xymodem/XymodemReceiver.h"

#include "modem/CommControl.h"

#include <algorithm>

namespace zorv::xymodem {

namespace {

// A block that stops arriving for this long is broken; after a damaged block the line
// must be quiet this long before the NAK, so the rest of it is not taken for a new block.
constexpr double kQuiet = 1.0;
// While no block has arrived the request to start goes out at least this often.
constexpr double kStartInterval = 3.0;
constexpr int kCrcTries = 3;

}  // namespace

XymodemReceiver::XymodemReceiver(std::unique_ptr<zmodem::ReceiveStore> store, Options options)
    : store_(std::move(store)), options_(options) {
    wantHeader_ = IsBatch(options_.variant);
    crc_ = options_.variant != Variant::XmodemChecksum;
    stream_ = options_.variant == Variant::YmodemG;
}

void XymodemReceiver::Start(double now) {
    now_ = lastHeard_ = now;
    reportStatus(XFER_WAITING);
    askToStart();
}

void XymodemReceiver::Tick(double now) {
    now_ = now;
    if (finished_) return;
    const bool quiet = now - lastHeard_ >= kQuiet;
    if ((purging_ || !block_.empty()) && quiet) {
        if (trailingCans_ >= 2) {
            fail(XFER_FAILED, "the remote end cancelled the transfer", false);
            return;
        }
        if (!block_.empty() && !started_ && crc_ && !IsBatch(options_.variant) &&
            block_.size() + 1 == blockLength_) {
            // One byte short of a CRC block: a sender that heard an earlier NAK of ours
            // and sends checksums.
            crc_ = false;
            --blockLength_;
            onBlock();
            return;
        }
        if (!block_.empty()) {
            block_.clear();
            damaged("a block broke off");
            if (finished_ || !quiet) return;
        }
        purging_ = false;
        if (started_ && !wantHeader_) send(NAK);
        else askToStart();
        return;
    }
    if (purging_ || !block_.empty()) return;
    const double interval = started_ ? options_.timeout : std::min(options_.timeout, kStartInterval);
    if (now - lastHeard_ < interval || now - lastAsked_ < interval) return;
    if (++timeouts_ > options_.maxRetries) {
        fail(XFER_TIMED_OUT, "no answer from the remote end", true);
        return;
    }
    if (started_) ++progress_.errorsRecovered;
    if (!started_ || wantHeader_) askToStart();
    else if (!stream_ || eotSeen_) send(NAK);
    else lastAsked_ = now_;
}

void XymodemReceiver::Feed(const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (finished_ && !batchDone_) return;
        lastHeard_ = now_;
        // A cancel is CANs, perhaps followed by backspaces that wipe them off a terminal.
        if (data[i] == CAN) ++trailingCans_;
        else if (data[i] != '\b' || trailingCans_ < 2) trailingCans_ = 0;
        onByte(data[i]);
    }
}

void XymodemReceiver::CarrierLost() {
    if (finished_ || !stream_ || !wantHeader_ || progress_.filesDone == 0 || !block_.empty() || purging_) {
        ZmodemEnd::CarrierLost();
        return;
    }
    progress_.lastMessage = "the sender hung up after its last file without ending the batch";
    finished_ = true;
    reportStatus(XFER_IDLE);
}

void XymodemReceiver::onByte(uint8_t c) {
    if (purging_) return;
    if (!block_.empty()) {
        block_.push_back(c);
        if (block_.size() == blockLength_) onBlock();
        return;
    }
    if (c == SOH || c == STX) {
        block_.push_back(c);
        blockLength_ = 3 + (c == STX ? kLongBlock : kShortBlock) + (crc_ ? 2 : 1);
        return;
    }
    if (batchDone_) {
        // Everything arrived; a sender that missed our last ACK hears it again.
        if (c == EOT) send(ACK);
        return;
    }
    if (c == EOT) {
        onEot();
        return;
    }
    if (c == CAN) {
        if (trailingCans_ >= 2) fail(XFER_FAILED, "the remote end cancelled the transfer", false);
        return;
    }
    // Before the first block, whatever the remote end still prints is no concern of ours.
    if (started_) damaged("a stray byte between blocks");
}

void XymodemReceiver::onBlock() {
    const size_t size = block_[0] == STX ? kLongBlock : kShortBlock;
    if (!BlockIsGood(block_.data(), size, crc_)) {
        if (!started_ && !crc_ && !IsBatch(options_.variant) && !triedCrc_) {
            // Perhaps a CRC block, for a 'C' of ours the sender heard late: one byte more.
            triedCrc_ = true;
            crc_ = true;
            ++blockLength_;
            return;
        }
        block_.clear();
        damaged("a damaged block");
        return;
    }
    std::vector<uint8_t> block;
    block.swap(block_);
    const uint8_t number = block[1];
    if (batchDone_) {
        if (number == 0) send(ACK);
        return;
    }
    timeouts_ = 0;
    damagedInRow_ = 0;
    eotSeen_ = false;
    if (wantHeader_ && number == 0) {
        onHeaderBlock(block.data() + 3, size);
        return;
    }
    if (!started_ && !IsBatch(options_.variant) && number == 1) {
        started_ = true;
        if (!openFile(FileOffer{})) return;
    }
    if (!wantHeader_ && number == expected_) {
        onDataBlock(number, block.data() + 3, size);
    } else if (started_ && number == static_cast<uint8_t>(expected_ - 1) && (!stream_ || number == 0)) {
        // Our ACK was lost and the block came again. A repeated header block also wants
        // the request for data that followed our ACK.
        send(ACK);
        if (IsBatch(options_.variant) && number == 0) send(crc_ ? (stream_ ? WANT_STREAM : WANT_CRC) : NAK);
    } else {
        fail(XFER_FAILED, "block " + std::to_string(number) + " came where block " +
                              std::to_string(expected_) + " was due", true);
    }
}

void XymodemReceiver::onHeaderBlock(const uint8_t* data, size_t size) {
    started_ = true;
    FileOffer offer;
    if (!ParseHeaderBlock(data, size, offer)) {
        send(ACK);
        batchDone_ = true;
        finished_ = true;
        progress_.lastMessage.clear();
        reportStatus(XFER_IDLE);
        return;
    }
    if (!openFile(offer)) return;
    fileSize_ = offer.size;
    progress_.fileSize = offer.size;
    wantHeader_ = false;
    expected_ = 1;
    reportStatus(XFER_NEGOTIATING);
    send(ACK);
    send(stream_ ? WANT_STREAM : WANT_CRC);
}

void XymodemReceiver::onDataBlock(uint8_t number, const uint8_t* data, size_t size) {
    expected_ = static_cast<uint8_t>(number + 1);
    reportStatus(XFER_TRANSFERRING);
    if (fileSize_ >= 0) {
        // The header gave the length: what lies past it is padding.
        size_t take = static_cast<size_t>(std::min<int64_t>(int64_t(size), std::max<int64_t>(0, fileSize_ - written_)));
        if (!store(data, take)) return;
    } else {
        if (!store(heldBack_.data(), heldBack_.size())) return;
        heldBack_.assign(data, data + size);
    }
    if (!stream_) send(ACK);
}

void XymodemReceiver::onEot() {
    if (wantHeader_) {
        // We ACKed the end of the last file and the sender did not hear it.
        send(ACK);
        askToStart();
        return;
    }
    if (!eotSeen_) {
        eotSeen_ = true;
        send(NAK);
        return;
    }
    eotSeen_ = false;
    reportStatus(XFER_FINISHING);
    if (!file_ && !openFile(FileOffer{})) return;   // XMODEM: an empty file
    size_t keep = heldBack_.size();
    while (keep > 0 && heldBack_[keep - 1] == SUB) --keep;
    if (!store(heldBack_.data(), keep)) return;
    heldBack_.clear();
    if (fileSize_ >= 0 && written_ != fileSize_) {
        fail(XFER_FAILED, file_->Name() + " ended at " + std::to_string(written_) + " of " +
                              std::to_string(fileSize_) + " bytes",
             true);
        return;
    }
    if (!file_->Finish(written_)) {
        fail(XFER_FAILED, "cannot complete " + file_->Name(), true);
        return;
    }
    progress_.fileName = file_->Name();
    file_.reset();
    ++progress_.filesDone;
    send(ACK);
    if (!IsBatch(options_.variant)) {
        batchDone_ = true;
        finished_ = true;
        progress_.lastMessage.clear();
        reportStatus(XFER_IDLE);
        return;
    }
    wantHeader_ = true;
    fileSize_ = -1;
    expected_ = 1;
    reportStatus(XFER_FILE_DONE);
    askToStart();
}

void XymodemReceiver::damaged(const std::string& why) {
    ++progress_.errorsRecovered;
    progress_.lastMessage = why;
    if (started_ && stream_) {
        fail(XFER_FAILED, why + " while streaming", true);
        return;
    }
    if (++damagedInRow_ > options_.maxRetries) {
        fail(XFER_FAILED, "too many damaged blocks", true);
        return;
    }
    purging_ = true;
}

bool XymodemReceiver::openFile(const FileOffer& offer) {
    FileOffer named = offer;
    if (named.name.empty()) named.name = kUnnamedDownload;
    std::string error;
    // Neither protocol can continue a file, so a partial copy is never taken up.
    file_ = store_->Open(named, false, error);
    if (!file_) {
        fail(XFER_FAILED, error, true);
        return false;
    }
    written_ = 0;
    heldBack_.clear();
    progress_.fileName = file_->Name();
    progress_.bytesDone = 0;
    return true;
}

bool XymodemReceiver::store(const uint8_t* data, size_t size) {
    if (size == 0) return true;
    if (!file_->Write(written_, data, size)) {
        fail(XFER_FAILED, "cannot write " + file_->Name(), true);
        return false;
    }
    written_ += static_cast<int64_t>(size);
    progress_.bytesDone = written_;
    return true;
}

void XymodemReceiver::askToStart() {
    uint8_t c = WANT_CRC;
    if (options_.variant == Variant::YmodemG) c = WANT_STREAM;
    else if (options_.variant == Variant::XmodemChecksum) c = NAK;
    else if (!IsBatch(options_.variant) && startRequests_ >= kCrcTries) c = NAK;
    if (!started_) {
        crc_ = c != NAK;
        ++startRequests_;
    }
    send(c);
}

void XymodemReceiver::send(uint8_t c) {
    out_.Push(c);
    lastAsked_ = now_;
}

void XymodemReceiver::onFail() {
    block_.clear();
    if (file_) {
        file_->KeepPartial();
        file_.reset();
    }
}

}  // namespace zorv::xymodem
