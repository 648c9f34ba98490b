// A real mail relay for tests: the aiosmtpd server of the Debian package, run as
// `python3 -m aiosmtpd` with the recording handler of smtp_relay.py (which says what the
// relay refuses and when it dies) on a loopback port chosen once, so that the relay can be
// killed and started again on the same port. The messages it accepted are files in a
// folder. Whatever runs is killed with the object. Used by one test thread.
#ifndef NVX_TESTS_SUPPORT_SMTP_RELAY_PROCESS_H_
#define NVX_TESTS_SUPPORT_SMTP_RELAY_PROCESS_H_

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace nvx::test {

class SmtpRelayProcess {
 public:
  // Picks a free loopback port; the accepted messages go to `folder` (created).
  explicit SmtpRelayProcess(const std::string& folder);
  ~SmtpRelayProcess();
  SmtpRelayProcess(const SmtpRelayProcess&) = delete;
  SmtpRelayProcess& operator=(const SmtpRelayProcess&) = delete;

  // Starts the relay (again); true once it accepts connections.
  bool Start();
  // Ends it at once, as a crash would.
  void Kill();
  // True when the relay's process ends within 10 s (the handler may end it).
  bool WaitForEnd();
  int port() const { return port_; }
  // "127.0.0.1:PORT"
  std::string address() const;

  // The messages accepted so far, in the order they came: the envelope lines, an empty
  // line, the message.
  std::vector<std::string> Messages() const;
  // Waits until at least `count` messages are there, at most `bound`; the messages.
  std::vector<std::string> WaitForMessages(
      size_t count, std::chrono::milliseconds bound = std::chrono::seconds(20)) const;

 private:
  std::string folder_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> relay_;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_SMTP_RELAY_PROCESS_H_
