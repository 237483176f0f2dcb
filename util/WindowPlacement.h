#pragma once
// Placing the library's windows on the screen: centred, or cascaded one title bar below
// and to the right of the window that is active. Positions are worked out in twips,
// like the forms' design sizes; the screen size comes from Ui().Screen().
class QWidget;

namespace zorv {

struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct TwipPoint {
    int left = 0;
    int top = 0;
};

// Where a window of the given outer size goes to stand in the middle of the screen.
TwipPoint CenteredPosition(int screenWidth, int screenHeight, int width, int height);

// Where a window of the given outer size goes when cascaded from the active window,
// given that window's outer frame and its inner (client) size. A cascaded window that
// would reach past the screen's right or bottom edge goes to the top left instead,
// offset by one title bar and border.
TwipPoint CascadedPosition(const TwipRect& activeOuter, int activeInnerWidth, int activeInnerHeight,
                           int width, int height, int screenWidth, int screenHeight);

void CENTERWINDOW(QWidget* window);
// Without an active window (or when `window` is the active one) the window stays
// where it is: there is nothing to cascade from.
void CASCADEWINDOW(QWidget* window);

}  // namespace zorv
