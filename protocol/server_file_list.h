// The server file list: the documents of one server folder as the "FolderFileList"
// reply lists them. The reply is a flat sequence of tab-terminated fields, six per
// document (version id, name, size, date stamp, duplicate count, a sixth number), ended
// by CR LF. Pure parsing; the list lives in the shared block (worker thread).
#ifndef NVX_PROTOCOL_SERVER_FILE_LIST_H_
#define NVX_PROTOCOL_SERVER_FILE_LIST_H_

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

// The entries of a file list text, in reply order. Fields are split at tabs (a run of
// tabs is one separator); entries are taken while a first field exists and does not
// begin with CR. A missing later field leaves its part empty or 0; numbers that do not
// parse read as 0.
std::vector<ServerFileEntry> ParseServerFileList(std::string_view text);

}  // namespace nvx

#endif  // NVX_PROTOCOL_SERVER_FILE_LIST_H_
