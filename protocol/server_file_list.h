// The server file list: the documents of one server folder as the "FolderFileList"
// reply lists them. The reply is a flat sequence of tab-terminated fields, six per
// document (version id, name, size, date stamp, duplicate count, a sixth number), ended
// by CR LF. Pure parsing; the list lives in the shared block (worker thread).
#ifndef NVX_PROTOCOL_SERVER_FILE_LIST_H_
#define NVX_PROTOCOL_SERVER_FILE_LIST_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nvx {

struct ServerFileEntry {
  std::string name;        // at most kServerFileNameMax characters
  std::string date;        // server date stamp, at most kServerFileDateMax characters
  std::string version_id;  // at most kReplyVersionIdMax characters
  int64_t size = 0;
  int32_t duplicate_count = 0;
  int32_t sixth_value = 0;
  // Set by the clean engine for a file that still exists locally.
  int32_t present_locally = 0;
};

// Why an entry of the list was refused.
enum class FileListRefusal {
  kControlCharacter,  // the name holds a NUL or another control character
  kMalformed,         // a field is missing, over its width or not what it must be
  kBeyondBound,       // the list already held kServerFileListMaxEntries entries
};

struct RefusedServerFile {
  std::string name;  // the name field as it came, cut at kServerFileNameMax bytes
  FileListRefusal reason = FileListRefusal::kMalformed;
};

struct ServerFileList {
  std::vector<ServerFileEntry> entries;  // reply order
  // The first kServerFileListRefusalsKept refused entries; refused_count counts them all.
  std::vector<RefusedServerFile> refused;
  size_t refused_count = 0;
};

// The entries of a file list text, in reply order. Every tab ends a field, so an empty
// field stays empty and in its place; six fields make an entry. CR and LF between
// entries (the list's end, or one line per document) are passed over. An entry is
// refused, and the next one read from the field after its sixth, when its name holds a
// control character (NUL included), when its version id is empty, over its width or holds
// a control character, when its date holds a control character, when a number is not a
// whole decimal number in range, or when the text ends before its sixth tab. Names and
// dates are cut at their widths; the empty name is left for the consumers to refuse. A
// tab inside a field cannot be told from a separator: the entries after it then fail
// these checks and are refused, never taken with fields out of place.
[[nodiscard]] ServerFileList ParseServerFileList(std::string_view text);

}  // namespace nvx

#endif  // NVX_PROTOCOL_SERVER_FILE_LIST_H_
