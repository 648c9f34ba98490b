// The real desktop: Qt message boxes and dialogs, programs started detached, the
// override cursor as the busy pointer.
#ifndef NVX_WIZARD_DESKTOP_QT_DESKTOP_H_
#define NVX_WIZARD_DESKTOP_QT_DESKTOP_H_

#include "wizard/desktop/desktop.h"

namespace nvx::wizard {

class QtDesktop : public Desktop {
 public:
  Answer Ask(const QString& title, const QString& text, Buttons buttons) override;
  QString BrowseFolder(const QString& title) override;
  QStringList OpenFiles(const QString& title, const QString& initial_folder) override;
  // The job runner has no console of its own: it runs in `x-terminal-emulator -e` when
  // that exists, otherwise detached with its output appended to start.output_file.
  StartedProgram StartProgram(const ProgramStart& start) override;
  void OpenUrl(const QString& url) override;

 protected:
  void ShowBusy(bool busy) override;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_DESKTOP_QT_DESKTOP_H_
