#include "transfer/upload_exchanges.h"

namespace nvx {

DeltaPreparation PrepareDeltaUpload(UploadJob& /*job*/) {
  return DeltaPreparation::kNotPrepared;
}

}  // namespace nvx
