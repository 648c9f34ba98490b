#include "notifier/desktop_notification.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QVariantMap>

#include "platform/process.h"
#include "platform/process_start.h"

namespace nvx::notifier {
namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr char kAction[] = "default";
constexpr char kBusName[] = "nvx-notify-bus";

QDBusConnection ConnectSessionBus() {
  if (platform::EnvironmentValue("DBUS_SESSION_BUS_ADDRESS")) {
    return QDBusConnection::sessionBus();
  }
  // A run started by cron has no bus address in its environment: the user's bus is at the
  // usual place of a desktop session.
  const std::optional<std::string> runtime = platform::EnvironmentValue("XDG_RUNTIME_DIR");
  const QString folder = runtime ? QString::fromStdString(*runtime)
                                 : "/run/user/" + QString::number(platform::CurrentUserId());
  const QString socket = folder + "/bus";
  if (!QFileInfo::exists(socket)) return QDBusConnection(kBusName);
  return QDBusConnection::connectToBus("unix:path=" + socket, kBusName);
}

}  // namespace

DesktopNotification::DesktopNotification() : bus_(ConnectSessionBus()) {
  if (!bus_.isConnected()) return;
  bus_.connect(kService, kPath, kInterface, "ActionInvoked", this,
               SLOT(OnActionInvoked(uint, QString)));
  bus_.connect(kService, kPath, kInterface, "NotificationClosed", this,
               SLOT(OnNotificationClosed(uint, uint)));
}

bool DesktopNotification::Show(const Notification& notification, QString* reason) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
  QVariantMap hints;
  // Urgency: 1 normal, 2 critical (a failure stays until it is seen).
  hints.insert("urgency", QVariant::fromValue<uchar>(notification.failure ? 2 : 1));
  hints.insert("desktop-entry", QString("norrvault-backup"));
  call << QString("Norrvault Backup") << uint(0) << QString("norrvault-backup")
       << QString::fromStdString(notification.summary) << QString::fromStdString(notification.body)
       << QStringList{kAction, "Show results"} << hints << int(-1);
  const QDBusReply<uint> reply = bus_.call(call);
  if (!reply.isValid()) {
    *reason = reply.error().message();
    return false;
  }
  id_ = reply.value();
  return true;
}

void DesktopNotification::OnActionInvoked(uint id, const QString& action) {
  if (id == id_ && action == kAction) emit Invoked();
}

void DesktopNotification::OnNotificationClosed(uint id, uint) {
  if (id == id_) emit Closed();
}

}  // namespace nvx::notifier
