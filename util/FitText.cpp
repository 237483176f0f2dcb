#include "util/FitText.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

namespace zorv {

namespace {
constexpr double kSmallestPointSize = 6.0;
constexpr int kButtonPadding = 6;  // room for the button's frame on each side
}  // namespace

void FitTextToWidth(QWidget* widget) {
    QString text;
    int padding = 0;
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        text = label->text();
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        text = button->text();
        padding = 2 * kButtonPadding;
    } else {
        return;
    }
    const QFont designed = widget->parentWidget() ? widget->parentWidget()->font() : widget->font();
    QFont font = designed;
    while (font.pointSizeF() > kSmallestPointSize &&
           QFontMetrics(font).horizontalAdvance(text) + padding > widget->width())
        font.setPointSizeF(font.pointSizeF() - 0.5);
    widget->setFont(font);
}

}  // namespace zorv
