// Server date stamps, as the library writes them (X-NVX-DINSDALE) and the service keeps
// and lists them: 14 upper-case hexadecimal digits holding a UTC time as year (4 digits),
// month, day, hour, minute and second (2 digits each); 2004-03-05 14:07:09 UTC is
// "07D403050E0709". Times are seconds since 1970-01-01 UTC, 64-bit, whole seconds. The
// conversions are pure calendar arithmetic; any thread.
#ifndef NVX_WIRE_DATE_STAMP_H_
#define NVX_WIRE_DATE_STAMP_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nvx {

// The stamp of a time; none when the time lies outside the years 1601 to 30827, which
// the stamp's calendar cannot hold.
std::optional<std::string> FormatDateStamp(int64_t utc_seconds);

// The time a stamp names. The digit groups are read at positions 0-3, 4-5, 6-7, 8-9,
// 10-11 and 12-13; groups past the end of a shorter stamp read as 0. None when the stamp
// is shorter than 6 characters, holds a character that is not a hexadecimal digit in a
// group it has, or names no valid calendar time (month 0, day 32, hour 24 ...).
std::optional<int64_t> ParseDateStamp(std::string_view stamp);

// The service's check of a stamp it is to keep: exactly 14 upper-case hexadecimal digits
// whose fields are a plausible calendar time (month 1 to 12, day 1 to 31, hour up to 23,
// minute up to 59, second up to 60). Looser than ParseDateStamp about the calendar,
// stricter about the form: a stored stamp is listed back exactly as it came.
bool IsDateStamp(std::string_view text);

// Sets the last-write time of the file at `path` from a stamp. False (nothing changed)
// when the stamp does not parse or the file's time cannot be set; `error` receives the
// system error number in the second case, 0 in the first.
bool ApplyDateStamp(const std::string& path, std::string_view stamp, int* error = nullptr);

}  // namespace nvx

#endif  // NVX_WIRE_DATE_STAMP_H_
