// The facts of this computer and of the install folder that the wizard gathers at start:
// AppFolder (the current directory), the installation check, the special folders, the
// user and OS names, and the logs folder "Logs" whose file names are found without regard
// to letter case. GUI thread.
#ifndef NVX_WIZARD_CORE_WIZARD_ENVIRONMENT_H_
#define NVX_WIZARD_CORE_WIZARD_ENVIRONMENT_H_

#include <QString>

#include "wizard/core/wizard_state.h"

namespace nvx::wizard {

inline constexpr char kNotInstalledMessage[] =
    "Norrvault Backup not completely installed. Please reinstall.";
inline constexpr char kRunnerProgramName[] = "NVXbackup";
// "Version " and the package's version, as the splash page and the menu show it.
inline constexpr char kVersionText[] = "Version " NVX_PRODUCT_VERSION;
inline constexpr char kApiLibraryName[] = "libnvxapi.so";
inline constexpr char kLoginLibraryName[] = "libnvxapib.so";
inline constexpr char kLogsFolderName[] = "Logs";

// The current directory, without a trailing "/" (except for the root itself).
QString CurrentAppFolder();

// True when AppFolder holds NVXbackup and libnvxapi.so (names compared without regard to
// letter case).
bool InstallationComplete(const QString& app_folder);

// My Documents and Desktop from the desktop's standard locations, Favorites is
// $HOME/Favorites; each ends with "/".
QString MyDocumentsFolder();
QString DesktopFolder();
QString FavoritesFolder();

// The login name of the effective user from the password database; empty when unknown.
QString CurrentUserName();

// The system name and release ("Linux 6.1.0-13-amd64"), "Failed" when they cannot be read.
QString OperatingSystemName();

// Fills app_folder, os_name, user_name, the three special folders and the web host of
// `state`.
void GatherEnvironment(WizardState& state);

// The logs folder of AppFolder: the existing entry named "logs" in any letter case, else
// AppFolder + "/Logs".
QString LogsFolder(const QString& app_folder);

// Creates the logs folder when it does not exist. False when it cannot be created.
bool EnsureLogsFolder(const QString& app_folder);

// The path of `name` in the logs folder, found without regard to letter case; empty when
// there is no such file.
QString FindInLogs(const QString& app_folder, const QString& name);

// An entry of `folder` whose name equals `name` without regard to letter case (an exact
// match preferred); empty when none.
QString FindNameIgnoringCase(const QString& folder, const QString& name);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_WIZARD_ENVIRONMENT_H_
