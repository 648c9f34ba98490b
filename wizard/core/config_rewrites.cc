#include "wizard/core/config_rewrites.h"

#include <QFile>
#include <cstdio>

#include "wizard/core/config_line.h"
#include "wizard/core/config_sections.h"
#include "wizard/core/job_file.h"
#include "wizard/core/menu_config.h"
#include "wizard/core/server_address.h"

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

QStringList LogLevelLines(const QStringList& lines, LogLevelChoice level, bool log_level_present) {
  const QString new_line = ConfigLine(ConfigKeyword::kLogLevel, LogLevelWord(level));
  QStringList rewritten;
  for (const QString& line : lines) {
    if (BeginsWith(line, ConfigKeyword::kLogLevel, Qt::CaseInsensitive)) {
      rewritten << new_line;
    } else if (BeginsWith(line, ConfigKeyword::kLogDirectory, Qt::CaseInsensitive)) {
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

bool RewriteLogLevel(const QString& app_folder, LogLevelChoice level, bool log_level_present,
                     QString* error) {
  return RewriteConfig(app_folder, error, [&](const QStringList& lines) {
    return LogLevelLines(lines, level, log_level_present);
  });
}

QStringList DesktopNotifyLines(const QStringList& lines, bool every_run) {
  const std::string_view word =
      every_run ? jobfiles::kDesktopNotifyAlways : jobfiles::kDesktopNotifyFailures;
  const QString new_line = ConfigLine(ConfigKeyword::kDesktopNotify,
                                      QString::fromLatin1(word.data(), qsizetype(word.size())));
  QStringList rewritten;
  bool written = false;
  for (const QString& line : lines) {
    if (BeginsWith(line, ConfigKeyword::kDesktopNotify, Qt::CaseInsensitive)) continue;
    rewritten << line;
    if (!written && BeginsWith(line, ConfigKeyword::kLogDirectory, Qt::CaseInsensitive)) {
      rewritten << new_line;
      written = true;
    }
  }
  return rewritten;
}

bool RewriteDesktopNotify(const QString& app_folder, bool every_run, QString* error) {
  return RewriteConfig(app_folder, error, [&](const QStringList& lines) {
    return DesktopNotifyLines(lines, every_run);
  });
}

QStringList IdPasswordLines(const QStringList& lines, const QString& login_id,
                            const QString& password, bool notify_user) {
  QStringList rewritten;
  for (const QString& line : lines) {
    if (BeginsWith(line, ConfigKeyword::kUser)) {
      rewritten << ConfigLine(ConfigKeyword::kUser, login_id);
    } else if (BeginsWith(line, ConfigKeyword::kPasswordEncrypt)) {
      rewritten << ConfigLine(ConfigKeyword::kPasswordEncrypt, password);
    } else if (BeginsWith(line, ConfigKeyword::kNotifyUser)) {
      rewritten << YesNoLine(ConfigKeyword::kNotifyUser, notify_user);
    } else {
      rewritten << line;
    }
  }
  return rewritten;
}

bool RewriteIdPassword(const QString& app_folder, const QString& login_id, const QString& password,
                       bool notify_user, const std::optional<ServerChoice>& server,
                       QString* error) {
  return RewriteConfig(app_folder, error, [&](const QStringList& lines) {
    const QStringList rewritten = IdPasswordLines(lines, login_id, password, notify_user);
    return server ? ServerChoiceLines(rewritten, *server) : rewritten;
  });
}

}  // namespace nvx::wizard
