// The lines of the backup configuration config.txt, section by section, in the order the
// wizard's pages write them: the header, My Documents, Favorites, Desktop files and
// folders, Outlook files, other folders and individual files, then the configuration-and-
// logs block and the end line. Each builder returns the lines (without line ends) and
// updates the flags of WizardState it owns: something selected and the verify-block flags
// of the Desktop, Outlook and Other Folders server folders. Sizes are not touched here;
// the pages keep their totals.
//
// A "NotifyUser Y" line is written in a page's section only when notify user is set; the
// configuration-and-logs block always has it.
#ifndef NVX_WIZARD_CORE_CONFIG_SECTIONS_H_
#define NVX_WIZARD_CORE_CONFIG_SECTIONS_H_

#include <QString>
#include <QStringList>

#include "wizard/core/wizard_state.h"

namespace nvx::wizard {

// "#config file for backup" ... "ResultsType Backup", " ": the credentials as accepted by
// the login check with the servers they were checked against (after the password), the
// OS and user names, and the logs folder of AppFolder.
QStringList HeaderLines(const WizardState& state);

// My Documents: `included` is Check1; `unchecked_subfolders` the names (not list texts) of
// the subfolders left unchecked, in list order, each written as a SkipFolder line.
QStringList MyDocumentsLines(WizardState& state, bool included,
                             const QStringList& unchecked_subfolders);

QStringList FavoritesLines(WizardState& state, bool included);

// Desktop: `files_included` is DoFiles; `checked_folders` the names of the checked desktop
// folders in list order.
QStringList DesktopLines(WizardState& state, bool files_included,
                         const QStringList& checked_folders);

// One Outlook file section. `listed_name` is the name as the wizard lists it
// ("outlook.pst", "archive.pst", "outlook backup.pst", "archive backup.pst") and goes into
// the comment; `name_on_disk` is the name the file really has in the Outlook folder (the
// letter case may differ on this system) and goes into the LocalPath line.
QStringList OutlookFileLines(WizardState& state, const QString& listed_name,
                             const QString& name_on_disk);

// One other folder, added through the folder browser and its confirmation.
QStringList OtherFolderLines(WizardState& state, const QString& folder, bool include_subfolders);

// One individual file (full path).
QStringList IndividualFileLines(WizardState& state, const QString& path);

// The configuration-and-logs block and "#END config file for backup" when something was
// selected, else " " and "#Nothing selected for backup".
QStringList TailLines(const WizardState& state);

// The configuration-and-logs block alone (the tail without its end line), which the upgrade
// of an older config.txt puts where its old end line was.
QStringList ConfigurationAndLogsLines(const QString& app_folder);

// The logs folder as config files name it: AppFolder + "/Logs".
QString LogsFolderPath(const QString& app_folder);

// The full paths of a multiple file selection: each name joined to the folder with one
// "/" (a folder that already ends with "/", such as the root, gets none added).
QStringList JoinSelectedFiles(const QString& folder, const QStringList& names);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_CONFIG_SECTIONS_H_
