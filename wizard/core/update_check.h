// The start-up check for a newer version of the whole program: the version notice
// "/uploadmanager/backupversion.txt" on the web host reads "versionavailable=" followed by
// the available major version; a value above the running version 2 offers the setup
// page "/Norrvault_Backup_Update1.html". A failed fetch or a malformed notice offers
// nothing. GUI thread.
#ifndef NVX_WIZARD_CORE_UPDATE_CHECK_H_
#define NVX_WIZARD_CORE_UPDATE_CHECK_H_

#include <QByteArray>
#include <QString>

#include "wizard/core/update_limits.h"

namespace nvx::wizard {

inline constexpr char kVersionNoticePath[] = "/uploadmanager/backupversion.txt";
inline constexpr char kUpdatePagePath[] = "/Norrvault_Backup_Update1.html";
inline constexpr char kVersionNoticePrefix[] = "versionavailable=";
inline constexpr int kRunningMajorVersion = 2;

// The major version a notice announces: the three characters after the prefix as an
// integer (blanks and line ends around it ignored); 0 when the text does not begin with
// the prefix or they are no integer.
int AvailableVersion(const QByteArray& notice);

// True when the notice announces a version above the running one.
bool NewerVersionOffered(const QByteArray& notice);

// Fetches the notice from `web_host` and tells whether it offers a newer version. Only a
// complete "200" answer counts.
bool CheckForNewerVersion(const QString& web_host, int timeout_ms = kOpenUrlTimeoutMs);

// The text of the NewVersion page.
QString NewVersionText();

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_UPDATE_CHECK_H_
