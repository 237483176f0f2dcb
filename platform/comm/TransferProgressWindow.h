#pragma once
// The progress window a transfer shows while XferStatusDialog is non-zero: file name,
// size, bytes done, rate, time left, a bar, errors recovered, the status in words, and
// Cancel, which asks the transfer to stop (as XferStatus := 6 does).
#include <QElapsedTimer>
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
    // Rate and time left are measured on the window's own clock from Begin on.
    void Update(const TransferProgress& progress, int status);
    // The same with the time given (seconds since Begin), for a caller with its own clock.
    void Update(const TransferProgress& progress, int status, double seconds);

    // The status in words, as the window shows it.
    static std::string StatusText(int status);
    // "0:07", "12:34", "1:02:03".
    static std::string DurationText(double seconds);

private:
    void ShowFileName(const std::string& name);

    QLabel* file_;
    QLabel* size_;
    QLabel* bytes_;
    QLabel* rate_;
    QLabel* timeLeft_;
    QLabel* errors_;
    QLabel* status_;
    QProgressBar* bar_;
    QPushButton* cancel_;

    QElapsedTimer clock_;
    std::string fileName_;
    // Where the rate of the current file is measured from: the first report of it.
    double rateFromSeconds_ = -1;
    int64_t rateFromBytes_ = 0;
};

}  // namespace zorv
