#pragma once
// The progress window a transfer shows while XferStatusDialog is non-zero: file name,
// bytes done of the size, a bar, errors recovered, the status in words, and Cancel,
// which asks the transfer to stop (as XferStatus := 6 does).
#include <QWidget>
#include <functional>
#include <string>

#include "platform/zmodem/TransferSession.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace zorv {

class TransferProgressWindow : public QWidget {
public:
    explicit TransferProgressWindow(std::function<void()> cancel);

    // `title`: what runs, e.g. "ZMODEM receive".
    void Begin(const std::string& title);
    void Update(const TransferProgress& progress, int status);

    // The status in words, as the window shows it.
    static std::string StatusText(int status);

private:
    QLabel* file_;
    QLabel* bytes_;
    QLabel* status_;
    QLabel* errors_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

}  // namespace zorv
