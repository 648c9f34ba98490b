#include "platform/error_text.h"

#include <string.h>

#include <cerrno>

namespace nvx::platform {

const int kErrorFileNotFound = ENOENT;
const int kErrorPathNotFound = ENOTDIR;
const int kErrorSharingViolation = EBUSY;
const int kErrorNoSpace = ENOSPC;
const int kErrorInvalidName = EINVAL;
const int kErrorFileExists = EEXIST;
const int kErrorNotRegularFile = ELOOP;

std::string ErrorText(int error_number) {
  char buffer[256] = {};
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  const char* text = ::strerror_r(error_number, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string("Unknown error");
}

}  // namespace nvx::platform
