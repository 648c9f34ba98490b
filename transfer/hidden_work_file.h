// Work files under hidden names that no user file has: "." + the file's own name + "." +
// random letters + a suffix of our own, created exclusively, so that creating one never
// opens, empties or replaces a file that was already there, and a folder scan (which
// passes over hidden names) never picks one up. Any thread; no shared state.
#ifndef NVX_TRANSFER_HIDDEN_WORK_FILE_H_
#define NVX_TRANSFER_HIDDEN_WORK_FILE_H_

#include <string>
#include <string_view>

#include "platform/file.h"

namespace nvx {

// The suffix of compression work files and of files being unpacked before they are
// renamed into place.
inline constexpr std::string_view kZipWorkSuffix = ".nvxzip";
inline constexpr std::string_view kUnpackWorkSuffix = ".nvxpart";

// Creates a new, empty file open for writing in `directory` (empty: the current folder)
// for the file `name` (the last path component is used; long names are cut). Returns
// the open file and sets `*path`; on failure the file is not open and `*error` holds the
// system error.
platform::File CreateHiddenWorkFile(std::string_view directory, std::string_view name,
                                    std::string_view suffix, std::string* path, int* error);

// True when `file_name` (one path component) has the shape CreateHiddenWorkFile gives
// names with `suffix`.
bool IsHiddenWorkFileName(std::string_view file_name, std::string_view suffix);

// The folder part of `path` with its final "/", or empty for a bare name.
std::string_view FolderOfPath(std::string_view path);

}  // namespace nvx

#endif  // NVX_TRANSFER_HIDDEN_WORK_FILE_H_
