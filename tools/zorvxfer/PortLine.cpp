#include "tools/zorvxfer/PortLine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <memory>

#include "platform/comm/NetModem.h"
#include "platform/comm/PortConfig.h"
#include "platform/comm/SerialComm.h"
#include "util/Error.h"

namespace zorv::xfer {
namespace {

constexpr size_t kInFlight = 64 * 1024;  // session output handed to the line ahead
constexpr int kTickMs = 50;
constexpr double kDrainSeconds = 5;

// The modem's answer to a dial, from the lines received so far; "" while none decides.
std::string DialAnswer(std::string& text) {
    static const char* const kFailures[] = {"NO CARRIER", "BUSY", "NO ANSWER", "NO DIALTONE", "ERROR"};
    size_t end;
    while ((end = text.find_first_of("\r\n")) != std::string::npos) {
        const std::string line = text.substr(0, end);
        size_t next = end;
        while (next < text.size() && (text[next] == '\r' || text[next] == '\n')) ++next;
        if (line.rfind("CONNECT", 0) == 0) {
            text.erase(0, next);  // what follows is the remote end's
            return line;
        }
        text.erase(0, next);
        for (const char* failure : kFailures)
            if (line == failure) return line;
    }
    return "";
}

class PortRun {
public:
    PortRun(TransferSession& session, const PortOptions& options) : session_(session), options_(options) {}

    PortOutcome Run(int& status) {
        std::unique_ptr<CommLine> line;
        LineSetup setup;
        try {
            const PortTarget target = ResolvePortFromIni(options_.port);
            if (target.kind == PortTarget::Kind::NetModem) {
                // The network modem starts in command mode: transfer bytes would reach it as
                // commands, so it is only used through a call.
                if (options_.dial.empty()) {
                    Say("port " + std::to_string(options_.port) + " is the network modem: give --dial NUMBER");
                    return PortOutcome::OpenFailed;
                }
                line = std::make_unique<NetModem>(target.modem);
            } else {
                line = std::make_unique<SerialComm>(target.device);
            }
            setup.settings = ParseLineSettings(options_.settings);
            line_ = line.get();
            line->Open(setup, Sink());
        } catch (const Error& error) {
            Say("port " + std::to_string(options_.port) + " cannot be opened: " + error.description());
            return PortOutcome::OpenFailed;
        }
        clock_.start();
        if (!options_.dial.empty()) {
            dialing_ = true;
            const std::string command = "ATDT" + options_.dial + "\r";
            Say("dialling " + options_.dial);
            line->Write(command.data(), command.size());
            if (!RunUntil([this] { return !dialing_ || Aborted(); }, options_.dialSeconds) || !connected_) {
                Say(answer_.empty() ? "no answer to the dial" : "dial failed: " + answer_);
                line->Close();
                return PortOutcome::DialFailed;
            }
            Say(answer_);
        }
        session_.Start(Seconds());
        transferring_ = true;
        if (!early_.empty()) session_.Feed(early_);
        if (!line->Carrier() && !options_.dial.empty()) session_.CarrierLost();
        Pump();
        RunUntil([this] { return session_.Finished(); }, -1);
        // The last frames (our ZFIN or the closing "OO") still go out, unless the line is gone.
        RunUntil([this] { return !line_->Carrier() || (!session_.WantsToSend() && line_->OutPending() == 0); },
                 kDrainSeconds);
        transferring_ = false;
        if (options_.onProgress) options_.onProgress(session_);
        line->Close();
        status = session_.Status();
        return PortOutcome::Ran;
    }

private:
    LineSink Sink() {
        LineSink sink;
        sink.room = [] { return kInFlight; };
        sink.received = [this](const char* bytes, size_t length) { Received(bytes, length); };
        sink.carrierChanged = [this] {
            if (transferring_ && !line_->Carrier() && !session_.Finished()) session_.CarrierLost();
            if (dialing_ && !line_->Carrier() && connected_) dialing_ = false;
        };
        sink.drained = [this] { Pump(); };
        return sink;
    }

    void Received(const char* bytes, size_t length) {
        if (transferring_) {
            session_.Tick(Seconds());
            session_.Feed(reinterpret_cast<const uint8_t*>(bytes), length);
            Pump();
        } else if (dialing_) {
            dialText_.append(bytes, length);
            answer_ = DialAnswer(dialText_);
            if (!answer_.empty()) {
                connected_ = answer_.rfind("CONNECT", 0) == 0;
                dialing_ = false;
                if (connected_) early_ = std::move(dialText_);
            }
        }
    }

    // Hands the line as much of the session's output as it may have in flight.
    void Pump() {
        if (!transferring_) return;
        uint8_t buffer[kInFlight];
        while (session_.WantsToSend()) {
            const size_t pending = line_->OutPending();
            if (pending >= kInFlight) return;  // the line's drain brings us back
            const size_t n = session_.TakeOutgoing(buffer, kInFlight - pending);
            if (n == 0) return;
            line_->Write(reinterpret_cast<const char*>(buffer), n);
        }
    }

    bool Aborted() const { return options_.abortRequested && *options_.abortRequested; }

    // Runs the event loop, ticking the session, until `done` or `seconds` pass (< 0: no limit).
    bool RunUntil(const std::function<bool()>& done, double seconds) {
        QEventLoop loop;
        QTimer tick;
        const double end = seconds < 0 ? -1 : Seconds() + seconds;
        double lastReport = -1;
        bool result = false;
        auto check = [&] {
            if (transferring_) {
                if (Aborted() && !abortSent_) {
                    abortSent_ = true;
                    line_->DiscardOutput();  // the cancel goes out before anything still queued
                    session_.Abort();
                }
                session_.Tick(Seconds());
                Pump();
                if (options_.onProgress && Seconds() - lastReport >= 0.5) {
                    lastReport = Seconds();
                    options_.onProgress(session_);
                }
            }
            if (done()) {
                result = true;
                loop.quit();
            } else if (end >= 0 && Seconds() > end) {
                loop.quit();
            }
        };
        QObject::connect(&tick, &QTimer::timeout, &loop, check);
        tick.start(kTickMs);
        check();
        if (!result && !(end >= 0 && Seconds() > end)) loop.exec();
        return result;
    }

    double Seconds() const { return clock_.elapsed() / 1000.0; }
    void Say(const std::string& text) const {
        if (options_.say) options_.say(text);
    }

    TransferSession& session_;
    const PortOptions& options_;
    CommLine* line_ = nullptr;
    QElapsedTimer clock_;
    bool dialing_ = false;
    bool connected_ = false;
    bool transferring_ = false;
    bool abortSent_ = false;
    std::string dialText_, answer_, early_;
};

}  // namespace

PortOutcome RunOnPort(TransferSession& session, const PortOptions& options, int& status) {
    return PortRun(session, options).Run(status);
}

}  // namespace zorv::xfer
