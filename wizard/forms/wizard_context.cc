#include "wizard/forms/wizard_context.h"

#include "wizard/core/config_rewrites.h"
#include "wizard/core/login_library.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {

bool CheckLogin(WizardContext& context, const QString& id, const QString& password) {
  if (id.isEmpty() || password.isEmpty()) {
    context.desktop.Tell(kEmptyLoginMessage);
    return false;
  }
  QString reason;
  context.desktop.BusyPointer(true);
  std::optional<int> result = context.login(id, password, &reason);
  context.desktop.BusyPointer(false);
  if (!result) {
    context.desktop.Tell(kLoginUnavailablePrefix + reason);
    return false;
  }
  QString refusal = LoginRefusalMessage(*result);
  if (!refusal.isEmpty()) {
    context.desktop.Tell(refusal);
    return false;
  }
  return true;
}

bool StartJobRunner(WizardContext& context, const QStringList& arguments) {
  const QString& folder = context.state.app_folder;
  ProgramStart start;
  start.program = AppFile(folder, "NVXbackup");
  start.arguments = arguments;
  start.working_folder = folder;
  start.output_file = LogsFolder(folder) + "/NVXbackup.out";
  if (context.desktop.StartProgram(start)) return true;
  context.desktop.Tell("Could not start " + start.program);
  return false;
}

}  // namespace nvx::wizard
