// The texts the worker builds for the caller and for e-mail: the statistics text of a
// transfer job, and the bodies of the three e-mail commands. All run on the worker.
#ifndef NVX_API_STATISTICS_H_
#define NVX_API_STATISTICS_H_

#include <string>

#include "api/shared_block.h"
#include "platform/clock.h"

namespace nvx {

// The statistics text of the last transfer: uploads when the transfer kind is 2,
// downloads otherwise. At most kStatisticsTextMax characters.
[[nodiscard]] std::string BuildStatisticsText(SharedBlock& block);

// "mm/dd/yyyy  hh:mm:ss", as reports and e-mails show times.
[[nodiscard]] std::string FormatReportTime(const platform::LocalTime& time);

// The job summary of EmailSend: subject, job start, id, paths, log name, then the body.
[[nodiscard]] std::string BuildEmailSendText(SharedBlock& block);
// Subject and body as they are (EmailSendJustText), at most kEmailJustTextMax characters.
[[nodiscard]] std::string BuildEmailJustText(SharedBlock& block);

}  // namespace nvx

#endif  // NVX_API_STATISTICS_H_
