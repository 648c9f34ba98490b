#include "tests/support/standard_error.h"

#include <unistd.h>

namespace nvx::test {

bool PointStandardErrorAtBrokenPipe() {
  int ends[2];
  if (::pipe(ends) != 0) return false;
  ::close(ends[0]);
  const bool ok = ::dup2(ends[1], STDERR_FILENO) == STDERR_FILENO;
  ::close(ends[1]);
  return ok;
}

bool CloseStandardError() {
  return ::close(STDERR_FILENO) == 0;
}

}  // namespace nvx::test
