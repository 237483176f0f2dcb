#include "util/FormDesign.h"

#include <QWidget>

#include "util/FitText.h"

namespace zorv {

void PlaceDesign(QWidget* form, int clientWidth, int clientHeight, std::span<const TwipsPlacement> layout) {
    const double dpi = LogicalDpi(form);
    form->setFixedSize(TwipsToPixels(clientWidth, dpi), TwipsToPixels(clientHeight, dpi));
    for (const TwipsPlacement& p : layout) {
        QWidget* control = form->findChild<QWidget*>(p.name);
        PlaceInTwips(control, p.left, p.top, p.width, p.height, dpi);
        FitTextToWidth(control);
    }
}

}  // namespace zorv
