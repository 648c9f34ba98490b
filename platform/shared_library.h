// A shared library loaded at run time (dlopen), such as the login check the wizard loads
// from its install folder. The library stays loaded while the object lives. One thread.
#ifndef NVX_PLATFORM_SHARED_LIBRARY_H_
#define NVX_PLATFORM_SHARED_LIBRARY_H_

#include <string>

namespace nvx::platform {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Loads `path` with every symbol bound at once and kept to itself. False, with the
  // loader's reason in *reason, when it cannot; a library loaded before stays.
  [[nodiscard]] bool Open(const std::string& path, std::string* reason);
  bool is_open() const { return handle_ != nullptr; }

  // The address of `name` in the library; nullptr, with the reason, when it has none or
  // nothing is loaded.
  [[nodiscard]] void* Symbol(const char* name, std::string* reason) const;

 private:
  void* handle_ = nullptr;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_SHARED_LIBRARY_H_
