#include "wizard/core/config_rewrites.h"

#include <QFile>
#include <cstdio>

#include "wizard/core/config_sections.h"
#include "wizard/core/job_file.h"
#include "wizard/core/menu_config.h"

namespace nvx::wizard {

namespace {

// Rewrites AppFolder/config.txt through config.tmp with `transform` of its lines.
template <typename Transform>
bool RewriteConfig(const QString& app_folder, QString* error, Transform transform) {
  const QString path = AppFile(app_folder, kConfigName);
  bool found = false;
  const QStringList lines = ReadLines(path, &found);
  if (!found) {
    if (error) *error = path + ": cannot be read";
    return false;
  }
  return ReplaceFile(path, AppFile(app_folder, kConfigScratchName), transform(lines), error);
}

}  // namespace

QString AppFile(const QString& app_folder, const QString& name) {
  return app_folder.endsWith('/') ? app_folder + name : app_folder + "/" + name;
}

bool FallBackToConfigOld(const QString& app_folder) {
  const QString config = AppFile(app_folder, kConfigName);
  const QString old = AppFile(app_folder, kConfigOldName);
  if (QFile::exists(config) || !QFile::exists(old)) return false;
  return QFile::rename(old, config);
}

QStringList UpgradedLines(const QString& app_folder, const QStringList& lines) {
  QStringList upgraded;
  for (const QString& line : lines) {
    if (line.left(4).toUpper() == "#END") {
      upgraded << ConfigurationAndLogsLines(app_folder) << "#END Configuration File for Backup";
    } else {
      upgraded << line;
    }
  }
  return upgraded;
}

bool UpgradeConfig(const QString& app_folder, QString* error) {
  return RewriteConfig(app_folder, error,
                       [&](const QStringList& lines) { return UpgradedLines(app_folder, lines); });
}

QStringList LogLevelLines(const QStringList& lines, int level, bool log_level_present) {
  const QString new_line = "LogLevel " + LogLevelWord(level);
  QStringList rewritten;
  for (const QString& line : lines) {
    if (line.left(8).toUpper() == "LOGLEVEL") {
      rewritten << new_line;
    } else if (line.left(12).toUpper() == "LOGDIRECTORY") {
      rewritten << line;
      if (!log_level_present) {
        rewritten << new_line;
        log_level_present = true;
      }
    } else {
      rewritten << line;
    }
  }
  return rewritten;
}

bool RewriteLogLevel(const QString& app_folder, int level, bool log_level_present, QString* error) {
  return RewriteConfig(app_folder, error, [&](const QStringList& lines) {
    return LogLevelLines(lines, level, log_level_present);
  });
}

QStringList IdPasswordLines(const QStringList& lines, const QString& login_id,
                            const QString& password, bool notify_user) {
  QStringList rewritten;
  for (const QString& line : lines) {
    if (line.startsWith("NVXuser")) {
      rewritten << "NVXuser " + login_id;
    } else if (line.startsWith("NVXPwEncrypt")) {
      rewritten << "NVXPwEncrypt " + password;
    } else if (line.startsWith("NotifyUser")) {
      rewritten << (notify_user ? "NotifyUser Y" : "NotifyUser N");
    } else {
      rewritten << line;
    }
  }
  return rewritten;
}

bool RewriteIdPassword(const QString& app_folder, const QString& login_id, const QString& password,
                       bool notify_user, QString* error) {
  return RewriteConfig(app_folder, error, [&](const QStringList& lines) {
    return IdPasswordLines(lines, login_id, password, notify_user);
  });
}

}  // namespace nvx::wizard
