#pragma once
// Publishes the main window's GetFile on the D-Bus session bus, so other programs can
// hand it a user, password and file and have it shown for the download:
//   service      ZORVDialer.ZORVDialerForm
//   object path  /ZORVDialer/ZORVDialerForm
//   interface    ZORVDialer.ZORVDialerForm
//   method       GetFile(v strUser, v strPassword, s strFile)
// The user and password may be any value (numbers arrive as their decimal text). The
// call returns when the window is hidden or closed again; called while the window is
// showing, it fails with the error ZORVDialer.Error.AlreadyShown after the login script
// has been rewritten.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>

namespace zorv {

class ZORVDialerForm;

class GetFileService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "ZORVDialer.ZORVDialerForm")

public:
    static constexpr const char* kService = "ZORVDialer.ZORVDialerForm";
    static constexpr const char* kObjectPath = "/ZORVDialer/ZORVDialerForm";
    static constexpr const char* kAlreadyShownError = "ZORVDialer.Error.AlreadyShown";

    explicit GetFileService(ZORVDialerForm& form);

    // Registers the object and the service name on `bus`. Returns false, with the
    // reason in `why`, when the bus is not there or the name is taken.
    bool Publish(QDBusConnection bus, QString* why = nullptr);

public slots:
    void GetFile(const QDBusVariant& strUser, const QDBusVariant& strPassword, const QString& strFile,
                 const QDBusMessage& message);

private:
    ZORVDialerForm& form_;
    QDBusConnection bus_{QString()};
};

// Text of a value handed in over the bus: numbers in decimal, texts as they are.
std::string VariantText(const QVariant& value);

}  // namespace zorv
