// The fields of the library's request headers that the service reads: folder ids
// (X-NVX-BLACMANGE), document references (X-NVX-LUPIN "0,vid;"), the transfer fields
// (X-NVX-FANG) and the e-mail routing (X-NVX-BEAVERCHEESE). Parsers of untrusted text:
// they never read past the view and refuse what does not fit. Any thread.
#ifndef NVX_SERVICE_HEADER_FIELDS_H_
#define NVX_SERVICE_HEADER_FIELDS_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nvx::service {

// A decimal number of digits only, within int64_t.
std::optional<int64_t> ParseDecimal(std::string_view text);

// A folder named in X-NVX-BLACMANGE: the text before the first comma (the two-field form
// carries flags after it). "NO" or an empty id means the account's "MyFiles" folder.
struct FolderReference {
  bool my_files = false;
  int64_t id = 0;  // when not my_files
};
// Nothing when the id is not a folder id: digits, optionally followed by "-C", which is
// ignored.
std::optional<FolderReference> ParseFolderReference(std::string_view header);

// The version id of a reference "0,vid;": the digits between the first comma and ";".
std::optional<int64_t> ParseVersionReference(std::string_view header);

// X-NVX-LUPIN "k,vid;" of an upload: k = 0 replaces document vid, k = 1 carries a delta for
// it. Nothing when the form does not fit.
struct DocumentReference {
  int64_t kind = 0;
  int64_t vid = 0;
};
std::optional<DocumentReference> ParseDocumentReference(std::string_view header);

// X-NVX-RESTART "offset,vid;": continue document vid at offset.
struct RestartReference {
  int64_t offset = 0;
  int64_t vid = 0;
};
std::optional<RestartReference> ParseRestartReference(std::string_view header);

// X-NVX-LUPIN "base64digest,size" of the is-it-there test: the client's digest of its file
// and the file's size. Nothing when the form does not fit (then no digest was sent); a
// digest that decodes to fewer than 16 bytes is completed with zeros.
struct DigestReference {
  std::array<uint8_t, 16> digest{};
  int64_t size = 0;
};
std::optional<DigestReference> ParseDigestReference(std::string_view header);

// X-NVX-RESTART2 "base64digest,n,vid;" of a download: the digest of the first n bytes of
// the copy the client holds of document vid. Nothing when the form does not fit.
struct RestartDigestReference {
  std::array<uint8_t, 16> digest{};
  int64_t size = 0;
  int64_t vid = 0;
};
std::optional<RestartDigestReference> ParseRestartDigestReference(std::string_view header);

// X-NVX-FANG: up to five comma-separated decimals; missing ones are 0.
struct TransferFields {
  std::array<int64_t, 5> values{};
};
std::optional<TransferFields> ParseTransferFields(std::string_view header);

// X-NVX-BEAVERCHEESE "u,a,type;": send to the user, send to the administrator, the
// results type text.
struct EmailRouting {
  bool to_user = false;
  bool to_admin = false;
  std::string results_type;
};
std::optional<EmailRouting> ParseEmailRouting(std::string_view header);

}  // namespace nvx::service

#endif  // NVX_SERVICE_HEADER_FIELDS_H_
