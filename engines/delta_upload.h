// The upload's differential path: the service's block signature of its versioned copy
// is fetched into "temp.crc", compared with the local file, and only the differing
// blocks travel, as the delta "diff.crc", with the PUT of the upload engine. The three
// fixed names live in the process's current folder (Reset removes them). Worker thread
// only.
#ifndef NVX_ENGINES_DELTA_UPLOAD_H_
#define NVX_ENGINES_DELTA_UPLOAD_H_

#include <string>
#include <string_view>

#include "engines/engine_context.h"
#include "engines/upload_engine.h"

namespace nvx {

// The service's conclusion for a delta it could not apply; the file then goes whole.
inline constexpr std::string_view kDeltaRefusedConclusion = "Gen New From Diff Error";

// Fetches the service's signature of the document `version_id` of the server folder
// `folder_id` into "temp.crc" (the
// body arrives in "temp.crc~"). Both names are removed first, so that whatever the
// exchange comes to, a "temp.crc" left by an earlier file is never read as this file's
// signature. True when the exchange worked; the caller goes by whether "temp.crc" can
// be opened.
[[nodiscard]] bool FetchSignature(EngineContext& context, std::string_view folder_id,
                                  const std::string& version_id);

// Sends the delta file `delta_name` as a differential update of the file in hand's
// versioned copy (X-NVX-LUPIN "1,vid"), compressed when the job compresses, with one
// retry after a transport failure. The file in hand's state is kept aside meanwhile
// and put back. True when the service accepted the delta; false otherwise, with the
// service's conclusion in flight.put_conclusion when it refused.
[[nodiscard]] bool UploadDiffFile(FileInFlight& flight, const std::string& delta_name);

}  // namespace nvx

#endif  // NVX_ENGINES_DELTA_UPLOAD_H_
