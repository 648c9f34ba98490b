// The crash report as a user finds it: a test program installs the job runner's crash
// handler and faults; the report beside it, its standard error and its exit status are
// checked. The program is copied into a temporary folder first, because the report's
// place follows the program's path.
#include <charconv>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/crash_handler.h"
#include "runner/crash_report.h"
#include "tests/support/child_process.h"
#include "tests/support/process_signal.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

namespace fs = std::filesystem;

constexpr int kCrashExit = 255;

struct CrashRun {
  std::optional<int> exit_code;  // none: still running after the bound (then killed)
  std::string error;             // standard error
};

// The lines of a text whose every line ends CR LF (the line ends themselves removed).
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text after the last CR LF";
  return lines;
}

bool EveryLineFeedFollowsCarriageReturn(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

// The standard error of a crash is its report followed by the closing message.
std::string ReportPartOf(const std::string& error) {
  const std::string message(platform::kCrashClosingMessage);
  EXPECT_TRUE(error.size() >= message.size() &&
              error.compare(error.size() - message.size(), message.size(), message) == 0)
      << "standard error does not end with the closing message:\n"
      << error;
  return error.size() >= message.size() ? error.substr(0, error.size() - message.size()) : error;
}

struct ReportFacts {
  std::string time_line;
  std::string code_line;
  std::string fault_address;
  std::string stack_pointer;
  std::string fault_module;
  std::vector<std::string> stack;  // the stack entries
};

// Checks the layout of one report line by line and returns what the tests look at.
ReportFacts CheckLayout(const std::string& report) {
  ReportFacts facts;
  EXPECT_TRUE(EveryLineFeedFollowsCarriageReturn(report));
  const std::vector<std::string> lines = SplitLines(report);
  const std::regex hex16("[0-9A-F]{16}");
  const std::vector<std::pair<std::string, std::regex>> head = {
      {"time", std::regex(R"(Unhandled exception: \d\d/\d\d/\d{4} \d\d:\d\d:\d\d)")},
      {"code", std::regex(R"(Exception code: [0-9A-F]{8} [A-Z_]+)")},
      {"fault", std::regex(R"(Fault address:  ([0-9A-F]{16}) ([0-9A-F]{2}):[0-9A-F]{16} (.*))")},
      {"blank", std::regex("")},
      {"registers", std::regex("Registers:")},
      {"RAX", std::regex("RAX:[0-9A-F]{16}")},
      {"RBX", std::regex("RBX:[0-9A-F]{16}")},
      {"RCX", std::regex("RCX:[0-9A-F]{16}")},
      {"RDX", std::regex("RDX:[0-9A-F]{16}")},
      {"RSI", std::regex("RSI:[0-9A-F]{16}")},
      {"RDI", std::regex("RDI:[0-9A-F]{16}")},
      {"R8", std::regex("R8:[0-9A-F]{16}")},
      {"R9", std::regex("R9:[0-9A-F]{16}")},
      {"R10", std::regex("R10:[0-9A-F]{16}")},
      {"R11", std::regex("R11:[0-9A-F]{16}")},
      {"R12", std::regex("R12:[0-9A-F]{16}")},
      {"R13", std::regex("R13:[0-9A-F]{16}")},
      {"R14", std::regex("R14:[0-9A-F]{16}")},
      {"R15", std::regex("R15:[0-9A-F]{16}")},
      {"RIP", std::regex("CS:RIP:[0-9A-F]{4}:([0-9A-F]{16})")},
      {"RSP", std::regex("SS:RSP:[0-9A-F]{4}:([0-9A-F]{16})  RBP:[0-9A-F]{16}")},
      {"segments", std::regex("DS:[0-9A-F]{4}  ES:[0-9A-F]{4}  FS:[0-9A-F]{4}  GS:[0-9A-F]{4}")},
      {"flags", std::regex("EFLAGS:[0-9A-F]{8}")},
      {"call stack", std::regex("Call stack:")},
      {"columns", std::regex("Address\tFrame")},
  };
  if (lines.size() < head.size() + 2) {
    ADD_FAILURE() << "report too short:\n" << report;
    return facts;
  }
  std::string rip;
  for (size_t i = 0; i < head.size(); ++i) {
    std::smatch match;
    EXPECT_TRUE(std::regex_match(lines[i], match, head[i].second))
        << head[i].first << " line " << i + 1 << ": " << lines[i];
    if (head[i].first == "fault" && match.size() == 4) {
      facts.fault_address = match[1];
      EXPECT_NE(match[2], "00") << "no segment holds the faulting instruction";
      facts.fault_module = match[3];
    }
    if (head[i].first == "RIP" && match.size() == 2) rip = match[1];
    if (head[i].first == "RSP" && match.size() == 2) facts.stack_pointer = match[1];
  }
  facts.time_line = lines[0];
  facts.code_line = lines[1];
  EXPECT_EQ(rip, facts.fault_address);
  EXPECT_EQ(lines.back(), "") << "the report ends with an empty line";
  const std::regex entry(
      R"(([0-9A-F]{16})\t[0-9A-F]{16}\t(\S.*\+[0-9A-F]+|[0-9A-F]{4}:[0-9A-F]{16} .*))");
  for (size_t i = head.size(); i + 1 < lines.size(); ++i) {
    std::smatch match;
    EXPECT_TRUE(std::regex_match(lines[i], match, entry)) << "stack entry: " << lines[i];
    facts.stack.push_back(lines[i]);
  }
  EXPECT_GE(facts.stack.size(), 1u);
  EXPECT_LE(facts.stack.size(), static_cast<size_t>(platform::kCrashReportMaxFrames));
  if (!facts.stack.empty()) {
    EXPECT_EQ(facts.stack[0].substr(0, 16), facts.fault_address)
        << "the first entry is the faulting instruction";
    EXPECT_EQ(facts.stack[0].substr(17, 16), facts.stack_pointer)
        << "the faulting frame's stack pointer";
  }
  return facts;
}

class CrashReportTest : public ::testing::Test {
 protected:
  // Copies the test program to `relative` below the temporary folder.
  std::string PlaceProgram(const std::string& relative) {
    const fs::path target = fs::path(dir_.path()) / relative;
    fs::create_directories(target.parent_path());
    fs::copy_file(NVX_CRASH_VICTIM, target, fs::copy_options::overwrite_existing);
    return target.string();
  }

  static CrashRun Run(const std::string& program, const std::string& mode,
                      const std::vector<std::string>& environment = {}) {
    const test::RunResult result =
        test::RunProgram(program, {.args = {mode}, .env = environment, .working_directory = {}});
    return {result.exit_code, result.err};
  }

  test::TempDir dir_;
};

void ExpectCrashExit(const CrashRun& run) {
  ASSERT_TRUE(run.exit_code.has_value()) << "still running";
  // A process that a signal ended shows 128 + the signal's number.
  EXPECT_EQ(*run.exit_code, kCrashExit) << run.error;
}

TEST_F(CrashReportTest, EachFaultIsReportedWithItsExceptionCode) {
  const struct {
    const char* mode;
    const char* code_line;
  } cases[] = {
      {"null-write", "Exception code: C0000005 ACCESS_VIOLATION"},
      {"thread-null-write", "Exception code: C0000005 ACCESS_VIOLATION"},
      // Only one of the faulting threads reports.
      {"threads-null-write", "Exception code: C0000005 ACCESS_VIOLATION"},
      {"thread-recurse", "Exception code: C00000FD STACK_OVERFLOW"},
      {"divide", "Exception code: C0000094 INT_DIVIDE_BY_ZERO"},
      {"recurse", "Exception code: C00000FD STACK_OVERFLOW"},
      {"trap", "Exception code: C000001D ILLEGAL_INSTRUCTION"},
      {"breakpoint", "Exception code: 80000003 BREAKPOINT"},
      {"bus", "Exception code: C0000006 IN_PAGE_ERROR"},
  };
  const std::string program = PlaceProgram("crash_victim");
  const std::string report_path = CrashReportNameFor(program);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    fs::remove(report_path);
    const CrashRun run = Run(program, c.mode);
    ExpectCrashExit(run);
    const std::string report = test::ReadFileText(report_path);
    EXPECT_EQ(report, ReportPartOf(run.error)) << "standard error got every report line";
    EXPECT_EQ(report.find("Unhandled exception:", 1), std::string::npos) << "one report";
    const ReportFacts facts = CheckLayout(report);
    EXPECT_EQ(facts.code_line, c.code_line);
    EXPECT_EQ(facts.fault_module, program) << "the fault lies in the program's own code";
  }
}

