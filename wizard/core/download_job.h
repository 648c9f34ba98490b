// The configuration download job: download-config.txt fetches config.txt from the
// service's "\Backup\Configuration and Logs" folder into AppFolder. Before the job starts,
// the current config.txt becomes config.old (an older config.old is replaced), so that a
// failed download falls back to it at the next start. GUI thread.
#ifndef NVX_WIZARD_CORE_DOWNLOAD_JOB_H_
#define NVX_WIZARD_CORE_DOWNLOAD_JOB_H_

#include <QString>
#include <QStringList>

#include "wizard/core/server_address.h"

namespace nvx::wizard {

inline constexpr char kDownloadConfigName[] = "download-config.txt";
// The question asked before the menu's download (OK/Cancel).
QString DownloadQuestion();

// Texts of RunningRestore for the download.
inline constexpr char kDownloadHeading[] = "Norrvault Backup configuration downloading";
inline constexpr char kDownloadCaption[] = "Norrvault Configuration Download Started";
QString DownloadRunningText(bool in_window = true);
// download-config.txt names no results type: the job runner's default.
inline constexpr char kDownloadResultsType[] = "File Transfer";
// The ChooseType path's text: DownloadRunningText + two CR LF + the relaunch advice.
QString DownloadRunningTextWithRelaunch(bool in_window = true);

// The lines from the menu: the credential lines of `config_lines` (a NVXPwEncrypt line is
// written twice, as it passes both the "NVXPWENCRYPT" and the "NVXPW" tests) and its
// NVXServer and NVXServerCA lines, then the tail.
QStringList MenuDownloadLines(const QString& app_folder, const QStringList& config_lines);

// The lines from ChooseType: the credentials just accepted and the servers they were
// accepted by, then the tail.
QStringList ChooseTypeDownloadLines(const QString& app_folder, const QString& login_id,
                                    const QString& password, const ServerChoice& server);

// The menu's download: writes download-config.txt (0600) from config.txt and moves
// config.txt to config.old. False with *error when a step failed; nothing is started then.
[[nodiscard]] bool PrepareMenuDownload(const QString& app_folder, QString* error);

// The download from ChooseType: the caller has closed config.txt; writes
// download-config.txt and moves config.txt to config.old.
[[nodiscard]] bool PrepareChooseTypeDownload(const QString& app_folder, const QString& login_id,
                                             const QString& password, const ServerChoice& server,
                                             QString* error);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_DOWNLOAD_JOB_H_
