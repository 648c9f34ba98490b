#include "runner/run_report.h"

#include "platform/text_format.h"

namespace nvx {
namespace {

std::string SubjectStart(std::string_view results_type, std::string_view user) {
  return "Online " + std::string(results_type) + " Results for " + std::string(user);
}

}  // namespace

std::string RunSubject(std::string_view results_type, std::string_view user,
                       const RunFlags& flags) {
  bool problems = flags.errors_seen || flags.notes_seen || flags.command_failed;
  return SubjectStart(results_type, user) + (problems ? ": Errors Detected" : ": No Errors");
}

std::string OutOfSpaceSubject(std::string_view results_type, std::string_view user) {
  return SubjectStart(results_type, user) + ":  Out Of Space";
}

std::string FormatRunTime(const platform::LocalTime& time) {
  return StrFormat("%2.2d/%2.2d/%4.4d  %2.2d:%2.2d:%2.2d", time.month, time.day, time.year,
                   time.hour, time.minute, time.second);
}

std::string ReportHead(std::string_view subject, std::string_view results_type,
                       const platform::LocalTime& start, const platform::LocalTime& end,
                       std::string_view log_file_name) {
  std::string type(results_type);
  std::string head(subject);
  head += "\r\n";
  head += type + " Job Started at " + FormatRunTime(start) + "\r\n";
  head += type + " Job Ended at " + FormatRunTime(end) + "\r\n";
  head += "Details on PC in  " + std::string(log_file_name) + "\r\n\r\n\r\n";
  return head;
}

ClosingTexts ClosingTextsFor(const RunFlags& flags) {
  ClosingTexts texts;
  if (flags.errors_seen || flags.zero_length_seen) {
    texts.details_header = "\r\n\r\nDETAILS ON ERRORS AND WARNINGS:\r\n";
    texts.notes_header = "\r\n\r\nNOTES:\r\n\r\n";
  }
  if (flags.errors_seen) {
    texts.in_use_note =
        "When a file cannot be opened by the File Transfer process it cannot be "
        "transferred.\r\nThe usual reason a file cannot be opened is because the file was in "
        "use by another application.\r\n\r\n";
  }
  if (flags.zero_length_seen) {
    texts.zero_length_note =
        "Zero-length files contain no data and are ignored.\r\nThe presence of zero-length "
        "files may be normal, depending on the specific application that created them, but "
        "they are not transferred.\r\n\r\n";
  }
  return texts;
}

void AppendStatistics(std::string& accumulated, std::string_view statistics) {
  if (!accumulated.empty()) accumulated += "\r\n\r\n";
  accumulated += statistics;
}

}  // namespace nvx