TEST_F(CrashReportTest, StackEntriesNameExportedFunctionsAndModules) {
  const std::string program = PlaceProgram("crash_victim");
  const CrashRun run = Run(program, "null-write");
  ExpectCrashExit(run);
  const ReportFacts facts = CheckLayout(test::ReadFileText(CrashReportNameFor(program)));
  ASSERT_GE(facts.stack.size(), 3u) << "the walk crossed the signal frame into main";
  // The faulting function is exported by the program, so its demangled name shows.
  EXPECT_NE(facts.stack[0].find("\tnvx_victim::WriteThroughNull+"), std::string::npos)
      << facts.stack[0];
  // main is not exported: its entry names the program's segment.
  const std::regex segment_entry("[0-9A-F]{16}\t[0-9A-F]{16}\t0[0-9A-F]{3}:[0-9A-F]{16} (.*)");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(facts.stack[1], match, segment_entry)) << facts.stack[1];
  EXPECT_EQ(match[1], program);
}

TEST_F(CrashReportTest, RunawayRecursionStopsAtTheFrameLimit) {
  const std::string program = PlaceProgram("crash_victim");
  const CrashRun run = Run(program, "recurse");
  ExpectCrashExit(run);
  const ReportFacts facts = CheckLayout(test::ReadFileText(CrashReportNameFor(program)));
  EXPECT_EQ(facts.code_line, "Exception code: C00000FD STACK_OVERFLOW");
  EXPECT_EQ(facts.stack.size(), static_cast<size_t>(platform::kCrashReportMaxFrames));
}

