// A program for the crash report tests: it installs the job runner's crash handler, as
// NVXbackup does first thing, and then fails the way its one argument asks:
//   null-write         writes through a null pointer in an exported function
//   divide             divides an integer by zero
//   recurse            recurses without end
//   trap               executes an undefined instruction
//   breakpoint         executes a breakpoint instruction
//   bus                reads a mapped file beyond its end
//   thread-null-write  writes through a null pointer on a second thread
//   threads-null-write four threads write through a null pointer at the same moment
//   thread-recurse     recurses without end on a second thread that has a crash stack
//   broken-pipe        writes through a null pointer with standard error going nowhere
//   no-stderr          writes through a null pointer with standard error closed
//   wait               prints "ready" and its process id, and waits (up to a minute) for
//                      a signal to be sent
// The faulting functions are left alone by the sanitizers: they must fault for real.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/crash_stack.h"
#include "platform/file.h"
#include "runner/crash_report.h"
#include "tests/support/process_signal.h"
#include "tests/support/standard_error.h"

#define NVX_FAULTS_FOR_REAL __attribute__((noinline, no_sanitize("address", "undefined")))

namespace nvx_victim {

// Exported (the program is linked with its symbols exported) so that the report's
// symbol lookup and demangling have a name to find.
__attribute__((visibility("default"))) NVX_FAULTS_FOR_REAL void WriteThroughNull(int value) {
  volatile int* volatile target = nullptr;
  *target = value;
}

}  // namespace nvx_victim

namespace {

NVX_FAULTS_FOR_REAL int DivideByZero() {
  // Both operands unknown to the compiler, or it replaces the division by a comparison.
  volatile int dividend = 7;
  volatile int zero = 0;
  volatile int result = dividend / zero;
  return result;
}

int Recurse(int depth);
// Called through a pointer the compiler cannot see through, so that the recursion stays a
// recursion (no tail call, no loop).
int (*volatile g_recurse)(int) = Recurse;

NVX_FAULTS_FOR_REAL int Recurse(int depth) {
  volatile char pad[512];
  pad[depth % sizeof pad] = static_cast<char>(depth);
  return g_recurse(depth + 1) + pad[(depth + 1) % sizeof pad];
}

NVX_FAULTS_FOR_REAL void Breakpoint() {
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("int3");
#else
  std::raise(SIGTRAP);
#endif
}

NVX_FAULTS_FOR_REAL int ReadPastMappedEnd(const char* path) {
  auto file = nvx::platform::File::Open(path, nvx::platform::File::Access::kCreateReadWrite);
  std::string page(8192, 'x');
  if (!file.Write(page)) return 1;
  auto mapping = nvx::platform::MappedFile::Map(file);
  if (!mapping.is_mapped() || !file.Truncate(0)) return 1;
  return static_cast<volatile const uint8_t*>(mapping.data())[4096];
}

}  // namespace

int main(int argc, char** argv) {
  if (!nvx::InstallCrashHandler()) {
    std::fputs("crash handler not installed\n", stderr);
    return 1;
  }
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "null-write") nvx_victim::WriteThroughNull(42);
  if (mode == "divide") return DivideByZero();
  if (mode == "recurse") return Recurse(0);
  if (mode == "trap") __builtin_trap();
  if (mode == "breakpoint") Breakpoint();
  if (mode == "bus") return ReadPastMappedEnd((std::string(argv[0]) + ".bus").c_str());
  if (mode == "thread-null-write") {
    std::thread worker([] { nvx_victim::WriteThroughNull(7); });
    worker.join();
  }
  if (mode == "threads-null-write") {
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
      threads.emplace_back([&go, i] {
        while (!go.load()) {
        }
        nvx_victim::WriteThroughNull(i);
      });
    }
    go = true;
    for (auto& thread : threads) thread.join();
  }
  if (mode == "thread-recurse") {
    std::thread worker([] {
      nvx::platform::ThreadCrashStack crash_stack;
      if (crash_stack.active()) Recurse(0);
    });
    worker.join();
  }
  if (mode == "broken-pipe") {
    if (nvx::test::PointStandardErrorAtBrokenPipe()) nvx_victim::WriteThroughNull(1);
    return 3;
  }
  if (mode == "no-stderr") {
    if (nvx::test::CloseStandardError()) nvx_victim::WriteThroughNull(1);
    return 3;
  }
  if (mode == "wait") {
    std::printf("ready %d\n", nvx::test::CurrentProcessId());
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::minutes(1));
  }
  std::fputs("no fault happened\n", stderr);
  return 2;
}
