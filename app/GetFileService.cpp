#include "app/GetFileService.h"

#include "app/ZORVDialerForm.h"
#include "util/Error.h"
#include "util/QtText.h"

namespace zorv {

std::string VariantText(const QVariant& value) { return FromQString(value.toString()); }

GetFileService::GetFileService(ZORVDialerForm& form) : form_(form) {}

bool GetFileService::Publish(QDBusConnection bus, QString* why) {
    if (!bus.isConnected()) {
        if (why) *why = "no D-Bus session bus";
        return false;
    }
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAllSlots)) {
        if (why) *why = "the object path is taken";
        return false;
    }
    if (!bus.registerService(kService)) {
        bus.unregisterObject(kObjectPath);
        if (why) *why = bus.lastError().message();
        return false;
    }
    bus_ = bus;
    return true;
}

void GetFileService::GetFile(const QDBusVariant& strUser, const QDBusVariant& strPassword, const QString& strFile,
                             const QDBusMessage& message) {
    message.setDelayedReply(true);
    QDBusConnection bus = bus_;
    try {
        form_.BeginGetFile(VariantText(strUser.variant()), VariantText(strPassword.variant()), FromQString(strFile),
                           [bus, message]() mutable { bus.send(message.createReply()); });
    } catch (const Error& error) {
        bus.send(message.createErrorReply(kAlreadyShownError, ToQString(error.description())));
    } catch (const std::exception& error) {
        bus.send(message.createErrorReply(QDBusError::Failed, QString::fromLocal8Bit(error.what())));
    }
}

}  // namespace zorv
