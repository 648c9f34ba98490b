#include "wizard/core/component_update.h"

#include <filesystem>
#include <system_error>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>

#include "platform/directory_sync.h"
#include "wizard/core/executable_format.h"
#include "wizard/core/open_url.h"
#include "wizard/core/web_host.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {
namespace {

enum class Outcome { kReplaced, kNotAvailable, kDownloadFailed, kReplaceFailed };

constexpr int kProgramMode = 0755;
constexpr int kLibraryMode = 0644;

QString InFolder(const QString& folder, const QString& name) {
  return folder.endsWith('/') ? folder + name : folder + "/" + name;
}

// Why a downloaded answer cannot take a component's place; empty when it can.
QString Refusal(const UrlAnswer& answer, QFile& download) {
  if (answer.status == 0) return answer.error;
  if (answer.status != 200) return QString("the web host answered %1").arg(answer.status);
  if (!answer.Complete()) return answer.error;
  if (answer.received == 0) return "the answer was empty";
  download.seek(0);
  QByteArray start = download.read(64).trimmed().toUpper();
  if (start.startsWith("<HTML") || start.startsWith("<!DOCTYPE"))
    return "the answer was a web page";
  QString reason;
  if (!IsExecutableOfThisMachine(download.fileName(), &reason)) return reason;
  return {};
}

Outcome ReplaceOne(const QString& app_folder, const Component& component, ComponentSet set,
                   const ComponentSource& source, QString* detail) {
  const QString name = component.file_name;
  QTemporaryFile download(InFolder(app_folder, "." + name + ".XXXXXX.part"));
  if (!download.open()) {
    *detail = name + ": cannot write in " + app_folder + ": " + download.errorString();
    return Outcome::kReplaceFailed;
  }
  QString url = WebUrl(source.web_host, ComponentWebPath(component, set, source.user_name));
  UrlAnswer answer = FetchUrlToFile(url, &download, kComponentSizeMax, source.timeout_ms);
  if (!download.flush()) answer.error = "cannot write the download: " + download.errorString();
  QString refusal = Refusal(answer, download);
  if (!refusal.isEmpty()) {
    // A debug build that support staff did not place answers with a page or nothing.
    if (set == ComponentSet::kDebug && answer.status != 0) return Outcome::kNotAvailable;
    *detail = name + ": " + refusal;
    return Outcome::kDownloadFailed;
  }
  if (!platform::SyncOpenFile(download.handle())) {
    *detail = name + ": cannot write the download to the disk";
    return Outcome::kReplaceFailed;
  }
  QString error;
  if (!InstallComponent(app_folder, component, download.fileName(), &error)) {
    *detail = name + ": " + error;
    return Outcome::kReplaceFailed;
  }
  download.setAutoRemove(false);  // it is the component now
  return Outcome::kReplaced;
}

}  // namespace

QString OpenFilesMessage() {
  return QString("Could not update components due to open files.") + "\r\n" +
         "Please close this program and restart to try again.";
}

QString DebugQuestion() {
  return QString("Debug Components should only be downloaded ") +
         "on the advice of Norrvault Support." + "\r\n\r\n" + "Continue Download?";
}

QString DebugDownloadedMessage(const QStringList& file_names) {
  QString text = "Debug Versions of Program Components Downloaded:\r\n";
  for (const QString& name : file_names) text += "   " + name + "\r\n";
  return text + "\r\n" + "To revert to Stardard Components " + "Click 'Update NVX Components'";
}

QString DownloadRefusedMessage(const QString& detail) {
  return "Could not update components: " + detail + "\r\n" +
         "The installed file was left as it was.";
}

QString DownloadingText(const Component& component, ComponentSet set) {
  QString prefix = set == ComponentSet::kDebug ? "Downloading Debug Version of " : "Downloading ";
  return prefix + component.file_name;
}

QString ComponentWebPath(const Component& component, ComponentSet set, const QString& user_name) {
  if (set == ComponentSet::kCurrent) return QString("/install/") + component.file_name;
  return "/pub/" + QString::fromLatin1(QUrl::toPercentEncoding(user_name)) + "/" +
         component.file_name;
}

QString ComponentUpdateResult::Message(ComponentSet set) const {
  switch (failure) {
    case Failure::kDownload:
      return DownloadRefusedMessage(detail);
    case Failure::kReplace:
      return OpenFilesMessage();
    case Failure::kNone:
      break;
  }
  if (set == ComponentSet::kCurrent) return kComponentsUpdatedMessage;
  if (replaced.isEmpty()) return kNoDebugComponentsMessage;
  return DebugDownloadedMessage(replaced);
}

ComponentUpdateResult UpdateComponents(const QString& app_folder, ComponentSet set,
                                       const ComponentSource& source, const StatusDisplay& status) {
  ComponentUpdateResult result;
  for (const Component& component : kComponents) {
    status(DownloadingText(component, set));
    switch (ReplaceOne(app_folder, component, set, source, &result.detail)) {
      case Outcome::kReplaced:
        result.replaced << component.file_name;
        break;
      case Outcome::kNotAvailable:
        break;
      case Outcome::kDownloadFailed:
        result.failure = ComponentUpdateResult::Failure::kDownload;
        return result;
      case Outcome::kReplaceFailed:
        result.failure = ComponentUpdateResult::Failure::kReplace;
        return result;
    }
  }
  return result;
}

bool InstallComponent(const QString& app_folder, const Component& component,
                      const QString& download, QString* error) {
  QString target = FindNameIgnoringCase(app_folder, component.file_name);
  if (target.isEmpty()) target = InFolder(app_folder, component.file_name);
  QString old_copy = FindNameIgnoringCase(app_folder, component.backup_name);
  if (!old_copy.isEmpty() && !QFile::remove(old_copy)) {
    *error = "cannot remove " + old_copy;
    return false;
  }
  QFileInfo installed(target);
  int mode = component.program ? kProgramMode : kLibraryMode;
  if (installed.exists()) {
    if (!installed.isFile()) {
      *error = target + " is not a file";
      return false;
    }
    QFile current(target);
    if (!current.copy(InFolder(app_folder, component.backup_name))) {
      *error = "cannot copy " + target + ": " + current.errorString();
      return false;
    }
  }
  std::error_code failure;
  if (installed.exists() && !component.program) {
    auto kept = std::filesystem::status(target.toStdString(), failure).permissions();
    if (!failure) mode = static_cast<int>(kept & std::filesystem::perms::mask);
  }
  std::filesystem::permissions(download.toStdString(), std::filesystem::perms(mode), failure);
  // rename replaces the installed file in one step: until it succeeds, the old one stays.
  if (!failure) std::filesystem::rename(download.toStdString(), target.toStdString(), failure);
  if (failure) {
    *error = QString::fromStdString(failure.message());
    return false;
  }
  return true;
}

}  // namespace nvx::wizard
