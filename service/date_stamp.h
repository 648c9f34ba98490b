// The server date stamp: 14 upper-case hexadecimal digits, the year in 4 and month, day,
// hour, minute and second in 2 each, in UTC (2004-03-05 14:07:09 is 07D403050E0709).
// Pure functions; any thread.
#ifndef NVX_SERVICE_DATE_STAMP_H_
#define NVX_SERVICE_DATE_STAMP_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace nvx::service {

// The stamp of a moment given in seconds since 1970-01-01 UTC.
std::string DateStampOf(int64_t seconds_since_epoch);

// True for 14 hexadecimal digits whose fields form a plausible calendar time.
bool IsDateStamp(std::string_view text);

}  // namespace nvx::service

#endif  // NVX_SERVICE_DATE_STAMP_H_
