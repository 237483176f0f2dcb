// zorvdial USER PASSWORD FILE [VARIANT]: fetches FILE from the ZORV BBS.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "app/ZORVDialerForm.h"
#include "platform/PortListTelephony.h"
#include "platform/QtEventPump.h"
#include "platform/QtUiServices.h"

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
    zorv::QtUiServices ui;
    zorv::SetUi(&ui);

    zorv::PortListTelephony telephony;
    zorv::ZORVDialerForm form(telephony, nullptr);
    if (!form.Load(arguments)) return zorv::ZORVDialerForm::kExitUsage;
    form.show();
    return app.exec();
}
