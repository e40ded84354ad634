// Desktop notifications: a message to the desktop's notification service
// (org.freedesktop.Notifications on the session bus). The call is never waited for and its answer
// never read: with no bus, or no service on it, nothing happens and nothing is shown.
#pragma once
#include <QString>

namespace DesktopNotifier {

// Sends one notification (title and text) and returns at once. False when no session bus could
// be reached (the message was not sent); a service that does not answer is not noticed.
bool Notify(const QString& summary, const QString& body);

}  // namespace DesktopNotifier
