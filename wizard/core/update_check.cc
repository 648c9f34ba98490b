#include "wizard/core/update_check.h"

#include "wizard/core/open_url.h"
#include "wizard/core/web_host.h"

namespace nvx::wizard {

int AvailableVersion(const QByteArray& notice) {
  const QByteArray prefix(kVersionNoticePrefix);
  if (!notice.startsWith(prefix)) return 0;
  bool ok = false;
  int version = notice.mid(prefix.size(), 3).trimmed().toInt(&ok);
  return ok ? version : 0;
}

bool NewerVersionOffered(const QByteArray& notice) {
  return AvailableVersion(notice) > kRunningMajorVersion;
}

bool CheckForNewerVersion(const QString& web_host, int timeout_ms) {
  QByteArray notice;
  UrlAnswer answer = FetchUrl(WebUrl(web_host, kVersionNoticePath), &notice, timeout_ms);
  return answer.Succeeded() && NewerVersionOffered(notice);
}

QString NewVersionText() {
  return QString("A newer version of this program is available. ") +
         "Click 'OK' to download the setup program from " + "Norrvault." + "\r\n\r\n" +
         "This program will close." + "\r\n\r\n" +
         "Choose 'Cancel' to skip download and continue running the program.";
}

}  // namespace nvx::wizard
