#include "tests/support/smtp_relay_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A loopback port that nothing listens on now.
int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("no free loopback port");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(port);
  bool connected =
      fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  return connected;
}

}  // namespace

SmtpRelayProcess::SmtpRelayProcess(const std::string& folder) : folder_(folder), port_(FreePort()) {
  std::filesystem::create_directories(folder_);
}

SmtpRelayProcess::~SmtpRelayProcess() {
  Kill();
}

bool SmtpRelayProcess::Start() {
  Kill();
  ChildProcess::Options options;
  options.args = {"-m",   "aiosmtpd", "-n", "-l", address(), "-c", "smtp_relay.RecordingHandler",
                  folder_};
  options.env = {std::string("PYTHONPATH=") + NVX_TEST_SUPPORT_FOLDER};
  // Debian's Python sees Debian's aiosmtpd; another python3 first on the PATH may not.
  relay_ = std::make_unique<ChildProcess>("/usr/bin/python3", options);
  auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!relay_->Running()) return false;
    if (Accepts(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void SmtpRelayProcess::Kill() {
  if (!relay_) return;
  if (relay_->Running()) ::kill(relay_->pid(), SIGKILL);
  relay_->Wait(std::chrono::seconds(10));
  relay_.reset();
}

bool SmtpRelayProcess::WaitForEnd() {
  return !relay_ || relay_->Wait(std::chrono::seconds(10)).has_value();
}

std::string SmtpRelayProcess::address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> SmtpRelayProcess::Messages() const {
  std::vector<std::string> messages;
  for (const std::string& name : ListFolder(folder_)) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".msg") {
      messages.push_back(ReadFileText(folder_ + "/" + name));
    }
  }
  return messages;
}

std::vector<std::string> SmtpRelayProcess::WaitForMessages(size_t count,
                                                           std::chrono::milliseconds bound) const {
  auto deadline = std::chrono::steady_clock::now() + bound;
  std::vector<std::string> messages = Messages();
  while (messages.size() < count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    messages = Messages();
  }
  return messages;
}

}  // namespace nvx::test
