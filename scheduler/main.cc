// NVXscheduledBackup: reads BackupSchedule.txt from its own folder and makes the user's
// crontab start NVXbackup from that folder at the chosen hour, every day or on the chosen
// weekday, through exactly one marked line; "none" removes that line. When the file asks
// for the weekly restore test, a second line with its own marker starts NVXbackup with
// restoretest-config.txt once a week; it is removed when the file no longer asks for it
// or schedules no backups. Every other line of the table stays as it was. Exit codes: 0 done (or
// nothing to change), 1 the schedule file is missing or malformed, 2 the crontab could not be read
// or replaced. On failure nothing has changed and standard error says why.
#include <cstdio>
#include <optional>
#include <string>

#include "jobfiles/backup_schedule_file.h"
#include "platform/error_text.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "scheduler/crontab_program.h"
#include "scheduler/crontab_table.h"
#include "scheduler/scheduler_limits.h"

namespace {

constexpr int kDone = 0;
constexpr int kBadSchedule = 1;
constexpr int kCrontabFailed = 2;

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "NVXscheduledBackup: %s\n", message.c_str());
  return code;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The whole schedule file, or none with the reason.
std::optional<std::string> ReadScheduleFile(const std::string& path, std::string* reason) {
  nvx::platform::File file = nvx::platform::File::Open(path, nvx::platform::File::Access::kRead);
  if (!file.is_open()) {
    *reason = "cannot read " + path + ": " + nvx::platform::ErrorText(file.error());
    return std::nullopt;
  }
  std::string text(nvx::jobfiles::kMaxScheduleFileBytes + 1, '\0');
  const int64_t count = file.ReadFully(text.data(), text.size());
  if (count < 0) {
    *reason = "cannot read " + path + ": " + nvx::platform::ErrorText(file.error());
    return std::nullopt;
  }
  if (static_cast<size_t>(count) > nvx::jobfiles::kMaxScheduleFileBytes) {
    *reason = path + " is too large for a schedule";
    return std::nullopt;
  }
  text.resize(static_cast<size_t>(count));
  return text;
}

}  // namespace

int main() {
  using namespace nvx::scheduler;
  const std::string executable = nvx::platform::ExecutablePath();
  if (executable.empty()) return Fail(kBadSchedule, "cannot find the program's own folder");
  const std::string folder = FolderOf(executable);
  const std::string schedule_path =
      nvx::platform::JoinDirectory(folder, std::string(nvx::jobfiles::kScheduleFileName));

  std::string reason;
  const std::optional<std::string> text = ReadScheduleFile(schedule_path, &reason);
  if (!text) return Fail(kBadSchedule, reason);
  const std::optional<Schedule> schedule = nvx::jobfiles::ParseSchedule(*text, &reason);
  if (!schedule) {
    return Fail(kBadSchedule, schedule_path + ": " + reason + "; the crontab is unchanged");
  }
  std::optional<std::string> line;
  std::optional<std::string> restore_test_line;
  if (!schedule->none()) {
    std::string quoted;
    if (!QuoteFolderForCron(folder, &quoted)) {
      return Fail(kBadSchedule, "the folder name holds a line end, which a crontab line cannot");
    }
    line = ScheduledLine(*schedule, quoted);
    if (schedule->restore_test) restore_test_line = RestoreTestLine(*schedule, quoted);
  }

  const std::string program = CrontabProgram();
  std::string table;
  if (!ReadCrontab(program, &table, &reason)) {
    return Fail(kCrontabFailed, reason + "; the crontab is unchanged");
  }
  const std::string updated =
      UpdatedTable(UpdatedTable(table, line), restore_test_line, kRestoreTestCrontabMarker);
  if (updated == table) return kDone;
  if (!InstallCrontab(program, folder, updated, &reason)) {
    return Fail(kCrontabFailed, reason + "; the crontab is unchanged");
  }
  if (line) {
    std::printf("Scheduled: %s\n", line->c_str());
  } else {
    std::printf("Scheduled backups removed\n");
  }
  if (restore_test_line) std::printf("Scheduled: %s\n", restore_test_line->c_str());
  return kDone;
}
