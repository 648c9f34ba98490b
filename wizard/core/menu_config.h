// The menu page's reading of config.txt: the credentials, the notify choice and the log
// level, the configuration summary shown in BackupList, and the restore list. Also the
// start-up scan (SendLog present, configuration complete). Pure functions over the file's
// lines; ReadMenuConfig reads the file. Any thread.
#ifndef NVX_WIZARD_CORE_MENU_CONFIG_H_
#define NVX_WIZARD_CORE_MENU_CONFIG_H_

#include <QString>
#include <QStringList>
#include <QVector>

#include "wizard/core/wizard_state.h"

namespace nvx::wizard {

// What the start-up procedure learns from config.txt.
struct StartupScan {
  bool exists = false;
  bool send_log_present = false;  // a line whose first 7 characters, upper-cased, are "SENDLOG"
  bool complete = false;          // a line beginning "#END"
  ServerChoice server;            // the NVXServer and NVXServerCA lines
};
StartupScan ScanConfigForStartup(const QString& config_path);

struct MenuConfig {
  QString login_id;          // text after "NVXuser " on a line beginning "NVXuser"
  QString password;          // text after "NVXPwEncrypt ", plain or scrambled, as it stands
  bool notify_user = false;  // a line begins "NotifyUser Y"
  LogLevelChoice log_level = LogLevelChoice::kActivity;  // the LogLevel line, later words win
  bool log_level_present = false;
  bool notify_every_run = false;  // a DesktopNotify line says "Always"
  ServerChoice server;            // the NVXServer and NVXServerCA lines
  QString summary;                // BackupList text, lines joined by CR LF
  QVector<RestoreItem> restore_items;
};

// Builds everything from the lines of config.txt.
MenuConfig ParseMenuConfig(const QStringList& lines);

// Reads AppFolder/config.txt; an absent file gives an empty MenuConfig.
MenuConfig ReadMenuConfig(const QString& config_path);

// Copies what the menu read into the wizard's state (ID, password, servers, notify, log
// level, restore list).
void ApplyMenuConfig(const MenuConfig& config, WizardState& state);

// CurrentLevel of LogLevelfrm: "Current level is:" + " Activity (recommended default)",
// " Debug1", " Debug2", " Debug3" or " Errors Only".
QString CurrentLogLevelText(LogLevelChoice level);

// The word written after "LogLevel ": "Activity", "Debug1", "Debug2", "Debug3",
// "ErrorOnly".
QString LogLevelWord(LogLevelChoice level);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_MENU_CONFIG_H_