TEST_F(CrashReportTest, TwoCrashesAppendTwoReportsOlderFirst) {
  const std::string program = PlaceProgram("crash_victim");
  const CrashRun first = Run(program, "divide");
  const CrashRun second = Run(program, "null-write");
  ExpectCrashExit(first);
  ExpectCrashExit(second);
  EXPECT_EQ(test::ReadFileText(CrashReportNameFor(program)),
            ReportPartOf(first.error) + ReportPartOf(second.error));
}

TEST_F(CrashReportTest, ReportLiesWhereTheProgramPathSaysIt) {
  if (dir_.path().find('.') != std::string::npos) {
    GTEST_SKIP() << "the temporary folder's own path holds a dot: " << dir_.path();
  }
  const struct {
    const char* program;
    const char* report;
  } cases[] = {
      {"crash_victim", "crash_victim.rpt"},
      {"crash_victim.exe", "crash_victim.rpt"},
      {"my.folder/crash_victim", "my.rpt"},
      {"cv.ab", "cv.ab.rpt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const std::string program = PlaceProgram(c.program);
    const std::string report = dir_.File(c.report);
    fs::remove(report);
    const CrashRun run = Run(program, "null-write");
    ExpectCrashExit(run);
    ASSERT_TRUE(fs::is_regular_file(report));
    EXPECT_EQ(test::ReadFileText(report), ReportPartOf(run.error));
    fs::remove(report);
  }
  EXPECT_FALSE(fs::exists(dir_.File("my.folder/crash_victim.rpt")));
}

TEST_F(CrashReportTest, UnopenableReportStillEndsTheProcessWithTheMessage) {
  const std::string program = PlaceProgram("crash_victim");
  // A folder in the report's place: the file cannot be opened.
  fs::create_directory(CrashReportNameFor(program));
  const CrashRun run = Run(program, "null-write");
  ExpectCrashExit(run);
  const ReportFacts facts = CheckLayout(ReportPartOf(run.error));
  EXPECT_EQ(facts.code_line, "Exception code: C0000005 ACCESS_VIOLATION");
  EXPECT_TRUE(fs::is_directory(CrashReportNameFor(program)));
}

// Standard error gone: the report file still gets one whole report, once.
TEST_F(CrashReportTest, LostStandardErrorLeavesTheReportWhole) {
  const std::string program = PlaceProgram("crash_victim");
  const std::string report_path = CrashReportNameFor(program);
  for (const char* mode : {"broken-pipe", "no-stderr"}) {
    SCOPED_TRACE(mode);
    fs::remove(report_path);
    const CrashRun run = Run(program, mode);
    ExpectCrashExit(run);
    const std::string report = test::ReadFileText(report_path);
    EXPECT_EQ(report.find("Unhandled exception:", 1), std::string::npos) << "one report";
    EXPECT_EQ(report.find("An unhandled exception has occurred."), std::string::npos);
    const ReportFacts facts = CheckLayout(report);
    EXPECT_EQ(facts.code_line, "Exception code: C0000005 ACCESS_VIOLATION");
  }
}

TEST_F(CrashReportTest, SignalSentByAnotherProcessIsReported) {
  const struct {
    int signal;
    const char* code_line;
  } cases[] = {
      {SIGSEGV, "Exception code: C0000005 ACCESS_VIOLATION"},
      {SIGBUS, "Exception code: C0000006 IN_PAGE_ERROR"},
      {SIGFPE, "Exception code: C0000094 INT_DIVIDE_BY_ZERO"},
      {SIGILL, "Exception code: C000001D ILLEGAL_INSTRUCTION"},
      {SIGTRAP, "Exception code: 80000003 BREAKPOINT"},
  };
  const std::string program = PlaceProgram("crash_victim");
  const std::string report_path = CrashReportNameFor(program);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal);
    fs::remove(report_path);
    test::ChildProcess child(program, {.args = {"wait"}, .env = {}, .working_directory = {}});
    ASSERT_TRUE(child.WaitForOutput("\n", std::chrono::seconds(30)));
    int process_id = 0;
    const std::string ready = child.out();
    ASSERT_EQ(ready.rfind("ready ", 0), 0u) << ready;
    std::from_chars(ready.data() + 6, ready.data() + ready.size(), process_id);
    ASSERT_TRUE(test::SendSignal(process_id, c.signal));
    CrashRun run{child.Wait(std::chrono::seconds(60)), ""};
    run.error = child.err();
    ExpectCrashExit(run);
    const ReportFacts facts = CheckLayout(test::ReadFileText(report_path));
    EXPECT_EQ(facts.code_line, c.code_line);
  }
}

