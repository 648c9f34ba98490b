// The job runner's command line.
#include "runner/command_line.h"

#include <gtest/gtest.h>

namespace nvx {
namespace {

TEST(CommandLine, EveryForm) {
  using Source = CommandLine::Source;
  struct Case {
    std::vector<std::string> args;
    Source source;
    const char* file;
    int pending_exit_code;
    int poll_sleep_millis;
    int display_interval;
    bool malformed;
  };
  const Case cases[] = {
      {{}, Source::kDefaultFile, "", 0, 5, 200, false},
      {{"-f", "job.txt"}, Source::kNamedFile, "job.txt", 0, 5, 200, false},
      {{"-f", "job.txt", "-i", "10"}, Source::kNamedFile, "job.txt", 0, 100, 10, false},
      {{"-f", "job.txt", "-i", "3"}, Source::kNamedFile, "job.txt", 0, 333, 3, false},
      {{"-f", "job.txt", "-i", "1000"}, Source::kNamedFile, "job.txt", 0, 1, 1000, false},
      // 0 keeps the defaults.
      {{"-f", "job.txt", "-i", "0"}, Source::kNamedFile, "job.txt", 0, 5, 200, false},
      {{"-f", "job.txt", "-i", "1001"}, Source::kNamedFile, "job.txt", 0, 5, 200, true},
      {{"-f", "job.txt", "-i", "-2"}, Source::kNamedFile, "job.txt", 0, 5, 200, true},
      {{"-f", "job.txt", "-i", "ten"}, Source::kNamedFile, "job.txt", 0, 5, 200, true},
      {{"-f", "job.txt", "-i"}, Source::kNamedFile, "job.txt", 0, 5, 200, true},
      {{"-f", "job.txt", "-x", "5"}, Source::kNamedFile, "job.txt", 0, 5, 200, true},
      {{"-f", "job.txt", "-i", "5", "extra"}, Source::kNamedFile, "job.txt", 0, 5, 200, true},
      {{"-f"}, Source::kNone, "", 0, 5, 200, true},
      // Compared exactly: "-F" is no "-f".
      {{"-F", "job.txt"}, Source::kNone, "", 5, 5, 200, true},
      {{"-x"}, Source::kNone, "", 5, 5, 200, true},
      // Something other than "-f" first reads no file; "-i" and a number may still follow.
      {{"-i", "5"}, Source::kNone, "", 5, 200, 5, false},
      {{"-i", "0"}, Source::kNone, "", 5, 5, 200, false},
  };
  for (const Case& c : cases) {
    CommandLine line = ParseCommandLine(c.args);
    std::string label;
    for (const std::string& arg : c.args) label += arg + " ";
    EXPECT_EQ(line.source, c.source) << label;
    EXPECT_EQ(line.file, c.file) << label;
    EXPECT_EQ(line.pending_exit_code, c.pending_exit_code) << label;
    EXPECT_EQ(line.malformed, c.malformed) << label;
    if (!c.malformed) {
      EXPECT_EQ(line.poll_sleep_millis, c.poll_sleep_millis) << label;
      EXPECT_EQ(line.display_interval, c.display_interval) << label;
    }
  }
}

}  // namespace
}  // namespace nvx
