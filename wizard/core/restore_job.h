// The restore job: the choice of destination for an item of the menu's restore list, and
// restore-config.txt with the selected items. GUI thread (the destination choice asks the
// user through the callbacks it is given).
#ifndef NVX_WIZARD_CORE_RESTORE_JOB_H_
#define NVX_WIZARD_CORE_RESTORE_JOB_H_

#include <QString>
#include <QVector>
#include <functional>

#include "wizard/core/wizard_state.h"

namespace nvx::wizard {

inline constexpr char kRestoreConfigName[] = "restore-config.txt";
inline constexpr char kRestoreFolderNotice[] =
    "You have selected a FOLDER to restore. This will restore ALL files and subfolders.";
inline constexpr char kKeepLocationTitle[] = "Chose original location or Browse for new location";
inline constexpr char kRestoreBrowseTitle[] = "Select Destination Folder for Restore";
inline constexpr char kNoDestinationMessage[] =
    "Original location not found & no folder selected; item will not be restored. ";
inline constexpr char kNothingToRestoreMessage[] = "No Items Selected for Restore";

// How the destination choice talks to the user.
struct RestoreDestinationPrompts {
  std::function<void(const QString& message)> inform;
  // Yes/No question; true for Yes.
  std::function<bool(const QString& title, const QString& question)> ask_yes_no;
  // The folder browser; the empty text when the user chose none.
  std::function<QString(const QString& title)> browse_folder;
};

// "Do you want to restore the item to " + location + "  ?"
QString KeepLocationQuestion(const QString& location);

// True when the item's own location (its local path) is an existing folder.
bool RestoreLocationExists(const RestoreItem& item);

// Runs the destination choice for an item that has just been selected: the FOLDER notice,
// the question whether to keep an existing location, else the folder browser ("Restore
// destination: " + folder is shown, and the folder becomes the item's local path). Returns
// false when no destination was found; the caller then unselects the entry (the message
// saying so has been shown).
bool ChooseRestoreDestination(RestoreItem& item, const RestoreDestinationPrompts& prompts);

// The lines of restore-config.txt for the selected items, in list order, reaching the
// servers of `server`; with none selected the end line is left out.
QStringList RestoreConfigLines(const QString& app_folder, const QString& login_id,
                               const QString& password, const ServerChoice& server,
                               const QVector<RestoreItem>& selected);

// Writes AppFolder/restore-config.txt (0600). Returns false with *error when it could not
// be written. The caller starts the job only when `selected` is not empty.
[[nodiscard]] bool WriteRestoreConfig(const QString& app_folder, const QString& login_id,
                                      const QString& password, const ServerChoice& server,
                                      const QVector<RestoreItem>& selected, QString* error);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_RESTORE_JOB_H_
