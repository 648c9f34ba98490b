// Replacing the wizard's four component files in AppFolder by the ones on the web host:
// the current components from "/install/" ("Update NVX components") or the debug builds
// that support staff placed in "/pub/USER/" ("Install Debug Support").
//
// A component is fetched into a temporary file beside it and takes its place only when
// the answer was a complete "200", not empty, not a web page, and a program or library
// of this machine. The installed file is first copied to its backup copy (".old"), then
// the download is renamed over it in one step, so a failure at any point leaves the
// installed file as it was. A debug build that is not placed (a web page or no file)
// is passed over. The copies stay: the old file may still be in use (a library this
// very program has loaded, a running job), and they let an update be undone by hand.
// GUI thread.
#ifndef NVX_WIZARD_CORE_COMPONENT_UPDATE_H_
#define NVX_WIZARD_CORE_COMPONENT_UPDATE_H_

#include <array>
#include <functional>

#include <QString>
#include <QStringList>

#include "wizard/core/update_limits.h"

namespace nvx::wizard {

struct Component {
  const char* file_name;    // in AppFolder and on the web host
  const char* backup_name;  // the copy of the file it replaces, in AppFolder
  bool program;             // programs are written with their run bits (0755)
};

// In the order they are replaced.
inline constexpr std::array<Component, 4> kComponents{{
    {"NVXbackup", "NVXbackup.old", true},
    {"libnvxapi.so", "libnvxapi.old", false},
    {"libnvxapib.so", "libnvxapib.old", false},
    {"NVXscheduledBackup", "NVXscheduledBackup.old", true},
}};

enum class ComponentSet { kCurrent, kDebug };

inline constexpr char kComponentsUpdatedMessage[] = "Program Components Updated";
inline constexpr char kNoDebugComponentsMessage[] = "No Debug Components Available";

// "Could not update components due to open files." and the advice to restart.
QString OpenFilesMessage();
// The question before debug components are fetched.
QString DebugQuestion();
// The list of the debug components that were installed.
QString DebugDownloadedMessage(const QStringList& file_names);
// The message of a component whose download could not be used; the installed file stays.
QString DownloadRefusedMessage(const QString& detail);
// The progress text of DownloadStatus while `component` is fetched.
QString DownloadingText(const Component& component, ComponentSet set);
// The path of `component` on the web host.
QString ComponentWebPath(const Component& component, ComponentSet set, const QString& user_name);

// Where components come from.
struct ComponentSource {
  QString web_host;
  QString user_name;  // the folder of debug builds under "/pub/"
  int timeout_ms = kOpenUrlTimeoutMs;
};

// How a run over the four components ended.
struct ComponentUpdateResult {
  enum class Failure { kNone, kDownload, kReplace };
  QStringList replaced;  // file names, in table order
  Failure failure = Failure::kNone;
  QString detail;  // the component and the reason, when a step failed

  // The message to show at the end of the run.
  QString Message(ComponentSet set) const;
};

// Shows a progress text (DownloadStatus).
using StatusDisplay = std::function<void(const QString& text)>;

// Replaces the components of `set` in `app_folder`, in table order, stopping at the first
// failure; what was replaced before it stays replaced.
ComponentUpdateResult UpdateComponents(const QString& app_folder, ComponentSet set,
                                       const ComponentSource& source, const StatusDisplay& status);

// Puts the file `download` (beside the component, already checked) in the place of
// `component` in `app_folder`, keeping the installed file as the backup copy. False with
// the reason when a step fails; the installed file is then as it was.
[[nodiscard]] bool InstallComponent(const QString& app_folder, const Component& component,
                                    const QString& download, QString* error);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_COMPONENT_UPDATE_H_
