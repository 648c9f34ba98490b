// System error numbers as values, and their message texts. The conditions that the
// system's design names by Windows error numbers get named constants here.
#ifndef NVX_PLATFORM_ERROR_TEXT_H_
#define NVX_PLATFORM_ERROR_TEXT_H_

#include <string>

namespace nvx::platform {

extern const int kErrorFileNotFound;      // no such file
extern const int kErrorPathNotFound;      // a folder on the way is missing or not a folder
extern const int kErrorSharingViolation;  // the file is held exclusively by another process
extern const int kErrorNoSpace;           // the disk is full
extern const int kErrorInvalidName;       // a name that cannot be used as given
extern const int kErrorFileExists;        // a new file was asked for and the name is taken
// A regular file was asked for and the name holds a symbolic link, a folder, a pipe, a
// device or a socket (the system's answer to a link, given for the others too).
extern const int kErrorNotRegularFile;

// The system's message text for an error number, in the neutral (C) language.
[[nodiscard]] std::string ErrorText(int error_number);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_ERROR_TEXT_H_
