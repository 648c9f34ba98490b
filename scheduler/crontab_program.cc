#include "scheduler/crontab_program.h"

#include "platform/error_text.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/program_run.h"
#include "scheduler/scheduler_limits.h"

namespace nvx::scheduler {
namespace {

// The program's complaint, or how it ended when it said nothing.
std::string Complaint(const std::string& program, const platform::ProgramResult& result) {
  if (!result.started) {
    return "cannot start " + program + ": " + platform::ErrorText(result.start_error);
  }
  std::string text = result.err;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) text = "ended with exit code " + std::to_string(result.exit_code);
  return program + ": " + text;
}

}  // namespace

std::string CrontabProgram() {
  const std::optional<std::string> chosen = platform::EnvironmentValue("NVX_CRONTAB");
  return chosen && !chosen->empty() ? *chosen : std::string("crontab");
}

bool ReadCrontab(const std::string& program, std::string* table, std::string* reason) {
  // One byte more than the bound tells a table at the bound from a longer one.
  const platform::ProgramResult result =
      platform::RunProgram({program, "-l"}, kMaxCrontabBytes + 1);
  if (result.started && result.exit_code == 0) {
    if (result.out.size() > kMaxCrontabBytes) {
      *reason = "the crontab is larger than " + std::to_string(kMaxCrontabBytes) + " bytes";
      return false;
    }
    *table = result.out;
    return true;
  }
  // A user without a table: crontab says so and ends with 1.
  if (result.started && result.exit_code == 1 && result.out.empty() &&
      result.err.starts_with("no crontab for ")) {
    table->clear();
    return true;
  }
  *reason = Complaint(program, result);
  return false;
}

bool InstallCrontab(const std::string& program, const std::string& scratch_folder,
                    const std::string& table, std::string* reason) {
  int error = 0;
  const std::string path = platform::CreateUniqueFile(scratch_folder, ".crontab.", &error);
  if (path.empty()) {
    *reason = "cannot create a file in " + scratch_folder + ": " + platform::ErrorText(error);
    return false;
  }
  platform::File file = platform::File::Open(path, platform::File::Access::kCreateTruncate);
  const bool written = file.is_open() && file.Write(table) && file.Sync();
  error = file.error();
  file.Close();
  bool installed = false;
  if (!written) {
    *reason = "cannot write " + path + ": " + platform::ErrorText(error);
  } else {
    const platform::ProgramResult result =
        platform::RunProgram({program, path}, kMaxCrontabMessageBytes);
    installed = result.started && result.exit_code == 0;
    if (!installed) *reason = Complaint(program, result);
  }
  platform::RemoveFile(path);
  return installed;
}

}  // namespace nvx::scheduler
