// Rewrites of an existing config.txt: the upgrade of a configuration written before the
// configuration-and-logs block existed, the log level, and the ID/password/notify change.
// Each writes config.tmp (0600) and renames it over config.txt, so that a crash never
// leaves neither. Also the start-up fallback to config.old. GUI thread.
#ifndef NVX_WIZARD_CORE_CONFIG_REWRITES_H_
#define NVX_WIZARD_CORE_CONFIG_REWRITES_H_

#include <QString>
#include <QStringList>
#include <optional>

#include "jobfiles/config_keywords.h"
#include "wizard/core/wizard_state.h"

namespace nvx::wizard {

inline const QString kConfigName = QString::fromLatin1(jobfiles::kConfigFileName);
inline constexpr char kConfigScratchName[] = "config.tmp";
inline constexpr char kConfigOldName[] = "config.old";
inline constexpr char kIdPasswordSetMessage[] = "ID, Password, and Results Email Option set";

// AppFolder + "/" + name.
QString AppFile(const QString& app_folder, const QString& name);

// When config.txt is missing and config.old exists, renames config.old to config.txt.
// True when it did.
bool FallBackToConfigOld(const QString& app_folder);

// Every line whose first 4 characters upper-cased are "#END" becomes the configuration-
// and-logs block followed by "#END Configuration File for Backup".
QStringList UpgradedLines(const QString& app_folder, const QStringList& lines);
[[nodiscard]] bool UpgradeConfig(const QString& app_folder, QString* error);

// A LogLevel line becomes "LogLevel " + word; when no LogLevel line is known to exist
// (`log_level_present` false), one is added after the first LogDirectory line.
QStringList LogLevelLines(const QStringList& lines, LogLevelChoice level, bool log_level_present);
[[nodiscard]] bool RewriteLogLevel(const QString& app_folder, LogLevelChoice level,
                                   bool log_level_present, QString* error);

// The desktop notification wish: the DesktopNotify line says "Always" (`every_run`) or
// "Failures"; it replaces an older one, or follows the first LogDirectory line.
QStringList DesktopNotifyLines(const QStringList& lines, bool every_run);
[[nodiscard]] bool RewriteDesktopNotify(const QString& app_folder, bool every_run, QString* error);

// Lines beginning "NVXuser", "NVXPwEncrypt" and "NotifyUser" get the new values.
QStringList IdPasswordLines(const QStringList& lines, const QString& login_id,
                            const QString& password, bool notify_user);
// The same, and the NVXServer and NVXServerCA lines those of `server` when one is given
// (see server_address.h); without it they stay as they are.
[[nodiscard]] bool RewriteIdPassword(const QString& app_folder, const QString& login_id,
                                     const QString& password, bool notify_user,
                                     const std::optional<ServerChoice>& server, QString* error);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_CONFIG_REWRITES_H_
