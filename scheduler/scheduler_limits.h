// The bounds of NVXscheduledBackup: what it reads is refused, never cut, when it is
// larger than these.
#ifndef NVX_SCHEDULER_SCHEDULER_LIMITS_H_
#define NVX_SCHEDULER_SCHEDULER_LIMITS_H_

#include <cstddef>

namespace nvx::scheduler {

// BackupSchedule.txt is bounded by its format (jobfiles::kMaxScheduleFileBytes).
// The user's crontab as `crontab -l` prints it. A larger table is left alone rather than
// reinstalled from a part of it.
inline constexpr size_t kMaxCrontabBytes = 1024 * 1024;
// What the crontab program says on standard error, kept for the message.
inline constexpr size_t kMaxCrontabMessageBytes = 4096;

}  // namespace nvx::scheduler

#endif  // NVX_SCHEDULER_SCHEDULER_LIMITS_H_
