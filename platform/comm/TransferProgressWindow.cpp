#include "platform/comm/TransferProgressWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "modem/CommControl.h"
#include "util/QtText.h"

namespace zorv {

TransferProgressWindow::TransferProgressWindow(std::function<void()> cancel) {
    setObjectName("XferProgress");
    setWindowTitle("File Transfer");
    auto* layout = new QVBoxLayout(this);
    file_ = new QLabel(this);
    file_->setObjectName("LblFile");
    bytes_ = new QLabel(this);
    bytes_->setObjectName("LblBytes");
    bar_ = new QProgressBar(this);
    bar_->setObjectName("BarProgress");
    errors_ = new QLabel(this);
    errors_->setObjectName("LblErrors");
    status_ = new QLabel(this);
    status_->setObjectName("LblStatus");
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("CmdCancel");
    for (QWidget* w : std::initializer_list<QWidget*>{file_, bytes_, bar_, errors_, status_, cancel_})
        layout->addWidget(w);
    QObject::connect(cancel_, &QPushButton::clicked, this, [cancel] { cancel(); });
    resize(360, 200);
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

void TransferProgressWindow::Begin(const std::string& title) {
    setWindowTitle(ToQString("File Transfer - " + title));
    file_->clear();
    bytes_->clear();
    errors_->clear();
    bar_->setRange(0, 100);
    bar_->setValue(0);
    cancel_->setEnabled(true);
    show();
}

void TransferProgressWindow::Update(const TransferProgress& progress, int status) {
    file_->setText(ToQString("File: " + progress.fileName));
    std::string bytes = std::to_string(progress.bytesDone);
    if (progress.fileSize >= 0) bytes += " of " + std::to_string(progress.fileSize);
    bytes_->setText(ToQString(bytes + " bytes"));
    if (progress.fileSize > 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(std::min<int64_t>(1000, progress.bytesDone * 1000 / progress.fileSize)));
    } else {
        bar_->setRange(0, 0);  // size unknown: a busy bar
    }
    errors_->setText(ToQString("Errors recovered: " + std::to_string(progress.errorsRecovered)));
    status_->setText(ToQString(StatusText(status)));
    const bool running = status != XFER_IDLE && status != XFER_FAILED && status != XFER_CARRIER_LOST;
    cancel_->setEnabled(running && status != XFER_ABORT);
}

}  // namespace zorv
