// Points the process's standard error at a pipe whose reading end is already closed, so
// that every write to it fails (and raises SIGPIPE unless that signal is held back). For
// test programs that check how they cope with an output nobody reads any more.
#ifndef NVX_TESTS_SUPPORT_BROKEN_PIPE_H_
#define NVX_TESTS_SUPPORT_BROKEN_PIPE_H_

namespace nvx::test {

bool PointStandardErrorAtBrokenPipe();

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_BROKEN_PIPE_H_
