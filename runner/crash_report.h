// The job runner's crash report: a plain-text report appended to a file beside the
// program file when the runner dies of a processor fault, every line echoed to standard
// error, and exit code 255 so that a scheduler or the wizard sees a failure instead of a
// hanging process. The report's layout and the signal handling are platform's
// (platform/crash_handler.h); this module names the report file and installs the handler.
// Call InstallCrashHandler first thing in main, on the main thread.
#ifndef NVX_RUNNER_CRASH_REPORT_H_
#define NVX_RUNNER_CRASH_REPORT_H_

#include <string>
#include <string_view>

namespace nvx {

// The report file for the program file `program_path`: everything after the first "." of
// the whole path is replaced by "rpt" when more than two characters follow that ".";
// "/opt/nvx/NVXbackup.exe" gives "/opt/nvx/NVXbackup.rpt", and a dot in a folder name
// counts too ("/opt/my.tools/NVXbackup" gives "/opt/my.rpt"). Where that would leave the
// path unchanged (no dot, as Linux program names usually are; two characters or fewer
// after it; a program file that already ends ".rpt") ".rpt" is appended instead: the
// report must never be written into the program file itself. An empty path gives an
// empty name (no report file).
std::string CrashReportNameFor(std::string_view program_path);

// Installs the crash handler with the report beside the running program file. False
// when a signal could not be taken over; a program path that cannot be read leaves the
// report on standard error only.
bool InstallCrashHandler();

}  // namespace nvx

#endif  // NVX_RUNNER_CRASH_REPORT_H_
