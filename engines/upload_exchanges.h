// The upload's two exchanges with the service for the file in hand: the is-it-there
// test (HEAD) and the upload itself (PUT), and the preparation of a differential upload.
// Each works on one file in flight and reports through its context. Worker thread only.
#ifndef NVX_ENGINES_UPLOAD_EXCHANGES_H_
#define NVX_ENGINES_UPLOAD_EXCHANGES_H_

#include "engines/upload_engine.h"
#include "protocol/exchange_outcome.h"

namespace nvx {

// Asks the service about the file in flight and takes its answer into the file state
// (server size, digest, version id, differential allowed, incomplete). Ok when a
// conclusion was understood; a transport failure (the link's communication-failure flag
// is then set); refused for an answer that cannot be used; a local failure when the
// file could not be read for its digest.
[[nodiscard]] ExchangeOutcome FormatIsItThere(FileInFlight& flight);

// Sends the file in flight: resumes at the server size when the server's first bytes
// are the local ones, replaces the versioned copy, or sends a new document. Ok when the
// service accepted the file; a transport failure (flag set, connection marked to be
// closed); refused (the conclusion is in flight.put_conclusion); a local failure after
// a read error.
[[nodiscard]] ExchangeOutcome FormatPutFile(FileInFlight& flight);

// What the preparation of a differential upload came to.
enum class DeltaPreparation {
  kNotPrepared,        // send the whole file
  kNothingMoreToSend,  // the files are equal, or the delta went up
  kFailed,             // the job must stop
};
// Prepares and sends only the differences from the server's versioned copy (see
// delta_upload.h): fetches the copy's signature, writes the delta and uploads it.
// kNotPrepared when the file must go whole (no usable signature, no delta could be
// written, or the service could not apply the delta); kNothingMoreToSend when the
// files are equal or the delta went up; kFailed when the signature could not be mapped
// or the delta upload failed otherwise.
[[nodiscard]] DeltaPreparation PrepareDeltaUpload(FileInFlight& flight);

}  // namespace nvx

#endif  // NVX_ENGINES_UPLOAD_EXCHANGES_H_
