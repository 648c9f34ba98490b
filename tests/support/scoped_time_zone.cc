#include "tests/support/scoped_time_zone.h"

#include <stdlib.h>
#include <time.h>

namespace nvx::test {

ScopedTimeZone::ScopedTimeZone(const std::string& zone) {
  if (const char* previous = ::getenv("TZ")) previous_ = previous;
  ::setenv("TZ", zone.c_str(), 1);
  ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (previous_) {
    ::setenv("TZ", previous_->c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace nvx::test
