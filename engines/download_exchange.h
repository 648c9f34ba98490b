// One download exchange with the service: the GET of a document ("DownLoad") or of its
// block signature ("DownLoadX"), named by its version id, with the local copy offered for
// resuming (its digest and size); the answer read and understood; the body received into
// the work file (created anew, or appended to on a resume); the work file deciphered
// when the account's bodies travel enciphered; and the completed file put in place: the
// work file renamed over the target in one step, or its ZIP entry unpacked into the
// target once the entry's CRC checked out. A crash at any moment leaves either the old
// target or the new one, and the work file as the next attempt's resume point.
//
// The exchange knows nothing of the server file list or the job's counts: the download
// engine and the delta upload's signature fetch both build on it and count for
// themselves. Sizes and offsets are 64-bit. Worker thread only.
#ifndef NVX_ENGINES_DOWNLOAD_EXCHANGE_H_
#define NVX_ENGINES_DOWNLOAD_EXCHANGE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "codec/md5.h"
#include "engines/engine_context.h"

namespace nvx {

// An enciphered body resumes on a multiple of this; an incomplete one is cut to one.
inline constexpr int64_t kDownloadCipherBlock = 2048;
// The unit of the progress record's block count while a body arrives.
inline constexpr int64_t kDownloadProgressBlock = 1024;
// The most one receive (and one write) moves.
inline constexpr size_t kDownloadPieceSize = 256 * 1024;

// The local copy offered to the service: the work file of an earlier attempt, or the
// target itself. Its digest and size travel in X-NVX-RESTART2.
struct OfferedCopy {
  bool is_work_file = false;  // false: the target
  int64_t size = 0;
  Md5Digest digest{};
};

struct DownloadRequest {
  bool signature = false;  // "DownLoadX" rather than "DownLoad"
  std::string folder_id;   // the server folder the request names ("NO" when empty)
  std::string version_id;
  std::string target_path;  // where the completed file goes
  std::string work_path;    // where the body arrives (the target's name + "~")
  std::optional<OfferedCopy> offered;
  // The target's last-write time (X-NVX-DINSDALE), when it could be read.
  std::optional<int64_t> target_time;
  // The server's date text (UseNvxDate), "" for none. It is given to the new content
  // before that takes the target's name, so that a crash never leaves the new content
  // with the date it arrived on (a later run would take that copy for current).
  std::string server_date;
  // The name of the step in log lines (" Err - <name> - ...").
  std::string log_name = "DownloadFile";
  // Status texts and the progress record's blocks and phases follow the transfer.
  bool show_progress = true;
};

enum class DownloadOutcome {
  kCompleted,         // the target holds the new content
  kAlreadyCurrent,    // "UGOTIT": the offered copy is current (a work file was moved
                      // over the target); nothing travelled
  kIncomplete,        // the body broke off; the work file keeps what arrived
  kRefused,           // no body came (an error conclusion, another status, no length)
  kTransportFailure,  // the exchange broke off: the link's communication-failure flag is
                      // set and the connection marked to be closed
  kLocalFailure,      // the work file could not be made, written, copied or completed
  kNoConnection,      // no connection could be made
};

struct DownloadResult {
  DownloadOutcome outcome = DownloadOutcome::kRefused;
  bool restart = false;  // the body resumed the offered copy
  bool zipped = false;   // the body was a ZIP archive of the document
  int64_t body_length = 0;
  int64_t received = 0;
  std::string conclusion;  // the answer's "X-NVX-CONCLUSION", "" when none
  int error = 0;           // the system error of a local failure
};

// Runs the exchange (see the header comment). Statuses, log lines and phases as the
// download shows them; the caller counts the file.
[[nodiscard]] DownloadResult RunDownloadExchange(EngineContext& context,
                                                 const DownloadRequest& request);

// What DecipherDownloaded works on.
struct DecipherJob {
  std::string work_path;
  bool restart = false;      // the body resumed after the offered copy
  int64_t offered_size = 0;  // the offered copy's size: deciphered in an earlier attempt
  bool incomplete = false;   // the body broke off
  bool enciphered = false;
  int64_t true_length = 0;  // the size without the cipher's padding
  int64_t key_value = 0;    // the key number the service sent
};
// Deciphers the work file in place from the first block that arrived enciphered (the
// offered size / 2048 on a resume, else 0) and cuts it to its true length. An
// incomplete body is first cut to a multiple of 2048 bytes, which then is its true
// length, so that a resume starts on a block boundary; an incomplete empty work file is
// removed. Not enciphered: nothing to do. Returns 0 or the system error.
[[nodiscard]] int DecipherDownloaded(const DecipherJob& job);

// Copies the file `from` to `to` (created or emptied), streaming. Returns 0 or the
// system error.
[[nodiscard]] int CopyWholeFile(const std::string& from, const std::string& to);

}  // namespace nvx

#endif  // NVX_ENGINES_DOWNLOAD_EXCHANGE_H_
