// The values of the fields that the library sends in its requests and the service reads:
// folder ids (X-NVX-BLACMANGE), document references and digests (X-NVX-LUPIN), restarts
// (X-NVX-RESTART, X-NVX-RESTART2), the transfer fields (X-NVX-FANG) and the e-mail
// routing (X-NVX-BEAVERCHEESE). For each form the writer (the library's side: values
// only, without the header's name and line end) and the reader (the service's side) sit
// together. Readers take untrusted text: they never read past the view and refuse what
// does not fit. Pure functions; any thread.
#ifndef NVX_WIRE_REQUEST_FIELDS_H_
#define NVX_WIRE_REQUEST_FIELDS_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nvx {

// A decimal number of digits only, within int64_t.
std::optional<int64_t> ParseDecimal(std::string_view text);

// X-NVX-BLACMANGE: a folder id, alone or followed by a comma and flags (subfolders 2,
// duplicates 1). The id sent when there is none, which the service reads as "MyFiles"
// (as it reads an empty id).
inline constexpr std::string_view kNoFolderId = "NO";
// "id,n" of a folder list request: kNoFolderId for an empty id.
std::string FolderFlagsText(std::string_view folder_id, bool subfolders, bool duplicates);
// A folder named in X-NVX-BLACMANGE: the text before the first comma.
struct FolderReference {
  bool my_files = false;
  int64_t id = 0;  // when not my_files
};
// Nothing when the id is not a folder id: digits, optionally followed by "-C", which is
// ignored.
std::optional<FolderReference> ParseFolderReference(std::string_view header);

// X-NVX-LUPIN "k,vid;": k = 0 names (or replaces) document vid, k = 1 carries a delta
// for it.
std::string DocumentReferenceText(int kind, std::string_view version_id);
// The version id of a reference "k,vid;": the digits between the first comma and ";".
std::optional<int64_t> ParseVersionReference(std::string_view header);
// The reference of an upload: k must be 0 or 1. Nothing when the form does not fit.
struct DocumentReference {
  int64_t kind = 0;
  int64_t vid = 0;
};
std::optional<DocumentReference> ParseDocumentReference(std::string_view header);

// X-NVX-RESTART "offset,vid;": continue document vid at offset.
std::string RestartReferenceText(int64_t offset, std::string_view version_id);
struct RestartReference {
  int64_t offset = 0;
  int64_t vid = 0;
};
std::optional<RestartReference> ParseRestartReference(std::string_view header);

// X-NVX-LUPIN "base64digest,size" of the is-it-there test: the client's digest of its file
// and the file's size. Nothing when the form does not fit (then no digest was sent); a
// digest that decodes to fewer than 16 bytes is completed with zeros.
std::string DigestReferenceText(std::string_view digest_base64, int64_t size);
struct DigestReference {
  std::array<uint8_t, 16> digest{};
  int64_t size = 0;
};
std::optional<DigestReference> ParseDigestReference(std::string_view header);

// X-NVX-RESTART2 "base64digest,n,vid;" of a download: the digest of the first n bytes of
// the copy the client holds of document vid. Nothing when the form does not fit.
std::string RestartDigestText(std::string_view digest_base64, int64_t length,
                              std::string_view version_id);
struct RestartDigestReference {
  std::array<uint8_t, 16> digest{};
  int64_t size = 0;
  int64_t vid = 0;
};
std::optional<RestartDigestReference> ParseRestartDigestReference(std::string_view header);

// X-NVX-FANG: five comma-separated decimals.
struct FangFields {
  int64_t content_length_or_filler = 0;
  int64_t key_code_or_filler = 0;
  int64_t compressed_work_file = 0;  // 1: the body is a one-entry ZIP archive
  int64_t transfer_compress = 0;     // 1: the client takes a zipped download
  int64_t size_before_compression = 0;
};
// The fields of a request made at `seconds`. Enciphered: the true content length and
// the key code (KeyCodeOf) of the upload key index of `seconds` (UploadKeyIndex, both in
// codec/transfer_cipher.h); otherwise the fillers seconds % 1025 and seconds & 0xFFF.
FangFields FangFor(bool enciphered, int64_t content_length, int64_t seconds,
                   bool compressed_work_file, bool transfer_compress,
                   int64_t size_before_compression);
std::string FangText(const FangFields& fields);
// Up to five signed decimals; missing ones are 0. Nothing for a sixth or a field that is
// not a number.
std::optional<FangFields> ParseFangFields(std::string_view header);

// X-NVX-BEAVERCHEESE "u,a,type;": send to the user, send to the administrator, the
// results type text.
std::string EmailRoutingText(bool to_user, bool to_admin, std::string_view results_type);
struct EmailRouting {
  bool to_user = false;
  bool to_admin = false;
  std::string results_type;
};
std::optional<EmailRouting> ParseEmailRouting(std::string_view header);

}  // namespace nvx

#endif  // NVX_WIRE_REQUEST_FIELDS_H_
