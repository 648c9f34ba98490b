#include "platform/crash_stack.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

namespace nvx::platform {
namespace {

struct Mapping {
  void* base = nullptr;
  size_t size = 0;
};

size_t PageSize() {
  long size = ::sysconf(_SC_PAGESIZE);
  return size > 0 ? static_cast<size_t>(size) : 4096;
}

Mapping MapStack() {
  const size_t page = PageSize();
  const size_t size = kCrashStackSize + page;
  void* base =
      ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (base == MAP_FAILED) return {};
  // Stacks grow downwards: the guard is the lowest page.
  if (::mprotect(base, page, PROT_NONE) != 0) {
    ::munmap(base, size);
    return {};
  }
  return {base, size};
}

bool Activate(const Mapping& mapping) {
  const size_t page = PageSize();
  stack_t stack{};
  stack.ss_sp = static_cast<char*>(mapping.base) + page;
  stack.ss_size = mapping.size - page;
  return ::sigaltstack(&stack, nullptr) == 0;
}

}  // namespace

bool UseCrashStackForLife() {
  const Mapping mapping = MapStack();
  if (mapping.base == nullptr) return false;
  if (!Activate(mapping)) {
    ::munmap(mapping.base, mapping.size);
    return false;
  }
  return true;
}

ThreadCrashStack::ThreadCrashStack() {
  const Mapping mapping = MapStack();
  if (mapping.base == nullptr) return;
  mapping_ = mapping.base;
  mapping_size_ = mapping.size;
  active_ = Activate(mapping);
}

ThreadCrashStack::~ThreadCrashStack() {
  if (mapping_ == nullptr) return;
  if (active_) {
    // Switch the stack off only when it is still this thread's; the memory goes either way.
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 &&
        current.ss_sp == static_cast<char*>(mapping_) + PageSize()) {
      stack_t off{};
      off.ss_flags = SS_DISABLE;
      ::sigaltstack(&off, nullptr);
    }
  }
  ::munmap(mapping_, mapping_size_);
}

}  // namespace nvx::platform
