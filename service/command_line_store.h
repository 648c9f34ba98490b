// The command line's options that choose the store and its blob folder, the cleanup of
// the blob folder, and the migrate command:
//
//   [--database postgresql://...]  the shared store (PostgreSQL) instead of DIR/nvx.db
//   [--blobs DIR]                  the blob folder (default: DATA/blobs); may be shared
//   [--blob-lease SECONDS]         serving: how old an unnamed blob or temporary file must
//                                  be before cleanup removes it
//   [--cleanup-every SECONDS]      serving: how often the blob folder is cleaned
//   [--inline-max BYTES]           serving: documents up to this size are kept inside the
//                                  embedded store, not a file each (0: none)
//   nvxserver migrate --from DATA_DIR --database URL [--blobs DIR]
//
// Pure functions; any thread.
#ifndef NVX_SERVICE_COMMAND_LINE_STORE_H_
#define NVX_SERVICE_COMMAND_LINE_STORE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "service/store/service_limits.h"

namespace nvx::service {

struct StoreOptions {
  std::string database_url;  // empty: the embedded store in the data folder
  std::string blobs_folder;  // empty: DATA/blobs
  // With the shared store, cleanup removes only what no document names and what is at
  // least this old: no process still writing it can be that slow (a writer touches its
  // file at least every time-out of a request body).
  int64_t blob_lease_seconds = 3600;
  int64_t cleanup_every_seconds = 600;
  int64_t inline_blob_max = kServiceInlineBlobMaxDefault;
  std::string migrate_from;  // migrate: the data folder of the embedded store
};

// True for an option of this block; `serving_only` tells whether it applies only to
// serving.
bool IsStoreOption(std::string_view option, bool* serving_only);
// Takes the option's value into `options`; the reason when it is refused.
std::string ParseStoreOption(std::string_view option, std::string_view value,
                             StoreOptions* options);
// True when the command's words (after the global options, from `at`) are the migrate
// command, which needs no data folder.
bool IsMigrateCommand(const std::vector<std::string>& words, size_t at);
// Parses the migrate command's options (after the word "migrate"); the reason when they
// are refused.
std::string ParseMigrateCommand(const std::vector<std::string>& words, size_t at,
                                StoreOptions* options);
// The usage lines of this block.
std::string StoreUsageText();

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMAND_LINE_STORE_H_
