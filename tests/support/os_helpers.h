// Small operating-system helpers for tests: folders, permissions, named pipes, and work
// done in a forked child. Each throws std::runtime_error when the system refuses, so that
// a broken set-up fails the test loudly. Used by one test thread.
#ifndef NVX_TESTS_SUPPORT_OS_HELPERS_H_
#define NVX_TESTS_SUPPORT_OS_HELPERS_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace nvx::test {

void MakeFolder(const std::string& path);
void SetPermissions(const std::string& path, uint32_t mode);
uint32_t PermissionsOf(const std::string& path);
bool IsSuperuser();
// The scheduling priority (nice value) of the calling process.
int CurrentNiceValue();
bool PathExists(const std::string& path);

// A named pipe (FIFO): opening it for writing blocks until a reader opens it.
void MakeFifo(const std::string& path);
// Opens the FIFO for reading and reads until its writer closes it; none when no writer
// came and went within `bound`.
std::optional<std::string> ReadFifo(const std::string& path, std::chrono::milliseconds bound);

// Runs `body` in a forked child and returns its result as the child's exit code (128 + the
// signal number when a signal ended it). With `output_to_pipe` the child's standard
// output is a pipe.
int RunInChild(const std::function<int()>& body, bool output_to_pipe = false);

// A forked child that does `take` (for example takes a lock), reports that it is done,
// and then waits until it is killed.
class ChildHolding {
 public:
  explicit ChildHolding(const std::function<bool()>& take);
  ~ChildHolding();
  ChildHolding(const ChildHolding&) = delete;
  ChildHolding& operator=(const ChildHolding&) = delete;

  // What `take` returned in the child.
  bool took() const { return took_; }
  // Ends the child at once, as a crash would, and reaps it.
  void Kill();

 private:
  pid_t pid_ = -1;
  bool took_ = false;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_OS_HELPERS_H_
