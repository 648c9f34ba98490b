// The digest of the local file in hand, by which the upload and download engines ask the
// service whether its copy equals the local one. Worker thread only.
#ifndef NVX_TRANSFER_FILE_DIGEST_H_
#define NVX_TRANSFER_FILE_DIGEST_H_

#include "api/transfer_session.h"
#include "platform/file.h"

namespace nvx {

// Digests `file` from its current position to its end, reading through the session's
// transfer buffer, stores the digest in the block's local_digest and sets the file
// position back to 0. Shows "Computing file <current_file> verification" as the status.
// A failing read is logged and ends the digest early: the digest of what was read is
// still stored, and the result is false. A stop request also ends it early (false).
bool GenerateFileMD5(TransferSession& session, platform::File& file);

}  // namespace nvx

#endif  // NVX_TRANSFER_FILE_DIGEST_H_
