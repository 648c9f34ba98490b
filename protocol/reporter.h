// The reporting interface of the protocol and the engines: how they tell the caller what
// happens (status message, conclusion, last HTTP response, error code), write activity-log
// lines and add notes to the results report. The layer above implements it over its own
// state and takes its locks inside, so the code below never sees a lock or a record of
// the layer above. Called on the worker thread.
#ifndef NVX_PROTOCOL_REPORTER_H_
#define NVX_PROTOCOL_REPORTER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/caller_codes.h"

namespace nvx {

// The bits of the log level (SetLogLevel); the debug bit takes the other three along.
enum LogLevel : int32_t {
  kLogActivity = 1,
  kLogErrorOnly = 2,
  kLogScript = 4,
  kLogDebug = 8,
};
// Which bits let each kind of line through.
inline constexpr int32_t kLineActivity = kLogActivity;
inline constexpr int32_t kLineError = kLogActivity | kLogErrorOnly;
inline constexpr int32_t kLineTrace = kLogScript;
inline constexpr int32_t kLineDebug = kLogDebug;
inline constexpr int32_t kLineAnyLevel = kLogActivity | kLogErrorOnly | kLogScript | kLogDebug;

// Per-file note kinds of the results report.
enum FileNoteKind : int {
  kNoteCouldNotOpen = 1,
  kNoteZeroLength = 2,
  kNoteOutOfSpace = 3,
  kNoteCommunicationFailure = 4,
  kNoteServerError = 5,
  kNoteNotInServerFolder = 6,
  kNoteUploadedUncompressed = 7,
};

class Reporter {
 public:
  virtual ~Reporter() = default;

  // The texts and the error code the caller reads.
  virtual void SetStatusMessage(std::string text) = 0;
  virtual void SetConclusion(std::string text) = 0;
  virtual void SetLastHttpResponse(std::string text) = 0;
  virtual void SetErrorCode(int32_t code) = 0;

  // An activity-log line, written when the log level has any of `bits`.
  virtual void LogText(int32_t bits, std::string_view text) = 0;
  // True when the log level has any of `bits`: work done only for a log line (a digest
  // for a trace) is skipped otherwise.
  [[nodiscard]] virtual bool Logs(int32_t bits) const {
    (void)bits;
    return false;
  }
  void LogLine(int32_t bits, const char* format, ...) __attribute__((format(printf, 3, 4)));

  // Results report: a text as it stands, and a per-file note (the file's name and folder
  // lines, then the kind's text; `system_error` is the error that made the file fail, 0
  // when none; with `report_missing` false a file that does not exist gets no note).
  virtual void WriteResultText(std::string_view text) = 0;
  virtual void AddFileNote(std::string_view path, int kind, bool report_missing,
                           int system_error) = 0;
  // Results report: the file's name and folder lines, then "was not transferred. Error
  // Code = n".
  virtual void AddFileErrorNote(std::string_view path, int error_code) = 0;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_REPORTER_H_
