#include "util/WindowPlacement.h"

#include <QApplication>
#include <QWidget>

#include "util/Numbers.h"
#include "util/Twips.h"
#include "util/UiServices.h"

namespace zorv {

namespace {

struct ScreenTwips {
    int width;
    int height;
    double dpi;
};

ScreenTwips ScreenInTwips() {
    const ScreenSize screen = Ui().Screen();
    const double dpi = screen.dpi > 0 ? screen.dpi : 96.0;
    return {PixelsToTwips(screen.width, dpi), PixelsToTwips(screen.height, dpi), dpi};
}

TwipRect OuterTwips(const QWidget* window, double dpi) {
    const QRect frame = window->frameGeometry();
    return {PixelsToTwips(frame.x(), dpi), PixelsToTwips(frame.y(), dpi), PixelsToTwips(frame.width(), dpi),
            PixelsToTwips(frame.height(), dpi)};
}

void MoveInTwips(QWidget* window, TwipPoint at, double dpi) {
    // move() places a top-level window by its frame, which is what Left and Top mean.
    window->move(TwipsToPixels(at.left, dpi), TwipsToPixels(at.top, dpi));
}

int HalfOf(double twips) { return static_cast<int>(RoundHalfEven(twips)) / 2; }

}  // namespace

TwipPoint CenteredPosition(int screenWidth, int screenHeight, int width, int height) {
    return {HalfOf(screenWidth - width), HalfOf(screenHeight - height)};
}

TwipPoint CascadedPosition(const TwipRect& activeOuter, int activeInnerWidth, int activeInnerHeight,
                           int width, int height, int screenWidth, int screenHeight) {
    const int border = static_cast<int>(RoundHalfEven((activeOuter.width - activeInnerWidth) / 2.0));
    const int offset = activeOuter.height - activeInnerHeight - border;  // title bar plus top border
    TwipPoint at{activeOuter.left + offset, activeOuter.top + offset};
    if (at.top + height > screenHeight || at.left + width > screenWidth) {
        at.top = offset + border;
        at.left = offset + border;
    }
    return at;
}

void CENTERWINDOW(QWidget* window) {
    if (!window) return;
    const ScreenTwips screen = ScreenInTwips();
    const TwipRect outer = OuterTwips(window, screen.dpi);
    MoveInTwips(window, CenteredPosition(screen.width, screen.height, outer.width, outer.height), screen.dpi);
}

void CASCADEWINDOW(QWidget* window) {
    if (!window) return;
    QWidget* active = QApplication::activeWindow();
    if (!active || active == window) return;
    const ScreenTwips screen = ScreenInTwips();
    const TwipRect activeOuter = OuterTwips(active, screen.dpi);
    const QRect inner = active->geometry();
    const TwipRect outer = OuterTwips(window, screen.dpi);
    MoveInTwips(window,
                CascadedPosition(activeOuter, PixelsToTwips(inner.width(), screen.dpi),
                                 PixelsToTwips(inner.height(), screen.dpi), outer.width, outer.height,
                                 screen.width, screen.height),
                screen.dpi);
}

}  // namespace zorv
