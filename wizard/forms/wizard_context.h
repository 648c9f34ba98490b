// What every page works with: the wizard's state, the desktop, the open backup
// configuration and the login check. The start-up procedure owns all of it and hands
// the pages one context; pages keep a reference for their life.
#ifndef NVX_WIZARD_FORMS_WIZARD_CONTEXT_H_
#define NVX_WIZARD_FORMS_WIZARD_CONTEXT_H_

#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

#include "wizard/core/config_writer.h"
#include "wizard/core/login_library.h"
#include "wizard/core/wizard_state.h"
#include "wizard/desktop/desktop.h"

namespace nvx::wizard {

// The login check of the outside library: its result (see login_library.h), or nothing
// (with the reason in *reason) when the library cannot be loaded.
using LoginCheck = std::function<std::optional<int>(const LoginRequest& request, QString* reason)>;

struct WizardContext {
  WizardState& state;
  Desktop& desktop;
  BackupConfigWriter& config;  // config.txt while the new-configuration path writes it
  LoginCheck login;
};

// True when both the ID and the password are given; otherwise the user is told so.
bool LoginFieldsFilled(WizardContext& context, const QString& id, const QString& password);

// A job runner run the wizard started: whether it has a terminal window of its own, and
// when it was started (seconds since 1970), so that its run status can be told from an
// earlier run's.
struct JobLaunch {
  bool in_window = false;
  int64_t launched_at = 0;
};

// Starts the job runner from AppFolder with `arguments` ("-f" and a job file, or none for
// config.txt) and does not wait for it. A failure to start is told to the user and gives
// none.
std::optional<JobLaunch> StartJobRunner(WizardContext& context, const QStringList& arguments);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_WIZARD_CONTEXT_H_
