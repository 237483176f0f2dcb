#include "platform/comm/TransferProgressWindow.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "modem/CommControl.h"
#include "util/QtText.h"

namespace zorv {

namespace {

constexpr int kValueWidth = 300;        // room for the values beside their captions
constexpr double kRateSettleSeconds = 0.5;  // a rate over less time says nothing yet

}  // namespace

TransferProgressWindow::TransferProgressWindow(std::function<void()> cancel) {
    setObjectName("XferProgress");
    setWindowTitle("File Transfer");
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(12);
    grid->setColumnStretch(1, 1);
    int row = 0;
    auto addRow = [&](const char* caption, const char* name) {
        auto* label = new QLabel(caption, this);
        auto* value = new QLabel(this);
        value->setObjectName(name);
        value->setMinimumWidth(kValueWidth);
        grid->addWidget(label, row, 0, Qt::AlignLeft);
        grid->addWidget(value, row, 1);
        ++row;
        return value;
    };
    file_ = addRow("File:", "LblFile");
    size_ = addRow("Size:", "LblSize");
    bytes_ = addRow("Transferred:", "LblBytes");
    rate_ = addRow("Rate:", "LblRate");
    timeLeft_ = addRow("Time left:", "LblTimeLeft");
    errors_ = addRow("Errors recovered:", "LblErrors");
    layout->addLayout(grid);
    bar_ = new QProgressBar(this);
    bar_->setObjectName("BarProgress");
    layout->addWidget(bar_);
    status_ = new QLabel(this);
    status_->setObjectName("LblStatus");
    layout->addWidget(status_);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("CmdCancel");
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    QObject::connect(cancel_, &QPushButton::clicked, this, [cancel] { cancel(); });
    setFixedSize(sizeHint().expandedTo(QSize(420, 0)));
}

std::string TransferProgressWindow::StatusText(int status) {
    switch (status) {
    case XFER_IDLE: return "Transfer complete";
    case XFER_FAILED: return "Transfer failed";
    case XFER_WAITING: return "Waiting for the remote end";
    case XFER_NEGOTIATING: return "Negotiating";
    case XFER_TRANSFERRING: return "Transferring";
    case XFER_FINISHING: return "Finishing the file";
    case XFER_ABORT: return "Aborting";
    case XFER_FILE_DONE: return "File complete";
    case XFER_CARRIER_LOST: return "Carrier lost";
    case XFER_TIMED_OUT: return "Timed out";
    }
    return "";
}

std::string TransferProgressWindow::DurationText(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

void TransferProgressWindow::Begin(const std::string& title) {
    setWindowTitle(ToQString("File Transfer - " + title));
    for (QLabel* label : {file_, size_, bytes_, rate_, timeLeft_, errors_, status_}) label->clear();
    fileName_.clear();
    rateFromSeconds_ = -1;
    bar_->setRange(0, 100);
    bar_->setValue(0);
    cancel_->setEnabled(true);
    clock_.start();
    show();
}

// A sender's name can be long; the window keeps its size and shows the name's end
// elided, with the whole name as the tip.
void TransferProgressWindow::ShowFileName(const std::string& name) {
    const QString full = ToQString(name);
    file_->setText(QFontMetrics(file_->font()).elidedText(full, Qt::ElideMiddle, kValueWidth));
    file_->setToolTip(full);
}

void TransferProgressWindow::Update(const TransferProgress& progress, int status) {
    Update(progress, status, clock_.isValid() ? clock_.elapsed() / 1000.0 : 0.0);
}

void TransferProgressWindow::Update(const TransferProgress& progress, int status, double seconds) {
    // A new file (or one that went back to an earlier position) starts a new measurement.
    if (progress.fileName != fileName_ || rateFromSeconds_ < 0 || progress.bytesDone < rateFromBytes_) {
        fileName_ = progress.fileName;
        rateFromSeconds_ = seconds;
        rateFromBytes_ = progress.bytesDone;
    }
    ShowFileName(progress.fileName);
    size_->setText(ToQString(progress.fileSize >= 0 ? std::to_string(progress.fileSize) + " bytes" : "unknown"));
    bytes_->setText(ToQString(std::to_string(progress.bytesDone) + " bytes"));

    const double elapsed = seconds - rateFromSeconds_;
    const double rate = elapsed >= kRateSettleSeconds ? (progress.bytesDone - rateFromBytes_) / elapsed : -1;
    rate_->setText(ToQString(rate >= 0 ? std::to_string(std::llround(rate)) + " bytes/s" : "-"));
    if (progress.fileSize >= 0 && progress.bytesDone >= progress.fileSize)
        timeLeft_->setText("0:00");
    else if (progress.fileSize >= 0 && rate > 0)
        timeLeft_->setText(ToQString(DurationText((progress.fileSize - progress.bytesDone) / rate)));
    else
        timeLeft_->setText("-");

    if (progress.fileSize > 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(std::min<int64_t>(1000, progress.bytesDone * 1000 / progress.fileSize)));
    } else if (progress.fileSize == 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(1000);
    } else {
        bar_->setRange(0, 0);  // size unknown: a busy bar
    }
    errors_->setText(ToQString(std::to_string(progress.errorsRecovered)));
    status_->setText(ToQString(StatusText(status)));
    const bool running = status != XFER_IDLE && status != XFER_FAILED && status != XFER_CARRIER_LOST;
    cancel_->setEnabled(running && status != XFER_ABORT);
}

}  // namespace zorv
