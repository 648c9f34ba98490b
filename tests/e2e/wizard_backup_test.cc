// The wizard against the real system: driven offscreen with its desktop answered by the
// test, it checks the login through libnvxapib.so against a real nvxserver, writes
// config.txt and starts NVXbackup, which the test then lets run: the run against the
// same server ends with exit code 0 and leaves the server folders of the configuration.
// The weekly schedule it sets reaches a crontab through the real NVXscheduledBackup. A
// large backup shows its progress on the Running page while it runs, and a run killed in
// the middle shows as not finished there, in the results and on the menu. A service over
// TLS with a certificate of an unknown authority is refused until the authority is named.
#include <signal.h>

#include <filesystem>
#include <thread>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include "jobfiles/run_status_file.h"
#include "tests/e2e/backup_fixture.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/support/cutting_relay.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/os_helpers.h"
#include "wizard/core/config_sections.h"
#include "wizard/core/job_file.h"
#include "wizard/core/login_library.h"
#include "wizard/desktop/recording_desktop.h"
#include "wizard/forms/login_check.h"
#include "wizard/forms/results_page.h"
#include "wizard/forms/running_page.h"
#include "wizard/forms/start_up.h"

namespace nvx::test {
namespace {

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "e2e_wizard_backup_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
}

std::string InstallFolder() {
  const char* build = std::getenv("NVX_BUILD_DIR");
  return std::string(build != nullptr ? build : ".") + "/bin";
}

class WizardBackupTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    EnsureApplication();
    // The install folder as the wizard finds it: the programs side by side.
    MakeFolder(app_);
    for (const char* file : {"NVXbackup", "libnvxapi.so", "libnvxapib.so", "NVXscheduledBackup"}) {
      std::filesystem::copy_file(InstallFolder() + "/" + file, app_ + "/" + file);
    }
    for (const std::string& folder : {temp_.File("home"), documents_, temp_.File("home/Favorites"),
                                      temp_.File("home/Desktop")}) {
      MakeFolder(folder);
    }
    // The login check inside this process reaches the test's server.
    setenv("NVX_SERVER", server_address().c_str(), 1);
    setenv("NVX_CONNECT_PAUSE_MS", "0", 1);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    state_.app_folder = QString::fromStdString(app_);
    // The test's nvxserver speaks plain HTTP: the Login page offers it unticked.
    state_.server = wizard::kPlainDefaultServers;
    state_.os_name = "Linux";
    state_.user_name = "alice";
    state_.my_documents_folder = QString::fromStdString(documents_ + "/");
    state_.favorites_folder = QString::fromStdString(temp_.File("home/Favorites/"));
    state_.desktop_folder = QString::fromStdString(temp_.File("home/Desktop/"));
  }

  void TearDown() override {
    start_up_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The server goes before the bus, and the notifiers of the runs end with the bus.
    notification_server_.reset();
    bus_.reset();
  }

  // A private session bus with a recording notification server, and the desktop notifier
  // in the install folder: the runs tell this bus how they ended. With `invoke` the server
  // answers each notification with its action, which opens the results in the wizard (a
  // stand-in that notes its arguments).
  void ListenForNotifications(bool invoke) {
    ASSERT_TRUE(PathExists("/usr/bin/dbus-daemon")) << "install dbus-daemon";
    bus_ = std::make_unique<ChildProcess>(
        "/usr/bin/dbus-daemon",
        ChildProcess::Options{{"--session", "--nofork", "--print-address=1"}, {}, {}});
    ASSERT_TRUE(bus_->WaitForOutput("\n", std::chrono::seconds(10))) << bus_->err();
    bus_address_ = bus_->out().substr(0, bus_->out().find('\n'));
    std::vector<std::string> arguments{notifications_};
    if (invoke) arguments.push_back("--invoke");
    notification_server_ = std::make_unique<ChildProcess>(
        NVX_RECORDING_NOTIFICATION_SERVER,
        ChildProcess::Options{arguments, {"DBUS_SESSION_BUS_ADDRESS=" + bus_address_}, {}});
    ASSERT_TRUE(notification_server_->WaitForOutput("ready", std::chrono::seconds(10)))
        << notification_server_->err();
    std::filesystem::copy_file(InstallFolder() + "/NVXnotify", app_ + "/NVXnotify");
    WriteFileText(app_ + "/NorrvaultBackup", "#!/bin/sh\necho \"$@\" >>wizard-started.txt\n");
    SetPermissions(app_ + "/NorrvaultBackup", 0700);
  }

  // What the notifier of the last run said it did, once it has decided (at most 10 s).
  std::string NotifierSaid(const std::string& what) {
    const std::string said = app_ + "/Logs/NVXnotify.out";
    for (int i = 0; i < 500; ++i) {
      if (PathExists(said) && ReadFileText(said).find(what) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return PathExists(said) ? ReadFileText(said) : std::string();
  }
  std::string Notifications() {
    return PathExists(notifications_) ? ReadFileText(notifications_) : std::string();
  }

  std::string server_address() const { return "127.0.0.1:" + std::to_string(server_->port()); }

  void StartWizard() {
    start_up_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    auto login = [this](const wizard::LoginRequest& request,
                        QString* reason) -> std::optional<int> {
      if (!library_.Load(state_.app_folder, reason)) return std::nullopt;
      return library_.Check(request);
    };
    start_up_ = std::make_unique<wizard::StartUp>(state_, desktop_, login,
                                                  QString::fromStdString(temp_.File("drive_c")));
    start_up_->Start();
  }

  // A complete config.txt of My Documents, sent without compression, as the menu reads it.
  // `transfers` replaces the number of connections the wizard writes: the blocks of a
  // file in hand are shown only for a file sent on the run's own connection.
  void WriteConfiguration(int transfers = 0) {
    wizard::WizardState state = state_;
    state.login_id = "alice";
    state.password = "wonderland";
    QStringList lines = wizard::HeaderLines(state);
    lines += wizard::MyDocumentsLines(state, true, {});
    lines += wizard::TailLines(state);
    lines.removeAll("TransferCompress Y");
    if (transfers > 0) {
      lines.replaceInStrings(QRegularExpression("^Transfers \\d+$"),
                             QString("Transfers %1").arg(transfers));
    }
    QString error;
    ASSERT_TRUE(wizard::WriteJobFile(QString::fromStdString(app_ + "/config.txt"), lines, &error))
        << error.toStdString();
  }

  template <typename Widget = QWidget>
  Widget* Find(const char* name) {
    wizard::Page* page = start_up_->current_page();
    EXPECT_NE(page, nullptr) << desktop_.messages().join(" | ").toStdString();
    if (page == nullptr) return nullptr;
    auto* widget = page->findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << page->objectName().toStdString() << " has no " << name;
    return widget;
  }
  void Click(const char* name) {
    if (auto* button = Find<QPushButton>(name)) button->click();
  }
  // Clicks the page's Login button and lets the check it starts run to its end.
  void LogIn() {
    Click("Login");
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30000) {
      auto* panel = start_up_->current_page()
                        ? start_up_->current_page()->findChild<wizard::LoginCheckPanel*>()
                        : nullptr;
      if (panel == nullptr || !panel->running()) break;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  void Type(const char* name, const char* text) {
    if (auto* edit = Find<QLineEdit>(name)) edit->setText(text);
  }
  QString Text(const char* name) {
    auto* label = Find<QLabel>(name);
    return label ? label->text() : QString();
  }
  QString PageName() {
    return start_up_->current_page() ? start_up_->current_page()->objectName() : QString();
  }

  // How the started program is run here, as the desktop would have run it.
  ChildProcess::Options OptionsOf(const wizard::ProgramStart& start) {
    ChildProcess::Options options;
    options.args = std::vector<std::string>(start.arguments.size());
    for (qsizetype i = 0; i < start.arguments.size(); ++i) {
      options.args[i] = start.arguments[i].toStdString();
    }
    options.working_directory = start.working_folder.toStdString();
    options.env = {"XDG_RUNTIME_DIR=" + runtime_, "NVX_SERVER=" + server_address(),
                   "NVX_CONNECT_PAUSE_MS=0", "DBUS_SESSION_BUS_ADDRESS=" + bus_address_};
    return options;
  }

  std::string app_ = temp_.File("install");
  std::string documents_ = temp_.File("home/Documents");
  wizard::WizardState state_;
  wizard::LoginLibrary library_;
  wizard::RecordingDesktop desktop_;
  std::unique_ptr<wizard::StartUp> start_up_;
  std::unique_ptr<ChildProcess> bus_;
  std::string bus_address_ = "unix:path=" + temp_.File("no-bus");
  std::unique_ptr<ChildProcess> notification_server_;
  std::string notifications_ = temp_.File("notifications.txt");
};

TEST_F(WizardBackupTest, LoginConfigurationAndTheStartedBackupRunAgainstNvxserver) {
  WriteFileText(documents_ + "/letter.txt", "Dear service,\n");
  ListenForNotifications(false);
  StartWizard();

  ASSERT_EQ(PageName(), "splash");
  Click("Continue");
  ASSERT_EQ(PageName(), "Login");
  Type("NVX_ID", "alice");
  Type("NVX_password", "not-the-password");
  LogIn();
  ASSERT_EQ(PageName(), "Login");
  EXPECT_EQ(desktop_.messages(), QStringList{"Password invalid, please try again"});
  Type("NVX_password", "wonderland");
  LogIn();
  ASSERT_EQ(PageName(), "ChooseType") << desktop_.messages().join(" | ").toStdString();
  Click("Continue");
  ASSERT_EQ(PageName(), "mydocuments");
  Click("Continue");
  ASSERT_EQ(PageName(), "FileDialog");
  Click("continue");
  ASSERT_EQ(PageName(), "Running") << desktop_.messages().join(" | ").toStdString();
  // Without a terminal window the page says where the progress is, not "separate window".
  EXPECT_FALSE(Text("SubHead").contains("separate window")) << Text("SubHead").toStdString();
  Click("OKButton");
  // The last page: a weekly backup on Sundays at noon.
  ASSERT_EQ(PageName(), "scheduletask");
  Find<QCheckBox>("CheckWeekly")->setChecked(true);
  Find<QComboBox>("DayOfWeek")->setCurrentText("Sunday");
  Find<QComboBox>("DailyTime")->setCurrentText("Noon");
  Click("Continue");
  EXPECT_TRUE(start_up_->ended());

  std::string config = ReadFileText(app_ + "/config.txt");
  EXPECT_NE(config.find("NVXuser alice\r\n"), std::string::npos);
  EXPECT_NE(config.find("#END config file for backup\r\n"), std::string::npos);
  ASSERT_EQ(desktop_.started().size(), 2u);
  const wizard::ProgramStart& start = desktop_.started()[0];
  EXPECT_EQ(start.program.toStdString(), app_ + "/NVXbackup");
  EXPECT_TRUE(start.arguments.isEmpty());

  // Let the started job run for real, as the desktop would have started it.
  RunResult run =
      RunProgram(start.program.toStdString(), OptionsOf(start), std::chrono::seconds(120));
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  // The password was scrambled into config.txt by the run; the server has the folders.
  EXPECT_EQ(ReadFileText(app_ + "/config.txt").find("NVXPwEncrypt wonderland"), std::string::npos);
  EXPECT_FALSE(FolderId("alice", "My Documents").empty())
      << ::testing::PrintToString(Folders("alice"));
  EXPECT_FALSE(FolderId("alice", "Configuration and Logs").empty());
  // The results are the run's own.
  wizard::ResultsPage results(state_.app_folder, "Backup");
  results.Load();
  EXPECT_EQ(results.findChild<QLabel*>("Outcome")->text(), "No Errors");
  // A run that succeeded tells the desktop nothing (failures only, by default).
  EXPECT_NE(NotifierSaid("NVXnotify: ").find("NVXnotify: no notification due"), std::string::npos);
  EXPECT_EQ(Notifications(), "");

  // The scheduler the wizard started turns BackupSchedule.txt into the crontab line that
  // runs NVXbackup from the install folder (a stand-in crontab keeps the table in a file).
  const wizard::ProgramStart timer = desktop_.started()[1];
  EXPECT_EQ(timer.program.toStdString(), app_ + "/NVXscheduledBackup");
  std::string crontab = temp_.File("crontab");
  WriteFileText(
      crontab,
      "#!/bin/sh\ntable=\"$0.table\"\nif [ \"$1\" = -l ]; then cat \"$table\" 2>/dev/null "
      "|| { echo 'no crontab for tester' >&2; exit 1; }; else cp \"$1\" \"$table\"; fi\n");
  SetPermissions(crontab, 0700);
  ChildProcess::Options timer_options;
  timer_options.working_directory = timer.working_folder.toStdString();
  timer_options.env = {"NVX_CRONTAB=" + crontab};
  RunResult scheduled =
      RunProgram(timer.program.toStdString(), timer_options, std::chrono::seconds(60));
  EXPECT_EQ(scheduled.exit_code, 0) << scheduled.out << scheduled.err;
  std::string table = PathExists(crontab + ".table") ? ReadFileText(crontab + ".table") : "";
  EXPECT_EQ(table.rfind("0 12 * * sun cd '" + app_ + "' && ", 0), 0u) << table;
  EXPECT_NE(table.find("./NVXbackup"), std::string::npos) << table;

  // A new configuration begun from the menu and cancelled after the login leaves the
  // configuration and the schedule as they were, byte for byte.
  const std::string config_before = ReadFileText(app_ + "/config.txt");
  const std::string schedule_before = ReadFileText(app_ + "/BackupSchedule.txt");
  desktop_.ClearRecord();
  StartWizard();
  ASSERT_EQ(PageName(), "MenuFull");
  Find<QCheckBox>("NewConfig")->setChecked(true);
  Click("Continue");
  Click("Continue");  // splash
  Type("NVX_ID", "alice");
  Type("NVX_password", "wonderland");
  LogIn();
  ASSERT_EQ(PageName(), "mydocuments") << desktop_.messages().join(" | ").toStdString();
  Click("Cancel");
  EXPECT_TRUE(start_up_->ended());
  EXPECT_EQ(ReadFileText(app_ + "/config.txt"), config_before);
  EXPECT_EQ(ReadFileText(app_ + "/BackupSchedule.txt"), schedule_before);
  EXPECT_EQ(ReadFileText(crontab + ".table"), table);
  EXPECT_FALSE(PathExists(app_ + "/config.new"));
  EXPECT_TRUE(desktop_.started().empty());

  // "No Scheduled Backups" on the menu's Schedule tab, which shows the schedule in force
  // (the crontab line): the scheduler it starts removes the line.
  state_.crontab_program = QString::fromStdString(crontab);
  StartWizard();
  ASSERT_EQ(PageName(), "MenuFull");
  EXPECT_TRUE(Find<QCheckBox>("CheckWeekly")->isChecked());
  EXPECT_EQ(Find<QComboBox>("DayOfWeek")->currentText(), "Sunday");
  EXPECT_EQ(Find<QComboBox>("DailyTime")->currentText(), "Noon");
  Click("NoSchedule");
  ASSERT_EQ(desktop_.started().size(), 1u);
  EXPECT_EQ(desktop_.started()[0].program.toStdString(), app_ + "/NVXscheduledBackup");
  RunResult removed =
      RunProgram(timer.program.toStdString(), timer_options, std::chrono::seconds(60));
  EXPECT_EQ(removed.exit_code, 0) << removed.out << removed.err;
  EXPECT_EQ(ReadFileText(crontab + ".table").find("NVXscheduledBackup"), std::string::npos);
  StartWizard();
  EXPECT_EQ(Text("CurrentSchedule"), "No Backups currently scheduled");
  EXPECT_FALSE(Find<QCheckBox>("CheckWeekly")->isChecked());

  // My Documents restored into another folder lands there once, named like its folder.
  const std::string restored = temp_.File("Restored");
  MakeFolder(restored);
  desktop_.ClearRecord();
  desktop_.QueueAnswer(wizard::Answer::kNo);  // not to its own location
  desktop_.QueueFolder(QString::fromStdString(restored));
  QListWidget* items = Find<QListWidget>("RestoreList");
  ASSERT_EQ(items->item(0)->text(), "FOLDER: My Documents");
  items->item(0)->setSelected(true);
  Click("BeginRestore");
  ASSERT_EQ(desktop_.started().size(), 1u) << desktop_.messages().join(" | ").toStdString();
  const wizard::ProgramStart restore = desktop_.started()[0];
  RunResult restore_run =
      RunProgram(restore.program.toStdString(), OptionsOf(restore), std::chrono::seconds(60));
  EXPECT_EQ(restore_run.exit_code, 0) << restore_run.out << restore_run.err;
  EXPECT_EQ(ListFolder(restored), std::vector<std::string>{"Documents"});
  EXPECT_EQ(ReadFileText(restored + "/Documents/letter.txt"), "Dear service,\n");
}

// The service is reached through a line of 12 MB/s, so that the run is seen with part of
// the large file sent however fast this machine is: the Running page then shows the
// share, the bytes and the file in hand. Killed there, the run shows as not finished, not
// as a success.
TEST_F(WizardBackupTest, ALargeBackupShowsItsProgressAndAKilledRunShowsAsNotFinished) {
  WriteContent(documents_ + "/big.bin", 24 * 1024 * 1024, Content::kRandom, 7);
  WriteConfiguration(1);
  ListenForNotifications(true);
  StartWizard();
  ASSERT_EQ(PageName(), "MenuFull");
  EXPECT_EQ(Text("LastBackup"), "Last backup: none yet");
  Find<QCheckBox>("RunExisting")->setChecked(true);
  Click("Continue");
  ASSERT_EQ(PageName(), "Running");
  auto* page = static_cast<wizard::RunningPage*>(start_up_->current_page());
  EXPECT_EQ(page->view().state, wizard::RunView::State::kWaiting);
  ASSERT_EQ(desktop_.started().size(), 1u);

  CuttingRelay line(static_cast<uint16_t>(server_->port()), "");
  line.LimitUpstreamRate(12 * 1024 * 1024);
  ChildProcess::Options options = OptionsOf(desktop_.started()[0]);
  options.env[1] = "NVX_SERVER=" + line.address();
  ChildProcess run(desktop_.started()[0].program.toStdString(), options);
  const std::string status_path = app_ + "/Logs/Backup.status";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool midway = false;
  while (!midway && run.Running() && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::optional<jobfiles::RunStatus> status = jobfiles::ReadRunStatusFile(status_path);
    midway = status && status->phase == "upload" && status->bytes_done > 0 &&
             status->bytes_done < status->bytes_total;
  }
  // Held still, so that the page and the test see the same moment.
  if (midway) ::kill(run.pid(), SIGSTOP);
  ASSERT_TRUE(midway) << run.out() << run.err();
  page->Refresh();
  auto* bar = page->findChild<QProgressBar*>("ProgressBar");
  EXPECT_GT(bar->value(), 0);
  EXPECT_LT(bar->value(), bar->maximum());
  EXPECT_TRUE(Text("BytesLabel").startsWith("Sent: ")) << Text("BytesLabel").toStdString();
  EXPECT_TRUE(Text("BytesLabel").contains(" of 24.0 MB")) << Text("BytesLabel").toStdString();
  EXPECT_TRUE(Text("CurrentFile").endsWith("big.bin")) << Text("CurrentFile").toStdString();
  EXPECT_TRUE(Text("RunState").startsWith("Running: job ")) << Text("RunState").toStdString();
  EXPECT_FALSE(Find<QPushButton>("ShowResults")->isEnabled());

  ::kill(run.pid(), SIGKILL);
  ::kill(run.pid(), SIGCONT);
  run.Wait(std::chrono::seconds(10));
  page->Refresh();
  EXPECT_EQ(page->view().state, wizard::RunView::State::kDidNotFinish);
  EXPECT_TRUE(Text("RunState").startsWith("Did not finish")) << Text("RunState").toStdString();
  EXPECT_TRUE(Find<QPushButton>("ShowResults")->isEnabled());
  Click("OKButton");
  EXPECT_TRUE(start_up_->ended());
  // The desktop was told, and the notification's action opened the results.
  EXPECT_NE(
      NotifierSaid("results shown").find("NVXnotify: notified: Norrvault Backup did not finish"),
      std::string::npos);
  EXPECT_EQ(Notifications().rfind("Norrvault Backup did not finish\tThe run that started ", 0), 0u)
      << Notifications();
  const std::string started = app_ + "/wizard-started.txt";
  for (int i = 0; i < 250 && (!PathExists(started) || ReadFileText(started).empty()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(ReadFileText(started), "--results Backup\n");

  // The next start of the wizard: the menu and the results say the last run did not end.
  StartWizard();
  ASSERT_EQ(PageName(), "MenuFull");
  EXPECT_TRUE(Text("LastBackup").endsWith(", Did not finish")) << Text("LastBackup").toStdString();
  EXPECT_TRUE(Find<QPushButton>("DisplayResults")->isEnabled());
  wizard::ResultsPage results(state_.app_folder, "Backup");
  results.Load();
  EXPECT_EQ(results.findChild<QLabel*>("Outcome")->text(), "Did not finish");
}

// A service over TLS whose certificate no authority of this computer vouches for: the
// login check says so and what to do; naming the authority's file lets the same login
// through, and the new configuration names the server with "https://" and the authority.
TEST_F(WizardBackupTest, AnUntrustedCertificateIsToldUntilItsAuthorityIsNamed) {
  std::unique_ptr<ServerProcess> tls =
      StartTlsServer(Certificates().server(), temp_.File("tls.log"));
  ASSERT_NE(tls->port(), 0);
  const std::string address = "127.0.0.1:" + std::to_string(tls->port());
  StartWizard();
  Click("Continue");
  ASSERT_EQ(PageName(), "Login");
  Find<QCheckBox>("SecureConnection")->setChecked(true);
  Type("ServerAddress", address.c_str());
  Type("NVX_ID", "alice");
  Type("NVX_password", "wonderland");
  LogIn();
  ASSERT_EQ(PageName(), "Login");
  EXPECT_EQ(desktop_.messages(),
            QStringList{wizard::LoginRefusalMessage(wizard::kLoginCertificateUntrusted)});
  Type("ServerCA", Certificates().authority().c_str());
  LogIn();
  ASSERT_EQ(PageName(), "ChooseType") << desktop_.messages().join(" | ").toStdString();
  EXPECT_NE(ReadFileText(app_ + "/config.new")
                .find("NVXServer https://" + address + "\r\nNVXServerCA " +
                      Certificates().authority() + "\r\n"),
            std::string::npos);
}

// A service whose host no longer answers: the login check runs off the window's thread,
// events keep flowing (never half the check's time limit without one: a check on the
// window's thread would hold them for all of it, while a loaded machine may delay a tick
// by a few hundred milliseconds), and after the wizard's time limit the
// user is asked whether to keep the unchecked login. No keeps the page; Yes goes on.
TEST_F(WizardBackupTest, ALoginCheckThatGetsNoAnswerKeepsTheWindowResponsiveAndAsks) {
  SilentListener silent;
  setenv("NVX_SERVER", silent.address().c_str(), 1);
  state_.login_timeout_millis = 700;
  StartWizard();
  Click("Continue");
  ASSERT_EQ(PageName(), "Login");
  Type("NVX_ID", "alice");
  Type("NVX_password", "wonderland");

  for (const wizard::Answer answer : {wizard::Answer::kNo, wizard::Answer::kYes}) {
    desktop_.ClearRecord();
    desktop_.QueueAnswer(answer);
    Click("Login");
    EXPECT_FALSE(Find<QWidget>("LoginCheck")->isHidden());
    EXPECT_TRUE(desktop_.busy_shown());
    EXPECT_FALSE(Find<QPushButton>("Login")->isEnabled());
    // The events of the window, timed while the check waits for the service.
    QElapsedTimer clock;
    clock.start();
    int64_t last = 0;
    int64_t longest_gap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
      longest_gap = std::max<int64_t>(longest_gap, clock.elapsed() - last);
      last = clock.elapsed();
    });
    ticks.start(10);
    while (desktop_.questions().empty() && clock.elapsed() < 10000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    ticks.stop();
    EXPECT_LT(longest_gap, state_.login_timeout_millis / 2);
    ASSERT_EQ(desktop_.questions().size(), 1u) << "no question within 10 s";
    EXPECT_EQ(desktop_.questions()[0].title, "Login not checked");
    EXPECT_TRUE(desktop_.questions()[0].text.startsWith(
        "The Norrvault service did not answer within 1 seconds"))
        << desktop_.questions()[0].text.toStdString();
    EXPECT_FALSE(desktop_.busy_shown());
  }
  // Yes: the login is kept, unchecked, and the wizard goes on.
  EXPECT_EQ(PageName(), "ChooseType") << desktop_.messages().join(" | ").toStdString();
  EXPECT_EQ(state_.password, "wonderland");

  // The checks still waiting for the silent host end when it goes away.
  silent.Close();
  for (int i = 0; i < 500 && wizard::LoginChecksInFlight() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(wizard::LoginChecksInFlight(), 0);
}

}  // namespace
}  // namespace nvx::test
