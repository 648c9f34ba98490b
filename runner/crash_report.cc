#include "runner/crash_report.h"

#include "platform/crash_handler.h"
#include "platform/file_system.h"

namespace nvx {

std::string CrashReportNameFor(std::string_view program_path) {
  if (program_path.empty()) return {};
  std::string name(program_path);
  const size_t dot = name.find('.');
  if (dot != std::string::npos && name.size() - dot - 1 > 2)
    name.replace(dot + 1, name.npos, "rpt");
  // The report must never be written into the program file itself.
  if (name == program_path) name += ".rpt";
  return name;
}

bool InstallCrashHandler() {
  return platform::InstallCrashSignalHandlers(CrashReportNameFor(platform::ExecutablePath()));
}

}  // namespace nvx
