// The notices shown after a job was started: Running after a backup (its button only
// closes it) and RunningRestore after a restore, cleanup or configuration download (its
// button and close box end the program). Both only show texts.
#ifndef NVX_WIZARD_FORMS_RUNNING_PAGE_H_
#define NVX_WIZARD_FORMS_RUNNING_PAGE_H_

#include "wizard/forms/page.h"

namespace nvx::wizard {

// The texts of a RunningRestore page: the window caption, Heading and SubHead.
struct RunningTexts {
  QString caption;
  QString heading;
  QString text;
};

// The Running text; `new_configuration` adds the advice about later runs and scheduling.
QString RunningBackupText(bool new_configuration);
// RunningRestore's defaults, the cleanup's and the configuration download's texts.
RunningTexts RestoreRunningTexts();
RunningTexts CleanupRunningTexts();
RunningTexts DownloadRunningTexts(bool relaunch_advice);

class RunningPage : public Page {
  Q_OBJECT

 public:
  // Running, after a backup was started.
  explicit RunningPage(bool new_configuration, QWidget* parent = nullptr);
  // RunningRestore with `texts`.
  explicit RunningPage(const RunningTexts& texts, QWidget* parent = nullptr);

 private:
  void Build(const QString& heading, const QString& text, const QString& button_caption);
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_RUNNING_PAGE_H_
