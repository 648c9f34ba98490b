// Work files under hidden names that no user file has: "." + the file's own name + "." +
// random letters + a suffix of our own, created exclusively, so that creating one never
// opens, empties or replaces a file that was already there (nor follows a link planted
// at its name), and a folder scan (which passes over these names) never picks one up.
// A work file is owned: it holds an exclusive lock (flock) while its creator has it
// open, and the kernel lets the lock go when that process ends, however it ends. A work
// file whose lock is free is therefore stale (a killed run left it) and any run may
// remove it. Any thread; no shared state.
#ifndef NVX_CODEC_HIDDEN_WORK_FILE_H_
#define NVX_CODEC_HIDDEN_WORK_FILE_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/directory_search.h"
#include "platform/file.h"

namespace nvx {

// The suffix of compression work files and of files being unpacked before they are
// renamed into place.
inline constexpr std::string_view kZipWorkSuffix = ".nvxzip";
inline constexpr std::string_view kUnpackWorkSuffix = ".nvxpart";

// Creates a new, empty file open for reading and writing in `directory` (empty: the
// current folder) for the file `name` (the last path component is used; long names are
// cut), holding its lock. Returns the open file and sets `*path`; on failure the file
// is not open and `*error` holds the system error. Keep the file open for as long as the
// work file is in use, and remove the name before closing it.
platform::File CreateHiddenWorkFile(std::string_view directory, std::string_view name,
                                    std::string_view suffix, std::string* path, int* error);

// True when `file_name` (one path component) has the shape CreateHiddenWorkFile gives
// names with `suffix`.
[[nodiscard]] bool IsHiddenWorkFileName(std::string_view file_name, std::string_view suffix);

// Removes from `folder` (as SearchDirectory listed it in `entries`) the work files of
// either suffix whose lock is free: regular files only, never through a link, and never
// one a running process holds. Returns the paths removed.
[[nodiscard]] std::vector<std::string> RemoveStaleWorkFiles(
    std::string_view folder, const std::vector<platform::DirectoryEntry>& entries);
// Lists `folder` for work file names alone and removes the stale ones as above.
[[nodiscard]] std::vector<std::string> RemoveStaleWorkFilesIn(const std::string& folder);

// The folder part of `path` with its final "/", or empty for a bare name.
[[nodiscard]] std::string_view FolderOfPath(std::string_view path);

}  // namespace nvx

#endif  // NVX_CODEC_HIDDEN_WORK_FILE_H_
