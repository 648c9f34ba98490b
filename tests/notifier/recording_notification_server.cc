// A notification server for tests: owns org.freedesktop.Notifications on the session bus
// that DBUS_SESSION_BUS_ADDRESS names (a private dbus-daemon of the test) and writes each
// notification it is sent as one line "summary TAB body TAB actions" to the file named by
// its first argument. Each notification is answered a moment later: with its action
// "default" when the second argument is "--invoke", else by closing it, so that the
// notifier that sent it ends. Prints "ready" once the name is owned.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusError>
#include <QFile>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>

namespace {

class NotificationServer : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  NotificationServer(QObject* parent, QString record_file, bool invoke)
      : QDBusAbstractAdaptor(parent), record_file_(std::move(record_file)), invoke_(invoke) {
    setAutoRelaySignals(true);
  }

 public slots:
  uint Notify(const QString& app_name, uint replaces_id, const QString& app_icon,
              const QString& summary, const QString& body, const QStringList& actions,
              const QVariantMap& hints, int expire_timeout) {
    static_cast<void>(app_name);
    static_cast<void>(replaces_id);
    static_cast<void>(app_icon);
    static_cast<void>(hints);
    static_cast<void>(expire_timeout);
    QFile file(record_file_);
    if (file.open(QIODevice::Append)) {
      file.write(
          (summary + "\t" + QString(body).replace('\n', ' ') + "\t" + actions.join(",") + "\n")
              .toUtf8());
    }
    const uint id = ++last_id_;
    QTimer::singleShot(100, this, [this, id] {
      if (invoke_) {
        emit ActionInvoked(id, "default");
      } else {
        emit NotificationClosed(id, 2);
      }
    });
    return id;
  }
  QStringList GetCapabilities() { return {"actions", "body"}; }
  void CloseNotification(uint id) { emit NotificationClosed(id, 3); }

 signals:
  void ActionInvoked(uint id, const QString& action_key);
  void NotificationClosed(uint id, uint reason);

 private:
  QString record_file_;
  bool invoke_;
  uint last_id_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: recording_notification_server RECORD_FILE [--invoke]\n");
    return 2;
  }
  QObject root;
  new NotificationServer(&root, QString::fromLocal8Bit(argv[1]),
                         argc > 2 && QString(argv[2]) == "--invoke");
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerObject("/org/freedesktop/Notifications", &root) ||
      !bus.registerService("org.freedesktop.Notifications")) {
    std::fprintf(stderr, "cannot own org.freedesktop.Notifications: %s\n",
                 qPrintable(bus.lastError().message()));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  return application.exec();
}

#include "recording_notification_server.moc"
