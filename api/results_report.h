// The results report of a run. During the run, job messages and per-file notes are
// appended to the pending file ("<results type> Results.tmp" in the log directory);
// PendAndClose writes the final file ("<results type> Results.txt"): the caller's head,
// the pending text, then the closing notes. The caller's thread writes while no command
// is busy and the worker while one is, so the two never write at once; both take the
// trace lock all the same.
#ifndef NVX_API_RESULTS_REPORT_H_
#define NVX_API_RESULTS_REPORT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "api/shared_block.h"
#include "protocol/reporter.h"  // the note kinds

namespace nvx {

[[nodiscard]] std::string PendingResultsName(const SharedBlock& block);
[[nodiscard]] std::string FinalResultsName(const SharedBlock& block);

// Opens (empties) the pending results file; the trace lock is held by the caller.
void OpenPendingResults(SharedBlock& block) REQUIRES(block.trace_lock);

// Appends `text` to the pending file when it is open.
void WriteResultText(SharedBlock& block, std::string_view text);

// Finishes the report; a null text is left out.
void PendAndClose(SharedBlock& block, const char* head, const char* details_header,
                  const char* extra, const char* notes_header, const char* note1,
                  const char* note2);

// A per-file note: the file's name and folder lines, then the kind's text.
// `system_error` is the error that made the file fail (0 when none); with
// `report_missing` false a file that does not exist gets no note.
void AddFileNote(SharedBlock& block, std::string_view path, int kind, bool report_missing,
                 int system_error);
// The name and folder lines, then "was not transferred. Error Code = n".
void AddFileErrorNote(SharedBlock& block, std::string_view path, int error_code);

}  // namespace nvx

#endif  // NVX_API_RESULTS_REPORT_H_
