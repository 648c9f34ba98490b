// Compression for transfer: when a job compresses, a file that is not already of a
// compressed type is packed into a one-entry ZIP work file, and the work file is what
// travels (under the file's name plus ".zip"). Compression never makes a file fail: a
// file that cannot be packed is sent as it is and noted in the results report. Worker
// thread only.
#ifndef NVX_ENGINES_COMPRESSION_H_
#define NVX_ENGINES_COMPRESSION_H_

#include <string_view>

#include "engines/engine_context.h"
#include "engines/upload_file_state.h"

namespace nvx {

// True when the text after the name's last dot is one of the already compressed types
// (compared without regard to letter case); a name without a dot is not.
[[nodiscard]] bool IsCompressedType(std::string_view name);

// Packs the file in hand (`file.full_path`, open in `file.file`) into a work file and
// makes the work file the file in hand: `file.file` (the work file's own handle, which
// holds its lock), `file.local_size`, `file.uncompressed_size`, `file.name` (+ ".zip"),
// `file.work_file_in_use`, `file.work_path`. True when the upload may go on (packed, or
// not packed and sent as it is); false when the file's upload ends here: the work file
// turned out empty. The work file is created exclusively under a hidden name of its own
// (see hidden_work_file.h), so no user file is ever opened, emptied or removed in its
// place.
[[nodiscard]] bool CompressForUpload(EngineContext& context, UploadFileState& file);

// Removes the work file, if one is in use, and gives the file its own name back. Called
// at the end of every upload of a file, after a failure too.
void DeleteWorkFile(EngineContext& context, UploadFileState& file);

}  // namespace nvx

#endif  // NVX_ENGINES_COMPRESSION_H_
