// The complete header blocks of the transfer engines' requests: the is-it-there test
// (HEAD), the upload (PUT), the download and the signature download (GET). Each takes the
// values as the engine holds them and returns the exact bytes up to and including the
// empty line; the engine appends the body. Headers that apply only sometimes are left out
// when their value is absent. Pure functions; any thread.
#ifndef NVX_PROTOCOL_TRANSFER_REQUESTS_H_
#define NVX_PROTOCOL_TRANSFER_REQUESTS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/request_builder.h"

namespace nvx {

// What every transfer request carries.
struct TransferRequestBase {
  RequestRoute route;
  std::string login_token;
  std::string folder_id;  // the server folder the request names
};

// The is-it-there test of `file_name` (escaped here).
struct IsItThereFields {
  std::string file_name;
  std::optional<int64_t> last_write_time;    // seconds since 1970 UTC, when known
  std::optional<std::string> digest_base64;  // with local_size, when a digest was computed
  int64_t local_size = 0;
};
[[nodiscard]] std::string FormatIsItThere(const TransferRequestBase& base,
                                          const IsItThereFields& fields);

// The upload of `file_name` (escaped here). Exactly one of resume (offset and version id)
// or replacement (version id, delta or not) or neither.
struct PutFileFields {
  std::string file_name;
  std::optional<int64_t> resume_offset;  // sends X-NVX-RESTART with the version id
  std::string version_id;                // replacement when not empty and no resume
  bool delta = false;
  int64_t content_length = 0;  // as it travels (padded to 8 when enciphered)
  FangFields fang;
  std::optional<int64_t> last_write_time;
  std::optional<std::string> nee_digest_base64;  // with nee_size, when it applies
  int64_t nee_size = 0;
};
[[nodiscard]] std::string FormatPutFile(const TransferRequestBase& base,
                                        const PutFileFields& fields);

// The download ("DownLoad") or signature download ("DownLoadX") of the document named by
// `version_id`; a local copy adds X-NVX-RESTART2 and the target's date X-NVX-DINSDALE
// (download only).
struct DownloadFields {
  std::string version_id;
  std::optional<std::string> restart_digest_base64;  // with restart_length
  int64_t restart_length = 0;
  FangFields fang;
  // The local target's last-write time (X-NVX-DINSDALE after X-NVX-RESTART2), when known.
  std::optional<int64_t> last_write_time;
};
[[nodiscard]] std::string FormatDownload(const TransferRequestBase& base,
                                         const DownloadFields& fields);
[[nodiscard]] std::string FormatSignatureDownload(const TransferRequestBase& base,
                                                  const DownloadFields& fields);

}  // namespace nvx

#endif  // NVX_PROTOCOL_TRANSFER_REQUESTS_H_
