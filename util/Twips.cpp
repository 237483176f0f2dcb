#include "util/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace zorv {

int TwipsToPixels(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

int PixelsToTwips(int pixels, double dpi) { return static_cast<int>(std::lround(pixels * 1440.0 / dpi)); }

double LogicalDpi(const QWidget* widget) {
    const QScreen* screen = widget && widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

void PlaceInTwips(QWidget* widget, int left, int top, int width, int height, double dpi) {
    widget->setGeometry(TwipsToPixels(left, dpi), TwipsToPixels(top, dpi), TwipsToPixels(width, dpi),
                        TwipsToPixels(height, dpi));
}

}  // namespace zorv
