#pragma once
// Forms are designed in twips: 1440 to the inch, so 15 to a pixel at 96 dots per inch.
class QWidget;

namespace zorv {

int TwipsToPixels(int twips, double dpi);
int PixelsToTwips(int pixels, double dpi);

// Logical dots per inch of the screen `widget` shows on (96 when there is none).
double LogicalDpi(const QWidget* widget);

// One control of a form's design: its object name and its left, top, width and height
// in twips.
struct TwipsPlacement {
    const char* name;
    int left, top, width, height;
};

// Places `widget` at left, top, width, height given in twips.
void PlaceInTwips(QWidget* widget, int left, int top, int width, int height, double dpi);

}  // namespace zorv
