// WizardState: the one record of what the wizard's pages collect and decide, shared by the
// forms and the job-file writers. A plain value; the wizard is single-threaded and owns
// exactly one of these for the life of the program.
//
// Folders (AppFolder excepted) end with "/". Sizes are bytes, held as doubles as the size
// texts expect.
#ifndef NVX_WIZARD_CORE_WIZARD_STATE_H_
#define NVX_WIZARD_CORE_WIZARD_STATE_H_

#include <QString>
#include <QVector>

#include "wizard/core/server_address.h"

namespace nvx::wizard {

// The log level the menu reads from config.txt and LogLevelfrm offers: the wizard's own
// choice, written as a word after "LogLevel " (the job runner turns the word into the
// library's level bits).
enum class LogLevelChoice {
  kActivity,
  kDebug1,
  kDebug2,
  kDebug3,
  kErrorOnly,
};

// One entry of the menu's restore list (see menu_config.h for how it is built).
struct RestoreItem {
  QString entry;         // the list text: "FOLDER: My Documents", "FILE: a.doc (Location: /x)"
  QString stored_block;  // the lines after the LocalPath line, each ended by CR LF
  QString local_path;    // where the item goes back to, without CR LF; replaced by the
                         // destination choice
  QString kind;          // the file name for file items, empty for folders
};

struct WizardState {
  QString app_folder;  // the current directory at start, without a trailing "/"
  QString os_name;
  QString user_name;
  QString web_host;  // host or host:port of the update notice and components; empty: none
  QString login_id;
  QString password;
  // The servers the configuration names and how they are reached; a new configuration's
  // are the default servers over a secure connection.
  ServerChoice server;
  bool notify_user = false;
  bool send_log_present = false;
  bool configuration_complete = false;
  bool new_configuration_chosen = false;
  bool something_selected = false;
  bool backup_now = false;
  bool restore_started = false;
  bool page_skipped = false;
  bool loading = false;
  // The verify block of these server folders has been written to config.txt.
  bool desktop_verify_written = false;
  bool outlook_verify_written = false;
  bool other_folders_verify_written = false;
  // Running space totals in bytes: per page and over the whole wizard.
  double my_documents_total = 0;
  double favorites_total = 0;
  double desktop_total = 0;
  double outlook_total = 0;
  double other_total = 0;
  double total = 0;
  QString my_documents_folder;
  QString favorites_folder;
  QString desktop_folder;
  QString outlook_folder;
  LogLevelChoice log_level = LogLevelChoice::kActivity;
  bool log_level_present = false;
  // The desktop is told of every run, not only of runs that fail.
  bool notify_every_run = false;
  // The crontab program asked for the schedule in force; empty: BackupSchedule.txt alone.
  QString crontab_program;
  // How long the login check may take before the service counts as not reached.
  int login_timeout_millis = 15000;
  QVector<RestoreItem> restore_items;  // 0-based; list entries correspond by position
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_WIZARD_STATE_H_
