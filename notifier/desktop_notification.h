// Desktop notifications through org.freedesktop.Notifications on the user's session bus:
// one notification with the action "default" ("Show results"), and the answer to it.
// The bus is the one the environment names (DBUS_SESSION_BUS_ADDRESS), else the user's
// bus at $XDG_RUNTIME_DIR/bus or /run/user/<uid>/bus, which is how a run that cron started
// reaches the desktop. Without a bus or a notification server nothing is shown and
// nothing fails. GUI (main) thread of a QCoreApplication.
#ifndef NVX_NOTIFIER_DESKTOP_NOTIFICATION_H_
#define NVX_NOTIFIER_DESKTOP_NOTIFICATION_H_

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include "notifier/notification.h"

namespace nvx::notifier {

class DesktopNotification : public QObject {
  Q_OBJECT

 public:
  // Connects to the session bus; `connected()` tells whether it worked.
  DesktopNotification();

  bool connected() const { return bus_.isConnected(); }
  // Shows `notification`. False, with the reason, when the server could not be reached.
  bool Show(const Notification& notification, QString* reason);

 signals:
  // The user clicked the notification or chose its action.
  void Invoked();
  // The notification was closed without its action.
  void Closed();

 private slots:
  void OnActionInvoked(uint id, const QString& action);
  void OnNotificationClosed(uint id, uint reason);

 private:
  QDBusConnection bus_;
  uint id_ = 0;
};

}  // namespace nvx::notifier

#endif  // NVX_NOTIFIER_DESKTOP_NOTIFICATION_H_
