// Internal access to the shared block behind a CNvxapi, for the library's own code and
// its tests. Not part of the exported interface.
#ifndef NVX_API_FACADE_ACCESS_H_
#define NVX_API_FACADE_ACCESS_H_

#include "api/nvxapi.h"
#include "api/shared_block.h"

namespace nvx {

struct FacadeAccess {
  [[nodiscard]] static SharedBlock* Block(CNvxapi& api) { return api.block_; }
};

// Posting a command: status 1 first, then the code (and, for a transfer, the transfer
// kind), then the command event, so that a caller polling at once never sees the
// previous final status. A block without a worker fails the command at once.
void PostCommand(SharedBlock& block, int32_t code);

// Writes the trace line of a facade call when the script bit is set.
void Trace(SharedBlock& block, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace nvx

#endif  // NVX_API_FACADE_ACCESS_H_
