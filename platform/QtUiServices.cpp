#include "platform/QtUiServices.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>

namespace zorv {

namespace {

QMessageBox::StandardButtons ToQt(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
        case MsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
        case MsgButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MsgButtons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
        case MsgButtons::Ok: break;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToQt(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information: return QMessageBox::Information;
        case MsgIcon::Warning: return QMessageBox::Warning;
        case MsgIcon::Critical: return QMessageBox::Critical;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

MsgAnswer FromQt(int button) {
    switch (button) {
        case QMessageBox::Cancel: return MsgAnswer::Cancel;
        case QMessageBox::Yes: return MsgAnswer::Yes;
        case QMessageBox::No: return MsgAnswer::No;
        case QMessageBox::Retry: return MsgAnswer::Retry;
        default: return MsgAnswer::Ok;
    }
}

}  // namespace

MsgAnswer QtUiServices::MessageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                                   MsgIcon icon) {
    if (!interactive_) return FirstButton(buttons);
    QMessageBox box(ToQt(icon), QString::fromLatin1(title.c_str()), QString::fromLatin1(text.c_str()),
                    ToQt(buttons));
    box.setObjectName("MsgBox");
    // A box must be answerable while the wait pointer is up.
    if (waitPointer_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (waitPointer_) QApplication::restoreOverrideCursor();
    // Closing the box by its window button counts as Cancel where there is one.
    return FromQt(answer);
}

std::optional<std::string> QtUiServices::InputBox(const std::string& prompt, const std::string& title,
                                                  const std::string& defaultText) {
    if (!interactive_) return std::nullopt;
    bool ok = false;
    QString text = QInputDialog::getText(nullptr, QString::fromLatin1(title.c_str()),
                                         QString::fromLatin1(prompt.c_str()), QLineEdit::Normal,
                                         QString::fromLatin1(defaultText.c_str()), &ok);
    if (!ok) return std::nullopt;
    return text.toLatin1().toStdString();
}

void QtUiServices::Beep() { QApplication::beep(); }

void QtUiServices::SetWaitPointer(bool wait) {
    if (wait == waitPointer_) return;
    waitPointer_ = wait;
    if (wait) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

ScreenSize QtUiServices::Screen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QRect area = screen->geometry();
    return {area.width(), area.height(), screen->logicalDotsPerInch()};
}

}  // namespace zorv
