// The upload engine's decisions that need no connection and no file: which folders and
// files a scan passes over, whether the server file list already holds a file of that
// date, the block arithmetic, the quota test and what an answer to the is-it-there test
// means. Pure functions; any thread.
#ifndef NVX_ENGINES_UPLOAD_RULES_H_
#define NVX_ENGINES_UPLOAD_RULES_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "codec/md5.h"
#include "platform/directory_search.h"
#include "protocol/folder_tree.h"
#include "protocol/job_settings.h"
#include "protocol/server_file_list.h"
#include "protocol/transfer_answers.h"

namespace nvx {

// Bytes per block of the progress count and of the wire's pieces.
inline constexpr int64_t kUploadBlockSize = 2048;
// A file may take the space used this far past the account's limit.
inline constexpr int64_t kQuotaGraceBytes = 10240;

// Blocks of a transfer of `size` bytes: whole blocks plus one for a remainder.
[[nodiscard]] int32_t BlockCount(int64_t size);

// A local directory as the engines join names to it: without trailing "/", so that the
// root becomes "" and joining gives "/name".
[[nodiscard]] std::string TidyLocalDirectory(std::string_view directory);
// The last component of a local path: the name a server folder of its copy carries.
[[nodiscard]] std::string_view LastComponent(std::string_view path);
// The child folder of `node` named `name` (letter case ignored), or null.
[[nodiscard]] const FolderRecord* ChildNamed(const FolderRecord* node, std::string_view name);

// A folder name that the job skips (letter case ignored).
[[nodiscard]] bool IsSkippedFolder(const JobSettings& job, std::string_view name);
// A file whose ending from its last dot (dot included) is one of the job's excluded
// extensions (letter case ignored). A name without a dot is never excluded.
[[nodiscard]] bool IsExcludedExtension(const JobSettings& job, std::string_view name);

// Whether a walk of the local tree (backup, clean) enters the subfolder `entry`: never a
// folder whose name begins with ".", only when the job takes subfolders, and never a skip
// folder of the starting folder (`top`); deeper folders of a skip folder's name are entered.
[[nodiscard]] bool EntersSubfolder(const JobSettings& job, const platform::DirectoryEntry& entry,
                                   bool top);

// The first pass of a folder walk (backup, clean) over the entries of one local folder:
// each subfolder the walk enters goes to `enter` at once. False as soon as `enter`
// returns false (a failure, or a stop).
[[nodiscard]] bool EnterSubfoldersFirst(const JobSettings& job,
                                        const std::vector<platform::DirectoryEntry>& entries,
                                        bool top,
                                        const std::function<bool(const std::string& name)>& enter);

// A regular file of the user's. Work files of our own that a crash left behind (a packed
// copy on its way up, an entry being unpacked) are never sent, nor taken for the user's.
[[nodiscard]] bool IsUserFile(const platform::DirectoryEntry& entry);

// `text` with the letters A to Z made lower case: the key under which names are
// compared without regard to letter case.
[[nodiscard]] std::string LowerCase(std::string_view text);

// The server file list by name, letter case ignored, so that a folder of many files is
// matched in one pass; the last entry of a name counts. The list must outlive it.
class ServerFileIndex {
 public:
  explicit ServerFileIndex(const std::vector<ServerFileEntry>& list);
  [[nodiscard]] const ServerFileEntry* Find(std::string_view name) const;

 private:
  std::unordered_map<std::string, const ServerFileEntry*> by_name_;
};

// False for a name that the request line cannot carry as it stands: one with a control
// character (CR and LF would end the line early and name another document).
[[nodiscard]] bool NameCanTravel(std::string_view name);

// Looks `name` up in the server file list: `*matched` is the entry of that name or null.
// True when the entry's date stamp equals the stamp of `last_write_time`.
[[nodiscard]] bool DateMatchesServerList(const ServerFileIndex& index, std::string_view name,
                                         std::optional<int64_t> last_write_time,
                                         const ServerFileEntry** matched);

// True when sending `local_size` more bytes would take the estimated use past the limit
// and its grace. A replacement of a versioned copy is never refused.
[[nodiscard]] bool WouldExceedQuota(int64_t local_size, int64_t used_estimate, int64_t limit,
                                    bool replacement);

// What the answer to the is-it-there test means for the file in hand.
struct IsItThereDecision {
  enum class Outcome {
    kUnderstood,    // the fields below hold
    kServerError,   // "HTTP/1.1 500"
    kNoConclusion,  // no "X-NVX-CONCLUSION"
    kInvalidLupin,  // a conclusion that needs "X-NVX-LUPIN" came without a usable one
    kNeedDigest,    // decide again once the local digest is known
  };
  Outcome outcome = Outcome::kUnderstood;
  int64_t server_size = 0;  // == local size: already there; else the resume point
  Md5Digest server_digest{};
  std::string version_id;
  bool differential_allowed = false;
  bool incomplete = false;
  // The conclusion is no error: later steps must not show it as one.
  bool clear_conclusion = false;
  // Status "Server response received." is shown.
  bool response_received_status = false;
};
[[nodiscard]] IsItThereDecision DecideIsItThere(const TransferAnswer& answer, int64_t local_size,
                                                const std::optional<Md5Digest>& local_digest);

}  // namespace nvx

#endif  // NVX_ENGINES_UPLOAD_RULES_H_
