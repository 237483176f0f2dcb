#pragma once
// Forms keep their designed sizes in twips, but the desktop's font may run wider than
// the one they were drawn with. A caption that would not fit its control is drawn in
// a smaller size of the same font, down to a readable minimum.
class QWidget;

namespace zorv {

// For a QLabel or QPushButton: the largest font size up to the form's own that lets
// the whole text fit the control's width.
void FitTextToWidth(QWidget* widget);

}  // namespace zorv