// The time of the crash is local time, worked out without the C library's time-zone
// code inside the handler: a zone far from UTC shows whether the offset is applied.
TEST_F(CrashReportTest, TimeOfTheCrashIsLocalTime) {
  using namespace std::chrono;
  const std::string program = PlaceProgram("crash_victim");
  const auto before = system_clock::now();
  const CrashRun run = Run(program, "null-write", {"TZ=NVX-05:30"});
  const auto after = system_clock::now();
  ExpectCrashExit(run);
  const ReportFacts facts = CheckLayout(test::ReadFileText(CrashReportNameFor(program)));
  std::smatch match;
  const std::regex time_line(R"(Unhandled exception: (\d\d)/(\d\d)/(\d{4}) (\d\d):(\d\d):(\d\d))");
  ASSERT_TRUE(std::regex_match(facts.time_line, match, time_line)) << facts.time_line;
  auto number = [&match](int i) { return std::stoi(match[i].str()); };
  const year_month_day date{year(number(3)), month(static_cast<unsigned>(number(1))),
                            day(static_cast<unsigned>(number(2)))};
  ASSERT_TRUE(date.ok()) << facts.time_line;
  const auto shown = sys_days(date) + hours(number(4)) + minutes(number(5)) + seconds(number(6));
  const auto offset = hours(5) + minutes(30);
  EXPECT_GE(shown, floor<seconds>(before + offset));
  EXPECT_LE(shown, ceil<seconds>(after + offset));
}

}  // namespace
}  // namespace nvx
