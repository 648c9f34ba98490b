#include "service/store_opening.h"

#include "platform/error_text.h"
#include "platform/file_system.h"
#include "service/store/pg_store.h"
#include "service/store/sqlite_store.h"

namespace nvx::service {

bool OpenStore(const StoreOptions& options, const DataFolder& folder, OpenedStore* opened,
               std::string* error) {
  opened->blobs_folder = options.blobs_folder.empty() ? folder.blobs : options.blobs_folder;
  int code = 0;
  if (!platform::IsDirectory(opened->blobs_folder) &&
      !platform::MakeDirectory(opened->blobs_folder, &code) &&
      !platform::IsDirectory(opened->blobs_folder)) {
    *error = "cannot create " + opened->blobs_folder + ": " + platform::ErrorText(code);
    return false;
  }
  if (options.database_url.empty()) {
    auto store = std::make_unique<SqliteStore>();
    if (!store->Open(folder.database, folder.outbox, error)) return false;
    opened->store = std::move(store);
    opened->shared = false;
    return true;
  }
  auto store = std::make_unique<PgStore>();
  if (!store->Open(options.database_url, folder.outbox, error)) return false;
  opened->store = std::move(store);
  opened->shared = true;
  return true;
}

}  // namespace nvx::service
