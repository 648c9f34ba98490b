// The texts that close a run's results report and its e-mail summary: the subject, the
// report head with the run's times, the closing headers and notes, and the accumulated
// statistics text. Pure functions.
#ifndef NVX_RUNNER_RUN_REPORT_H_
#define NVX_RUNNER_RUN_REPORT_H_

#include <string>
#include <string_view>

#include "platform/clock.h"
#include "runner/run_decisions.h"

namespace nvx {

inline constexpr char kOutOfSpaceSentence[] =
    "No Files transferred to Norrvault because your account doesn't have enough space.";

// "Online <type> Results for <user>: Errors Detected" or ": No Errors".
std::string RunSubject(std::string_view results_type, std::string_view user, const RunFlags& flags);
// "Online <type> Results for <user>:  Out Of Space".
std::string OutOfSpaceSubject(std::string_view results_type, std::string_view user);

// "MM/DD/YYYY  hh:mm:ss".
std::string FormatRunTime(const platform::LocalTime& time);

// The subject, the start and end lines and where the details are on the PC.
std::string ReportHead(std::string_view subject, std::string_view results_type,
                       const platform::LocalTime& start, const platform::LocalTime& end,
                       std::string_view log_file_name);

// The closing texts of the report: details header, notes header and the two notes; each
// empty when the run's flags do not call for it.
struct ClosingTexts {
  std::string details_header;
  std::string notes_header;
  std::string in_use_note;
  std::string zero_length_note;
};

ClosingTexts ClosingTextsFor(const RunFlags& flags);

// Appends a job's statistics text, separated from earlier ones by an empty line.
void AppendStatistics(std::string& accumulated, std::string_view statistics);

}  // namespace nvx

#endif  // NVX_RUNNER_RUN_REPORT_H_
