// The run mutex: a machine-wide mutex between processes, known by a name, that lets one
// job runner run proceed at a time. It is an exclusive flock on a file named after the
// mutex in $XDG_RUNTIME_DIR (else /tmp). The kernel releases the lock when its holder
// ends in any way, so a mutex left behind by a run that died is simply free again.
//
// A RunMutex is used by one thread. Two RunMutex objects of one process on the same name
// exclude each other like two processes do (each holds its own open file).
#ifndef NVX_PLATFORM_RUN_MUTEX_H_
#define NVX_PLATFORM_RUN_MUTEX_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace nvx::platform {

// The folder of the lock files: $XDG_RUNTIME_DIR when set and not empty, else "/tmp".
[[nodiscard]] std::string DefaultRunMutexFolder();

class RunMutex {
 public:
  enum class WaitResult {
    kAcquired,  // the mutex is held
    kTimedOut,  // another holder kept it for the whole wait
    kFailed,    // the lock could not be taken for another reason; see error()
  };

  RunMutex() = default;
  ~RunMutex();
  RunMutex(RunMutex&& other) noexcept;
  RunMutex& operator=(RunMutex&& other) noexcept;
  RunMutex(const RunMutex&) = delete;
  RunMutex& operator=(const RunMutex&) = delete;

  // Opens (creating when missing) the lock file of `name` in `folder`. Opening does not
  // take the mutex. On failure the result is not open and error() tells why.
  [[nodiscard]] static RunMutex Open(std::string_view name, const std::string& folder);

  bool is_open() const { return fd_ >= 0; }
  bool held() const { return held_; }
  int error() const { return error_; }
  const std::string& path() const { return path_; }

  // Takes the mutex when it is free; never waits. False when another holds it or on
  // failure (error() is then set).
  [[nodiscard]] bool TryAcquire();
  // Waits for the mutex, trying every `poll_millis` on the process clock, for at most
  // `limit_millis`.
  [[nodiscard]] WaitResult Acquire(int64_t limit_millis, int64_t poll_millis);
  void Release();

 private:
  void Close();

  int fd_ = -1;
  bool held_ = false;
  int error_ = 0;
  std::string path_;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_RUN_MUTEX_H_
