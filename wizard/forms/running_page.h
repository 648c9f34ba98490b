// The pages shown after a job was started: Running after a backup (its button only closes
// it) and RunningRestore after a restore, cleanup, restore test or configuration download
// (its button and close box end the program). Both show the run's progress from its run
// status file (bar, files, bytes, rate, time left, the file in hand), whether or not the
// job has a terminal window of its own, and, once it has ended, how it ended with the
// results one click away. The "separate window" texts appear only when a window was
// opened. Load() reads the status and starts looking again twice a second.
#ifndef NVX_WIZARD_FORMS_RUNNING_PAGE_H_
#define NVX_WIZARD_FORMS_RUNNING_PAGE_H_

#include "wizard/core/run_watch.h"
#include "wizard/forms/page.h"
#include "wizard/forms/wizard_context.h"

class QProgressBar;
class QTimer;

namespace nvx::wizard {

// What a running page shows: the window caption, Heading and SubHead, and the run it
// follows.
struct RunningTexts {
  QString caption;
  QString heading;
  QString text;
  QString results_type;
  JobLaunch launch;
};

// The Running texts; `new_configuration` adds the advice about later runs and scheduling.
RunningTexts RunningBackupTexts(bool new_configuration, const JobLaunch& launch);
// RunningRestore's defaults, the cleanup's and the configuration download's texts.
RunningTexts RestoreRunningTexts(const JobLaunch& launch);
RunningTexts CleanupRunningTexts(const JobLaunch& launch);
RunningTexts RestoreTestRunningTexts(const JobLaunch& launch);
RunningTexts DownloadRunningTexts(bool relaunch_advice, const JobLaunch& launch);

// How often the page reads the run status.
inline constexpr int kRunningRefreshMillis = 500;

class RunningPage : public Page {
  Q_OBJECT

 public:
  // `backup`: the Running page (Continue), else RunningRestore (Close Window).
  RunningPage(const RunningTexts& texts, const QString& app_folder, bool backup,
              QWidget* parent = nullptr);

  // Shows the run as its status file has it now and keeps looking until it has ended.
  void Load();
  // Reads the status once more (the timer calls it).
  void Refresh();

  // For tests: whose process counts as running.
  void SetProcessCheck(ProcessCheck runs) { runs_ = std::move(runs); }
  const RunView& view() const { return view_; }

 private:
  void ShowResults();

  RunningTexts texts_;
  QString app_folder_;
  ProcessCheck runs_ = ProcessRuns;
  RunView view_;
  QTimer* timer_;
  QLabel* state_;
  QProgressBar* bar_;
  QLabel* files_;
  QLabel* bytes_;
  QLabel* rate_;
  QLabel* time_left_;
  QLabel* current_file_;
  QPushButton* results_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_RUNNING_PAGE_H_
