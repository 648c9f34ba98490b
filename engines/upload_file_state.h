// The file in hand of an upload: what the upload engine, the compression step and the
// delta upload know about it between their steps. The upload engine owns one per file
// in flight and clears it at the start of every file. Sizes and offsets are 64-bit: a file
// of several GiB travels whole. Worker thread only.
#ifndef NVX_ENGINES_UPLOAD_FILE_STATE_H_
#define NVX_ENGINES_UPLOAD_FILE_STATE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "codec/md5.h"
#include "platform/file.h"
#include "protocol/server_file_list.h"

namespace nvx {

struct UploadFileState {
  // The name relative to the local folder, as status texts and log lines show it; while
  // a compression work file is in use it ends in ".zip", the name that travels.
  std::string name;
  // The name as status texts of its digest show it: the name the file came with (never
  // the ".zip" one), or the delta's while a delta is in hand.
  std::string shown_name;
  std::string local_folder;  // the folder the file sits in
  std::string full_path;     // local_folder + "/" + the file's own name: the source

  // What is being sent: the source, or the work file while compression is in use.
  platform::File file;
  int64_t local_size = 0;         // of what is being sent
  int64_t uncompressed_size = 0;  // of the source, while a work file is in use

  // The local file's last-write time in seconds since 1970 UTC, when it could be read.
  std::optional<int64_t> last_write_time;
  // The MD5 of what is being sent, once computed.
  std::optional<Md5Digest> local_digest;

  // What the service said of its copy.
  int64_t server_size = 0;  // bytes it holds that are usable; 0 = none
  Md5Digest server_digest{};
  std::string server_version_id;  // at most 15 characters; empty = none
  bool differential_allowed = false;
  bool server_copy_incomplete = false;
  // The server file list's entry of this name (same name, any date), or null.
  const ServerFileEntry* matched_entry = nullptr;
  // The server folder's whole file list does not name it: sent without the is-it-there
  // test (several files in flight only).
  bool not_on_server = false;

  // The compression work file: created exclusively under a name no user file has, in
  // the work directory when one is set, else beside the source; removed at the end of
  // the file's upload on every path.
  bool work_file_in_use = false;
  std::string work_path;

  bool delta_upload = false;  // the PUT in progress carries a delta
  bool delete_after = false;  // a moved file: delete the source once the server has it
};

}  // namespace nvx

#endif  // NVX_ENGINES_UPLOAD_FILE_STATE_H_
