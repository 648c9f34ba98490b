// Takes a test program's standard error away in the ways a real one can lose it: a pipe
// whose reader is gone (every write fails, and raises SIGPIPE unless that signal is held
// back), or no standard error at all (the next file opened takes its number).
#ifndef NVX_TESTS_SUPPORT_STANDARD_ERROR_H_
#define NVX_TESTS_SUPPORT_STANDARD_ERROR_H_

namespace nvx::test {

bool PointStandardErrorAtBrokenPipe();
bool CloseStandardError();

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_STANDARD_ERROR_H_
