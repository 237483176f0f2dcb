// zorvdial USER PASSWORD FILE [VARIANT]: fetches FILE from the ZORV BBS.
#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "app/GetFileService.h"
#include "app/ZORVDialerForm.h"
#include "platform/comm/PortComm.h"
#include "platform/QtEventPump.h"
#include "platform/QtUiServices.h"
#include "platform/telephony/ModemTelephony.h"

namespace {

// Without a display there is nothing to show the window on; the program still runs,
// and its message boxes still reach standard error.
void ChooseOffscreenWithoutDisplay() {
    if (std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::fprintf(stderr, "zorvdial: no display found; running without a visible window\n");
}

}  // namespace

int main(int argc, char** argv) {
    // Taken before Qt reads its own options out of the arguments.
    const std::string arguments = zorv::ArgumentText(argc, argv);

    ChooseOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    app.setApplicationName("zorvdial");

    zorv::QtEventPump pump;
    zorv::SetPump(&pump);
    // On the offscreen platform nobody can answer a box: its text goes to standard
    // error and the program goes on.
    zorv::QtUiServices ui(QGuiApplication::platformName() != "offscreen");
    zorv::SetUi(&ui);

    // The window's serial comm control, with the design's settings.
    zorv::PortComm comm;
    comm.SetSettings("9600,N,8,1");
    // Made after the comm control, so it goes first and can still hang a call up on it.
    zorv::ModemTelephony telephony;
    zorv::ZORVDialerForm form(telephony, &comm);
    if (!form.Load(arguments)) return zorv::ZORVDialerForm::kExitUsage;

    zorv::GetFileService getFile(form);
    QString why;
    if (!getFile.Publish(QDBusConnection::sessionBus(), &why))
        std::fprintf(stderr, "zorvdial: GetFile is not published (%s)\n", why.toLocal8Bit().constData());

    // The status line goes to standard error as well, so an unattended run leaves a log.
    QObject::connect(&form, &zorv::ZORVDialerForm::StatusChanged, [](const QString& text) {
        std::fprintf(stderr, "zorvdial: %s\n", text.toLocal8Bit().constData());
    });

    form.show();
    const int status = app.exec();
    return status == 0 ? zorv::ZORVDialerForm::kExitClosed : status;
}
