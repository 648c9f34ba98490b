#include "wizard/forms/wizard_context.h"

#include <QDateTime>

#include "wizard/core/config_rewrites.h"
#include "wizard/core/login_library.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {

bool LoginFieldsFilled(WizardContext& context, const QString& id, const QString& password) {
  if (!id.isEmpty() && !password.isEmpty()) return true;
  context.desktop.Tell(kEmptyLoginMessage);
  return false;
}

std::optional<JobLaunch> StartJobRunner(WizardContext& context, const QStringList& arguments) {
  const QString& folder = context.state.app_folder;
  // Taken before the start: the run's status file is written later, never earlier.
  const int64_t launched_at = QDateTime::currentSecsSinceEpoch();
  ProgramStart start;
  start.program = AppFile(folder, "NVXbackup");
  start.arguments = arguments;
  start.working_folder = folder;
  start.output_file = LogsFolder(folder) + "/NVXbackup.out";
  const StartedProgram started = context.desktop.StartProgram(start);
  if (started.started) return JobLaunch{started.in_window, launched_at};
  context.desktop.Tell("Could not start " + start.program);
  return std::nullopt;
}

}  // namespace nvx::wizard
