#include "notifier/notification.h"

#include "platform/clock.h"
#include "platform/text_format.h"

namespace nvx::notifier {
namespace {

std::string TimeText(int64_t seconds) {
  const platform::LocalTime time = platform::LocalTimeOf(seconds);
  return StrFormat("%2.2d/%2.2d/%4.4d %2.2d:%2.2d", time.month, time.day, time.year, time.hour,
                   time.minute);
}

}  // namespace

std::optional<Notification> NotificationFor(const std::optional<jobfiles::RunStatus>& status) {
  if (!status || status->notify == jobfiles::kNotifyNever) return std::nullopt;
  const bool finished = status->state == jobfiles::RunState::kFinished;
  Notification notification;
  notification.results_type = status->results_type;
  notification.failure = !finished || jobfiles::EndedBadly(*status);
  if (!notification.failure && status->notify != jobfiles::kNotifyAlways) return std::nullopt;

  const std::string name = "Norrvault " + status->results_type;
  if (!finished) {
    notification.summary = name + " did not finish";
    notification.body =
        "The run that started " + TimeText(status->started) + " stopped before it ended.";
  } else if (status->exit_code != 0 || !status->report) {
    notification.summary = name + " failed";
    notification.body = StrFormat("It ended %s with exit code %d", TimeText(status->ended).c_str(),
                                  status->exit_code) +
                        (status->subject.empty() ? "." : ": " + status->subject);
  } else {
    notification.summary = name + (status->errors ? " finished with errors" : " finished");
    notification.body = TimeText(status->ended) + ": " + status->subject;
  }
  if (!status->email.empty()) {
    notification.body += "\nThe results e-mail was not sent: " + status->email;
  }
  return notification;
}

}  // namespace nvx::notifier
