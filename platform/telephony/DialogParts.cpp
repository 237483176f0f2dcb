#include "platform/telephony/DialogParts.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace zorv {

QHBoxLayout* OkCancelRow(QDialog* dialog) {
    auto* ok = Named(new QPushButton("OK"), "CmdOK");
    auto* cancel = Named(new QPushButton("Cancel"), "CmdCancel");
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    return buttons;
}

}  // namespace zorv
