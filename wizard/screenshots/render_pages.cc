// Renders every page of the wizard, and each tab of MenuFull, into PNG files, filled
// with a sample state: a made-up home folder, Outlook files under a made-up Wine drive C,
// a complete configuration, a backup in progress, and the last backup and restore test. Run
// offscreen (QT_QPA_PLATFORM=offscreen):
//   wizard_screenshots OUTPUT_FOLDER
// The sample files live in a temporary folder that is removed at the end.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <chrono>
#include <cstdio>
#include <thread>

#include "wizard/core/backup_schedule.h"
#include "wizard/core/config_sections.h"
#include "wizard/core/job_file.h"
#include "wizard/core/restore_test_job.h"
#include "wizard/core/run_watch.h"
#include "wizard/desktop/recording_desktop.h"
#include "wizard/forms/add_folder_confirm.h"
#include "wizard/forms/choose_type_page.h"
#include "wizard/forms/desktop_page.h"
#include "wizard/forms/favorites_page.h"
#include "wizard/forms/file_dialog_page.h"
#include "wizard/forms/log_level_page.h"
#include "wizard/forms/login_check.h"
#include "wizard/forms/login_page.h"
#include "wizard/forms/menu_page.h"
#include "wizard/forms/my_documents_page.h"
#include "wizard/forms/new_version_page.h"
#include "wizard/forms/outlook_page.h"
#include "wizard/forms/results_page.h"
#include "wizard/forms/running_page.h"
#include "wizard/forms/schedule_task_page.h"
#include "wizard/forms/splash_page.h"

namespace nvx::wizard {
namespace {

constexpr qint64 kMegabyte = 1048576;

// A file of `bytes` bytes (sparse, so that large sizes cost nothing).
void MakeFile(const QString& path, qint64 bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.resize(bytes);
}

void MakeSampleHome(const QString& home, const QString& drive_c) {
  MakeFile(home + "/Documents/Budget 2026.ods", 2 * kMegabyte / 3);
  MakeFile(home + "/Documents/Letters/To the bank.odt", 180000);
  MakeFile(home + "/Documents/Taxes/Return 2025.pdf", 3 * kMegabyte);
  MakeFile(home + "/Documents/Photo Albums/Summer/beach.jpg", 48 * kMegabyte);
  MakeFile(home + "/Documents/My Music/song.ogg", 712 * kMegabyte);
  MakeFile(home + "/Documents/My Pictures/cat.png", 95 * kMegabyte);
  MakeFile(home + "/Favorites/News.url", 120);
  MakeFile(home + "/Desktop/todo.txt", 2048);
  MakeFile(home + "/Desktop/Recipes/bread.txt", 5000);
  MakeFile(home + "/Desktop/Projects/plan.odt", 12 * kMegabyte);
  QString outlook = drive_c + "/Documents and Settings/alice/Application Data/Microsoft/Outlook/";
  MakeFile(outlook + "outlook.pst", 240 * kMegabyte);
  MakeFile(outlook + "archive.pst", 1300 * kMegabyte);
}

void WriteSampleConfig(WizardState state) {
  state.login_id = "alice";
  state.password = "[4D1A99C2]";
  state.notify_user = true;
  QStringList lines = HeaderLines(state);
  lines += MyDocumentsLines(state, true, {"My Music", "My Pictures"});
  lines += FavoritesLines(state, true);
  lines += DesktopLines(state, true, {"Projects"});
  lines += OutlookFileLines(state, "outlook.pst", "outlook.pst");
  lines += OtherFolderLines(state, "/srv/shared/Invoices", true);
  lines += IndividualFileLines(state, "/etc/hosts");
  lines += TailLines(state);
  QString error;
  if (!WriteJobFile(state.app_folder + "/config.txt", lines, &error)) {
    std::fprintf(stderr, "cannot write the sample config.txt: %s\n", qPrintable(error));
  }
  QFile results(state.app_folder + "/Logs/Backup Results.txt");
  QDir().mkpath(state.app_folder + "/Logs");
  if (results.open(QIODevice::WriteOnly)) {
    results.write(
        "Online Backup Results for ALICE: No Errors\r\n\r\n"
        "Files Checked: 1,204   Files Sent: 17   Bytes Sent: 48,213,004\r\n"
        "Folders verified: \\Backup\\My Documents, \\Backup\\Desktop, \\Backup\\Outlook\r\n");
  }
}

// A run status in the logs folder, as NVXbackup writes it.
void WriteSampleStatus(const WizardState& state, const QString& results_type,
                       const jobfiles::RunStatus& status) {
  QDir().mkpath(state.app_folder + "/Logs");
  if (!jobfiles::WriteRunStatusFile(
          QFile::encodeName(RunStatusPath(state.app_folder, results_type)).toStdString(), status)) {
    std::fprintf(stderr, "cannot write the sample %s status\n", qPrintable(results_type));
  }
}

// A backup halfway through a large file, run by this very process so that it shows as
// running.
jobfiles::RunStatus RunningBackup() {
  const int64_t now = QDateTime::currentSecsSinceEpoch();
  jobfiles::RunStatus status;
  status.state = jobfiles::RunState::kRunning;
  status.pid = QCoreApplication::applicationPid();
  status.results_type = kBackupResultsType;
  status.started = now - 95;
  status.updated = now;
  status.job = 2;
  status.jobs = 6;
  status.phase = "upload";
  status.files_done = 12;
  status.files_total = 31;
  status.bytes_done = 203 * kMegabyte;
  status.bytes_total = 512 * kMegabyte;
  status.rate = 2 * kMegabyte + kMegabyte / 3;
  status.seconds_left = 132;
  status.current_file = "/home/alice/Documents/Photo Albums/Summer/beach.jpg";
  return status;
}

// A run of `results_type` that ended `hours_ago` with `exit_code`.
jobfiles::RunStatus EndedRun(const char* results_type, int hours_ago, int exit_code,
                             const std::string& subject) {
  const int64_t ended = QDateTime::currentSecsSinceEpoch() - hours_ago * 3600;
  jobfiles::RunStatus status;
  status.state = jobfiles::RunState::kFinished;
  status.results_type = results_type;
  status.started = ended - 300;
  status.updated = ended;
  status.ended = ended;
  status.exit_code = exit_code;
  status.report = true;
  status.subject = subject;
  if (exit_code == 0) status.last_success = status.started;
  return status;
}

class Renderer {
 public:
  explicit Renderer(const QString& output) : output_(output) {}

