#include "gui/app/notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace DesktopNotifier {

bool Notify(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
                                       QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
    // service's own).
    call << QStringLiteral("Pyxet") << 0u << QStringLiteral("pyxet") << summary << body << QStringList() << QVariantMap()
         << -1;
    // Not waited for: the bus drops the answer (or the error of a bus without the service).
    call.setAutoStartService(false);
    bus.asyncCall(call);
    return true;
}

}  // namespace DesktopNotifier
