#include "wizard/core/os_calls.h"

#include <dlfcn.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <vector>

namespace nvx::wizard::os {

namespace {

std::string LoaderError(const char* fallback) {
  const char* text = dlerror();
  return text ? text : fallback;
}

}  // namespace

std::string EffectiveUserName() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<size_t>(size));
  passwd entry{};
  passwd* result = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result ||
      !result->pw_name) {
    return {};
  }
  return result->pw_name;
}

bool SystemNameAndRelease(std::string* name) {
  utsname info{};
  if (uname(&info) != 0) return false;
  *name = std::string(info.sysname) + " " + info.release;
  return true;
}

void* LoadLibrary(const std::string& path, std::string* reason) {
  dlerror();
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library && reason) *reason = LoaderError("cannot load the library");
  return library;
}

void* FindSymbol(void* library, const char* name, std::string* reason) {
  dlerror();
  void* symbol = dlsym(library, name);
  if (!symbol && reason) *reason = LoaderError("symbol not found");
  return symbol;
}

void UnloadLibrary(void* library) {
  if (library) dlclose(library);
}

bool SyncFile(int descriptor) {
  return descriptor >= 0 && fsync(descriptor) == 0;
}

}  // namespace nvx::wizard::os
