// NVXnotify: tells the desktop how a job runner run ended. NVXbackup starts it at the
// beginning of a run, in a session of its own:
//   NVXnotify --watch PID --status STATUS_FILE
// It waits for the process PID to end, reads the run's status file and, when the run's
// wish calls for it (by default: failures and runs that did not finish), shows a desktop
// notification whose action opens the run's results in the wizard (NorrvaultBackup
// --results TYPE, started from this program's folder). It waits for the action a while
// and then ends. What it did is one line on standard output. Exit code 0, or 2 for a
// malformed command line; a missing bus or notification server is no failure.
#include <QCoreApplication>
#include <QProcess>
#include <QTimer>
#include <charconv>
#include <cstdio>
#include <string>
#include <thread>

#include "notifier/desktop_notification.h"
#include "notifier/notification.h"
#include "platform/file_system.h"
#include "platform/process_start.h"

namespace {

// How often the watched run is looked at, and how long a notification waits for its
// action.
constexpr int kWatchPollMillis = 250;
constexpr int kActionWaitMillis = 15 * 60 * 1000;
constexpr int kBusCheckMillis = 2000;

void Say(const std::string& text) {
  std::printf("NVXnotify: %s\n", text.c_str());
  std::fflush(stdout);
}

int Usage() {
  std::fprintf(stderr, "usage: NVXnotify --watch PID --status STATUS_FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  int64_t pid = 0;
  std::string status_path;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const std::string value = argv[i + 1];
    if (option == "--watch") {
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), pid);
      if (error != std::errc() || end != value.data() + value.size()) return Usage();
    } else if (option == "--status") {
      status_path = value;
    } else {
      return Usage();
    }
  }
  if (argc % 2 != 1 || pid <= 0 || status_path.empty()) return Usage();

  while (nvx::platform::ProcessIsRunning(pid)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kWatchPollMillis));
  }
  const std::optional<nvx::notifier::Notification> notification =
      nvx::notifier::NotificationFor(nvx::jobfiles::ReadRunStatusFile(status_path));
  if (!notification) {
    Say("no notification due for " + status_path);
    return 0;
  }
  nvx::notifier::DesktopNotification desktop;
  if (!desktop.connected()) {
    Say("no session bus: not shown: " + notification->summary);
    return 0;
  }
  QString reason;
  if (!desktop.Show(*notification, &reason)) {
    Say("no notification server (" + reason.toStdString() +
        "): not shown: " + notification->summary);
    return 0;
  }
  Say("notified: " + notification->summary);

  const std::string self = nvx::platform::ExecutablePath();
  const QString folder = QString::fromStdString(self.substr(0, self.rfind('/') + 1));
  QObject::connect(&desktop, &nvx::notifier::DesktopNotification::Invoked, &application,
                   [&application, &folder, &notification] {
                     const bool started = QProcess::startDetached(
                         folder + "NorrvaultBackup",
                         {"--results", QString::fromStdString(notification->results_type)}, folder);
                     Say(started ? "results shown" : "the wizard could not be started");
                     application.quit();
                   });
  QObject::connect(&desktop, &nvx::notifier::DesktopNotification::Closed, &application,
                   &QCoreApplication::quit);
  // A bus that went away (the session ended) brings no action any more.
  QTimer bus_check;
  QObject::connect(&bus_check, &QTimer::timeout, &application, [&desktop, &application] {
    if (!desktop.connected()) application.quit();
  });
  bus_check.start(kBusCheckMillis);
  QTimer::singleShot(kActionWaitMillis, &application, &QCoreApplication::quit);
  return application.exec();
}
