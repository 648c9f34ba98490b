// What the notifier tells the desktop about a run, by the run's wish and outcome.
#include "notifier/notification.h"

#include <gtest/gtest.h>

namespace nvx::notifier {
namespace {

TEST(NotificationTest, FailuresAreToldByDefaultAndSuccessesOnlyWhenWished) {
  struct Case {
    const char* label;
    std::string_view notify;
    bool finished;
    int exit_code;
    bool report;
    bool errors;
    const char* summary;  // none: nothing is shown
  };
  const Case cases[] = {
      {"success, failures wished", jobfiles::kNotifyFailures, true, 0, true, false, nullptr},
      {"success, every run wished", jobfiles::kNotifyAlways, true, 0, true, false,
       "Norrvault Backup finished"},
      {"files failed", jobfiles::kNotifyFailures, true, 0, true, true,
       "Norrvault Backup finished with errors"},
      {"exit code", jobfiles::kNotifyFailures, true, 4, true, false, "Norrvault Backup failed"},
      {"no report", jobfiles::kNotifyFailures, true, 0, false, false, "Norrvault Backup failed"},
      {"killed", jobfiles::kNotifyFailures, false, 0, false, false,
       "Norrvault Backup did not finish"},
      {"killed, nothing wished", jobfiles::kNotifyNever, false, 0, false, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    jobfiles::RunStatus status;
    status.results_type = "Backup";
    status.notify = std::string(c.notify);
    status.state = c.finished ? jobfiles::RunState::kFinished : jobfiles::RunState::kRunning;
    status.exit_code = c.exit_code;
    status.report = c.report;
    status.errors = c.errors;
    status.subject = "Online Backup Results for bob: Errors Detected";
    const std::optional<Notification> shown = NotificationFor(status);
    ASSERT_EQ(shown.has_value(), c.summary != nullptr);
    if (shown) {
      EXPECT_EQ(shown->summary, c.summary);
      EXPECT_EQ(shown->results_type, "Backup");
    }
  }
  EXPECT_FALSE(NotificationFor(std::nullopt));
}

}  // namespace
}  // namespace nvx::notifier
