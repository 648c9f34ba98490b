// The job runner's command line: no arguments (the configuration file beside the
// program), or "-f" and a file, optionally followed by "-i" and the polls per second of
// the transfer display. Pure functions.
#ifndef NVX_RUNNER_COMMAND_LINE_H_
#define NVX_RUNNER_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace nvx {

inline constexpr char kUsageText[] = " usage: testapi -f CONFIGURATIONFILE\n";

inline constexpr int kDefaultPollSleepMillis = 5;
inline constexpr int kDefaultDisplayInterval = 200;
// Above this many polls per second the poll sleep would round to nothing.
inline constexpr int kMaxPollsPerSecond = 1000;

struct CommandLine {
  enum class Source {
    kDefaultFile,  // no arguments: "config.txt" beside the program
    kNamedFile,    // "-f" file
    kNone,         // no file is read
  };
  Source source = Source::kDefaultFile;
  std::string file;
  // The exit code of a run without jobs: 5 when the first argument was not "-f".
  int pending_exit_code = 0;
  int poll_sleep_millis = kDefaultPollSleepMillis;
  int display_interval = kDefaultDisplayInterval;
  // The arguments are not of a known form: after any file is read, the usage text is
  // printed and the run ends with 20.
  bool malformed = false;
};

// `args` are the arguments after the program's name, compared exactly.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace nvx

#endif  // NVX_RUNNER_COMMAND_LINE_H_
