// What the desktop is told when a job runner run has ended: decided from the run's last
// status (jobfiles/run_status_file.h) and the wish it carries ("notify" = failures, always
// or never). A run whose process is gone while its status still says running did not
// finish (killed, crashed, the machine stopped) and counts as a failure. Plain functions;
// any thread.
#ifndef NVX_NOTIFIER_NOTIFICATION_H_
#define NVX_NOTIFIER_NOTIFICATION_H_

#include <optional>
#include <string>

#include "jobfiles/run_status_file.h"

namespace nvx::notifier {

struct Notification {
  std::string summary;  // "Norrvault Backup failed"
  std::string body;     // how it ended, in a line or two
  bool failure = false;
  std::string results_type;  // whose results the notification's action opens
};

// The notification due for `status`, read once the run's process is gone; none when the
// run's wish says nothing is to be shown (or there is no status).
std::optional<Notification> NotificationFor(const std::optional<jobfiles::RunStatus>& status);

}  // namespace nvx::notifier

#endif  // NVX_NOTIFIER_NOTIFICATION_H_
