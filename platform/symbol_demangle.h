// A small demangler of C++ symbol names that needs no memory beyond the caller's buffer,
// for the crash report: the full demangler of the C++ run-time allocates, which a signal
// handler must not do. It turns the qualified name of a function into readable text
// ("_ZN7CNvxapi10UploadFileEv" becomes "CNvxapi::UploadFile") and leaves the parameters
// out. Names it does not know how to read (templates, operators, substitutions other
// than the standard ones, local entities, thunks) are refused, and the caller prints the
// name as it stands. Safe from any thread and from a signal handler.
#ifndef NVX_PLATFORM_SYMBOL_DEMANGLE_H_
#define NVX_PLATFORM_SYMBOL_DEMANGLE_H_

#include <cstddef>
#include <string_view>

namespace nvx::platform {

// Writes the readable qualified name of `mangled` into `out` (terminated) and returns its
// length; 0 when the name is not mangled, not understood, or does not fit `capacity`.
[[nodiscard]] size_t DemangleFunctionName(std::string_view mangled, char* out, size_t capacity);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_SYMBOL_DEMANGLE_H_
