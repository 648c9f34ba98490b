#include "tests/support/process_signal.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace nvx::test {
namespace {

std::atomic<int> g_signal_count{0};

void CountSignal(int) {
  g_signal_count.fetch_add(1);
}

}  // namespace

int CurrentProcessId() {
  return static_cast<int>(::getpid());
}

bool SendSignal(int process_id, int signal) {
  return process_id > 0 && ::kill(static_cast<pid_t>(process_id), signal) == 0;
}

SignalCount::SignalCount(int signal) : signal_(signal) {
  g_signal_count = 0;
  struct sigaction counting {};
  counting.sa_handler = CountSignal;
  sigemptyset(&counting.sa_mask);
  ::sigaction(signal_, &counting, &previous_);
}

SignalCount::~SignalCount() {
  ::sigaction(signal_, &previous_, nullptr);
}

int SignalCount::count() const {
  return g_signal_count.load();
}

}  // namespace nvx::test
