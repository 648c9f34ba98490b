// Sets the process's local time zone (the TZ variable) for the lifetime of the object and
// puts the previous one back afterwards. Tests that use it must not run threads that read
// local time meanwhile.
#ifndef NVX_TESTS_SUPPORT_SCOPED_TIME_ZONE_H_
#define NVX_TESTS_SUPPORT_SCOPED_TIME_ZONE_H_

#include <optional>
#include <string>

namespace nvx::test {

class ScopedTimeZone {
 public:
  // `zone` in the TZ variable's form, for instance "CET-1CEST,M3.5.0,M10.5.0/3".
  explicit ScopedTimeZone(const std::string& zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_SCOPED_TIME_ZONE_H_
