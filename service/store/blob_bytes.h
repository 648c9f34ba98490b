// The bytes of one blob, for reading: its file in the blob folder, or, for a blob whose
// bytes the store keeps itself (an inline blob), a file in memory holding them. Either way
// an open file at its start, and a path that names the same bytes while the object lives,
// for code that reads by path. An inline name the store keeps nothing under is looked for
// in the folder: bytes copied out of a store that kept them are a file of that name.
#ifndef NVX_SERVICE_STORE_BLOB_BYTES_H_
#define NVX_SERVICE_STORE_BLOB_BYTES_H_

#include <string>

#include "platform/file.h"
#include "service/store/blob_store.h"
#include "service/store/store.h"

namespace nvx::service {

class BlobBytes {
 public:
  BlobBytes(Store& store, const BlobStore& blobs, const std::string& blob);

  bool is_open() const { return file_.is_open(); }
  // Why it is not open.
  int error() const { return file_.error(); }
  platform::File& file() { return file_; }
  // Names the bytes while the file is open (also after it moved out of this object).
  const std::string& path() const { return path_; }

 private:
  platform::File file_;
  std::string path_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_BLOB_BYTES_H_
