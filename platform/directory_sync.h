// Makes a folder's entries durable: after a file was created or renamed in a folder,
// syncing the folder makes the new name survive a crash of the machine, not only the
// file's content. Also the content of a file that another owner (such as Qt) opened.
#ifndef NVX_PLATFORM_DIRECTORY_SYNC_H_
#define NVX_PLATFORM_DIRECTORY_SYNC_H_

#include <string>

namespace nvx::platform {

// False on failure, with the system error number in `error` when given.
bool SyncDirectory(const std::string& path, int* error = nullptr);

// The bytes of the open file `descriptor` reach the disk (fsync), so that it can be
// renamed into place. False when the descriptor is invalid or the file system reports an
// error, with the system error number in `error` when given.
[[nodiscard]] bool SyncOpenFile(int descriptor, int* error = nullptr);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_DIRECTORY_SYNC_H_
