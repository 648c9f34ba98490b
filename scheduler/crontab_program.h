// The user's crontab through the crontab program: `crontab` on the PATH, or the program
// that NVX_CRONTAB names. The table is read with `crontab -l` and replaced in one step
// with `crontab FILE` from a complete file, so the user's table is never half written.
// Caller's thread.
#ifndef NVX_SCHEDULER_CRONTAB_PROGRAM_H_
#define NVX_SCHEDULER_CRONTAB_PROGRAM_H_

#include <string>

namespace nvx::scheduler {

// NVX_CRONTAB when set and not empty, else "crontab".
std::string CrontabProgram();

// The current table; empty when the user has none ("no crontab for ..."). False, with
// the reason, when it cannot be read whole: the table is then not to be replaced, since
// what was not read would be lost.
[[nodiscard]] bool ReadCrontab(const std::string& program, std::string* table, std::string* reason);

// Writes `table` to a new file in `scratch_folder` and installs it with the crontab
// program; the file is removed afterwards. False, with the reason, on any failure; the
// user's table is then as it was.
[[nodiscard]] bool InstallCrontab(const std::string& program, const std::string& scratch_folder,
                                  const std::string& table, std::string* reason);

}  // namespace nvx::scheduler

#endif  // NVX_SCHEDULER_CRONTAB_PROGRAM_H_
