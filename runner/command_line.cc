#include "runner/command_line.h"

#include <charconv>
#include <string_view>

namespace nvx {
namespace {

// The arguments after the file: none, or exactly "-i" and a number of polls per second.
bool ParsePollArguments(const std::vector<std::string>& args, size_t first, CommandLine& line) {
  if (first == args.size()) return true;
  if (args.size() - first != 2 || args[first] != "-i") return false;
  std::string_view number = args[first + 1];
  int polls = 0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), polls);
  if (number.empty() || error != std::errc() || end != number.data() + number.size()) {
    return false;
  }
  if (polls < 0 || polls > kMaxPollsPerSecond) return false;
  // 0 keeps the defaults; otherwise the display is redrawn about once a second.
  if (polls > 0) {
    line.poll_sleep_millis = 1000 / polls;
    line.display_interval = polls;
  }
  return true;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  if (args.empty()) return line;
  size_t rest = 0;
  if (args[0] == "-f") {
    if (args.size() < 2) {
      line.source = CommandLine::Source::kNone;
      line.malformed = true;
      return line;
    }
    line.source = CommandLine::Source::kNamedFile;
    line.file = args[1];
    rest = 2;
  } else {
    // Whatever stands in place of "-f" reads no file; the arguments from there on must
    // still be of the known form.
    line.source = CommandLine::Source::kNone;
    line.pending_exit_code = 5;
  }
  if (!ParsePollArguments(args, rest, line)) line.malformed = true;
  return line;
}

}  // namespace nvx