  void Save(QWidget* page, const QString& name) {
    page->show();
    page->adjustSize();
    QApplication::processEvents();
    QString path = output_ + "/" + name + ".png";
    if (!page->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    page->hide();
    ++count_;
  }
  int count() const { return count_; }

 private:
  QString output_;
  int count_ = 0;
};

int Render(const QString& output) {
  QTemporaryDir temp;
  if (!temp.isValid() || !QDir().mkpath(output)) return 1;
  QString home = temp.path() + "/home";
  QString drive_c = temp.path() + "/drive_c";
  MakeSampleHome(home, drive_c);

  WizardState state;
  state.app_folder = temp.path() + "/app";
  QDir().mkpath(state.app_folder);
  state.os_name = "Linux 6.1.0";
  state.user_name = "alice";
  state.my_documents_folder = home + "/Documents/";
  state.favorites_folder = home + "/Favorites/";
  state.desktop_folder = home + "/Desktop/";
  state.notify_user = true;
  state.login_id = "alice";
  state.password = "secret";
  RecordingDesktop desktop;
  BackupConfigWriter config(state);
  WizardContext context{state, desktop, config, [](const LoginRequest&, QString*) { return 1; }};
  Renderer renderer(output);

  SplashPage splash;
  renderer.Save(&splash, "splash");
  LoginPage login(context);
  renderer.Save(&login, "Login");
  {
    // The login check while it waits for the service (a check that takes its time).
    WizardContext slow{state, desktop, config, [](const LoginRequest&, QString*) {
                         std::this_thread::sleep_for(std::chrono::seconds(1));
                         return 1;
                       }};
    LoginPage checking(slow);
    checking.findChild<QLineEdit*>("NVX_ID")->setText("alice");
    checking.findChild<QLineEdit*>("NVX_password")->setText("secret");
    checking.findChild<QPushButton*>("Login")->click();
    renderer.Save(&checking, "Login-Checking");
    while (LoginChecksInFlight() > 0) {
      QApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ChooseTypePage choose(context);
  choose.findChild<QCheckBox*>("TypeBackup")->setChecked(true);
  renderer.Save(&choose, "ChooseType");
  MyDocumentsPage documents(context);
  documents.Load();
  renderer.Save(&documents, "mydocuments");
  state.total = 52 * kMegabyte;
  FavoritesPage favorites(context);
  favorites.Load();
  renderer.Save(&favorites, "Favorites");
  DesktopPage desktop_page(context);
  desktop_page.Load();
  renderer.Save(&desktop_page, "desktop");
  OutlookPage outlook(context, drive_c);
  outlook.Load();
  renderer.Save(&outlook, "Outlook");
  state.total = 1364 * kMegabyte;
  FileDialogPage files(context);
  renderer.Save(&files, "FileDialog");
  AddFolderConfirm confirm(
      "Space required to backup /srv/shared/Invoices\r\n\r\n         Not including "
      "subfolders: 3.2 Megabytes\r\n\r\n         Including subfolders: 41.7 Megabytes");
  renderer.Save(&confirm, "AddFolderConfirm");
  WriteSampleStatus(state, kBackupResultsType, RunningBackup());
  RunningPage running(RunningBackupTexts(false, JobLaunch{}), state.app_folder, true);
  running.Load();
  renderer.Save(&running, "Running");
  RunningPage restore(RestoreRunningTexts(JobLaunch{}), state.app_folder, false);
  restore.Load();
  renderer.Save(&restore, "RunningRestore");
  ScheduleTaskPage schedule(context);
  schedule.findChild<QCheckBox*>("CheckWeekly")->setChecked(true);
  renderer.Save(&schedule, "scheduletask");
  NewVersionPage new_version(desktop, "http://www.norrvault.com/Norrvault_Backup_Update1.html");
  renderer.Save(&new_version, "NewVersion");

  WriteSampleConfig(state);
  QString error;
  if (!WriteScheduleFile(state.app_folder, "sun", "1200", &error)) {
    std::fprintf(stderr, "cannot write the sample schedule: %s\n", qPrintable(error));
  }
  WriteSampleStatus(
      state, kBackupResultsType,
      EndedRun(kBackupResultsType, 3, 0, "Online Backup Results for ALICE: No Errors"));
  WriteSampleStatus(
      state, kRestoreTestResultsType,
      EndedRun(kRestoreTestResultsType, 50, 0, "Restore test passed: 5 files, 4.2 MB"));
  MenuPage menu(context);
  menu.Load();
  auto* tabs = menu.findChild<QTabWidget*>("Tabs");
  const char* tab_names[] = {"MenuFull-Backup", "MenuFull-Restore", "MenuFull-Schedule",
                             "MenuFull-IDPassword", "MenuFull-Advanced"};
  for (int index = 0; index < tabs->count(); ++index) {
    tabs->setCurrentIndex(index);
    renderer.Save(&menu, tab_names[index]);
  }
  // The Advanced tab while a component is being fetched.
  tabs->setCurrentIndex(tabs->count() - 1);
  menu.findChild<QLabel*>("DownloadStatus")->setText("Downloading Debug Version of libnvxapi.so");
  renderer.Save(&menu, "MenuFull-Advanced-Downloading");
  ResultsPage results(state.app_folder, kBackupResultsType);
  results.Load();
  renderer.Save(&results, "Results");
  LogLevelPage log_level(context);
  renderer.Save(&log_level, "LogLevelfrm");
  std::printf("%d pictures in %s\n", renderer.count(), qPrintable(output));
  return 0;
}

}  // namespace
}  // namespace nvx::wizard

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: wizard_screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  return nvx::wizard::Render(QString::fromLocal8Bit(argv[1]));
}
