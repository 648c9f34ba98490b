// What both stores' queries share: the column lists their row readers take, in that
// order, and the bound on walks up the folder tree. The two schemas name their columns
// alike.
#ifndef NVX_SERVICE_STORE_STORE_COLUMNS_H_
#define NVX_SERVICE_STORE_STORE_COLUMNS_H_

#include <cstdint>

namespace nvx::service {

inline constexpr const char* kAccountColumns =
    "key, id, password_digest, quota, used, encrypt, state, email, admin_email";
// Documents are selected as "d".
inline constexpr const char* kDocumentColumns =
    "d.vid, d.folder, d.name, d.size, d.full_size, d.date_stamp, d.digest, d.complete, d.blob,"
    " d.digest_state";
inline constexpr const char* kFolderColumns = "id, account, parent, name, access, compressed";

// Bounds the walk up a damaged store whose parents form a loop.
inline constexpr int64_t kAncestorWalkMax = 100000000;

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_STORE_COLUMNS_H_
