// Waiting for the operator's stop request. A server's main thread creates one
// ShutdownSignals before it starts any other thread: SIGINT and SIGTERM are then blocked
// in every thread of the process and are taken only by Wait(), so no handler runs in the
// middle of a request. SIGPIPE is ignored, so that writing to a peer that went away is an
// error value, not the end of the process. A server that re-reads files on request takes
// SIGHUP the same way.
#ifndef NVX_PLATFORM_SHUTDOWN_SIGNAL_H_
#define NVX_PLATFORM_SHUTDOWN_SIGNAL_H_

namespace nvx::platform {

class ShutdownSignals {
 public:
  // Blocks SIGINT and SIGTERM (and SIGHUP when `reload_signal`) in the calling thread
  // (threads started later inherit it).
  explicit ShutdownSignals(bool reload_signal = false);
  // Takes stop signals that are still pending and restores the signal mask of the
  // calling thread.
  ~ShutdownSignals();
  ShutdownSignals(const ShutdownSignals&) = delete;
  ShutdownSignals& operator=(const ShutdownSignals&) = delete;

  // Blocks until SIGINT or SIGTERM (or SIGHUP, when taken) arrives for the process;
  // returns the signal number.
  [[nodiscard]] int Wait();
  // True when `signal_number` asks to re-read files rather than to stop.
  static bool IsReload(int signal_number);

  // Sends SIGTERM to the own process, which makes Wait() return. Any thread may call it,
  // for instance a server thread that ends on its own.
  static void RequestShutdown();

 private:
  bool reload_signal_;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_SHUTDOWN_SIGNAL_H_
