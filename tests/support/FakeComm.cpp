#include "tests/support/FakeComm.h"

#include "util/Error.h"

namespace zorv::test {

namespace {
const char* Bool(bool b) { return b ? "True" : "False"; }
}  // namespace

FakeComm::FakeComm(VirtualPump& pump) : pump_(pump) {}

void FakeComm::Log(const std::string& member, const std::string& value) {
    writes_.push_back(member + "=" + value);
}

void FakeComm::RequireOpen(const char* member) const {
    if (!open_) throw Error(ErrorNumber::PortNotOpen, std::string("Port not open (") + member + ")");
}

void FakeComm::On(const std::string& trigger, const std::string& reply, double delay, int times) {
    rules_.push_back({trigger, reply, delay, times});
}

void FakeComm::QueueReply(const std::string& reply, double delay) { queue_.push_back({reply, delay}); }

void FakeComm::Deliver(const std::string& text) { Receive(text); }

void FakeComm::DeliverAfter(double delay, const std::string& text) {
    pump_.After(delay, [this, text] { Receive(text); });
}

void FakeComm::Receive(const std::string& text) {
    if (!open_) return;  // nobody listens on a closed port
    if (autoProcess_ != 0) {
        screenData_ += text;
        return;
    }
    inBuffer_ += text;
    if (rThreshold_ > 0 && static_cast<int>(inBuffer_.size()) >= rThreshold_) RaiseEvent(COMM_EV_RECEIVE);
}

void FakeComm::Answer(const std::string& reply, double delay) {
    if (delay <= 0) Receive(reply);
    else DeliverAfter(delay, reply);
}

void FakeComm::SetCarrier(bool on) {
    const bool dropped = carrier_ && !on;
    carrier_ = on;
    if (dropped && open_) RaiseEvent(COMM_EV_CARRIER_DROP);
}

void FakeComm::DropCarrierAfter(double delay) {
    pump_.After(delay, [this] { SetCarrier(false); });
}

void FakeComm::RaiseEvent(int code) {
    eventCode_ = code;
    if (handler_) handler_();
}

void FakeComm::ReportXferStatus(int status) {
    xferStatus_ = status;
    RaiseEvent(COMM_EV_XFER_STATUS);
}

void FakeComm::ReportXferStatusAfter(double delay, int status) {
    pump_.After(delay, [this, status] { ReportXferStatus(status); });
}

void FakeComm::SetTag(const std::string& tag) {
    Log("Tag", tag);
    tag_ = tag;
}

int FakeComm::CommPort() const {
    if (throwOnCommPort_) throw Error(ErrorNumber::InvalidPortNumber, "Invalid Port Number");
    return port_;
}

void FakeComm::SetCommPort(int port) {
    Log("CommPort", std::to_string(port));
    if (open_) throw Error(ErrorNumber::PortAlreadyOpen, "Port already open");
    if (port < 1) throw Error(ErrorNumber::InvalidPortNumber, "Invalid Port Number");
    port_ = port;
}

void FakeComm::SetSettings(const std::string& settings) {
    Log("Settings", settings);
    if (refusedSettings_ && refusedSettings_(settings))
        throw Error(ErrorNumber::InvalidPropertyValue, "Invalid property value");
    settings_ = settings;
}

void FakeComm::SetPortOpen(bool open) {
    Log("PortOpen", Bool(open));
    if (open == open_) {
        if (open) throw Error(ErrorNumber::PortAlreadyOpen, "Port already open");
        return;
    }
    if (open && refuseOpen_) throw Error(ErrorNumber::DeviceUnavailable, "Device unavailable");
    open_ = open;
    if (open) {
        dtr_ = true;
    } else {
        inBuffer_.clear();
        unanswered_.clear();
    }
}

void FakeComm::SetOutput(const std::string& data) {
    Log("Output", data);
    RequireOpen("Output");
    sent_ += data;
    if (echo_) Receive(data);
    if (!queue_.empty()) {
        QueuedReply next = queue_.front();
        queue_.pop_front();
        Answer(next.reply, next.delay);
    }
    unanswered_ += data;
    for (auto& rule : rules_) {
        if (rule.times == 0) continue;
        size_t at = unanswered_.find(rule.trigger);
        if (at == std::string::npos) continue;
        unanswered_.erase(0, at + rule.trigger.size());
        if (rule.times > 0) --rule.times;
        Answer(rule.reply, rule.delay);
    }
}

std::string FakeComm::Input() {
    RequireOpen("Input");
    ++inputReads_;
    size_t n = inputLen_ > 0 ? std::min<size_t>(inputLen_, inBuffer_.size()) : inBuffer_.size();
    std::string out = inBuffer_.substr(0, n);
    inBuffer_.erase(0, n);
    return out;
}

void FakeComm::SetInputLen(int length) {
    Log("InputLen", std::to_string(length));
    inputLen_ = length;
}

void FakeComm::SetInBufferCount(int count) {
    Log("InBufferCount", std::to_string(count));
    if (count != 0) throw Error(ErrorNumber::InvalidPropertyValue, "Invalid property value");
    inBuffer_.clear();
}

void FakeComm::SetOutBufferCount(int count) {
    Log("OutBufferCount", std::to_string(count));
    if (count != 0) throw Error(ErrorNumber::InvalidPropertyValue, "Invalid property value");
}

void FakeComm::SetDTREnable(bool on) {
    Log("DTREnable", Bool(on));
    const bool dropping = dtr_ && !on;
    dtr_ = on;
    if (dropping && hangUpOnDtrDrop_) SetCarrier(false);
}

void FakeComm::SetRTSEnable(bool on) {
    Log("RTSEnable", Bool(on));
    rts_ = on;
}

void FakeComm::SetHandshaking(int mode) {
    Log("Handshaking", std::to_string(mode));
    if (mode < 0 || mode > 3) throw Error(ErrorNumber::InvalidPropertyValue, "Invalid property value");
    handshaking_ = mode;
}

void FakeComm::SetRThreshold(int count) {
    Log("RThreshold", std::to_string(count));
    rThreshold_ = count;
}

void FakeComm::SetAutoProcess(int mode) {
    Log("AutoProcess", std::to_string(mode));
    autoProcess_ = mode;
}

void FakeComm::SetInterval(int milliseconds) {
    Log("Interval", std::to_string(milliseconds));
    interval_ = milliseconds;
}

void FakeComm::SetRows(int rows) {
    Log("Rows", std::to_string(rows));
    rows_ = rows;
}

void FakeComm::SetColumns(int columns) {
    Log("Columns", std::to_string(columns));
    columns_ = columns;
}

void FakeComm::SetXferProtocol(int protocol) {
    Log("XferProtocol", std::to_string(protocol));
    xferProtocol_ = protocol;
}

void FakeComm::SetXferStatusDialog(int mode) {
    Log("XferStatusDialog", std::to_string(mode));
    xferStatusDialog_ = mode;
}

void FakeComm::SetDownload(const std::string& fileName) {
    Log("Download", fileName);
    RequireOpen("Download");
    downloads_.push_back(fileName);
    if (onDownload) onDownload(fileName);
}

void FakeComm::SetUpload(const std::string& fileName) {
    Log("Upload", fileName);
    RequireOpen("Upload");
    uploads_.push_back(fileName);
    if (onUpload) onUpload(fileName);
}

void FakeComm::SetXferStatus(int status) {
    Log("XferStatus", std::to_string(status));
    xferStatus_ = status;
}

}  // namespace zorv::test
