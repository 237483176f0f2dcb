#pragma once
// What the telephony dialogs share: named controls and their OK / Cancel row.
class QDialog;
class QHBoxLayout;

namespace zorv {

// Gives `widget` its object name (tests find controls by it) and returns it.
template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

// OK (the default button, "CmdOK") and Cancel ("CmdCancel") at the right, wired to the
// dialog's accept and reject.
QHBoxLayout* OkCancelRow(QDialog* dialog);

}  // namespace zorv
