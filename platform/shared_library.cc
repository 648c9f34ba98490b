#include "platform/shared_library.h"

#include <dlfcn.h>

namespace nvx::platform {
namespace {

std::string LoaderError(const char* fallback) {
  const char* text = dlerror();
  return text ? text : fallback;
}

}  // namespace

SharedLibrary::~SharedLibrary() {
  if (handle_) dlclose(handle_);
}

bool SharedLibrary::Open(const std::string& path, std::string* reason) {
  if (handle_) return true;
  dlerror();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_ && reason) *reason = LoaderError("cannot load the library");
  return handle_ != nullptr;
}

void* SharedLibrary::Symbol(const char* name, std::string* reason) const {
  if (!handle_) {
    if (reason) *reason = "the library is not loaded";
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(handle_, name);
  if (!symbol && reason) *reason = LoaderError("symbol not found");
  return symbol;
}

}  // namespace nvx::platform
