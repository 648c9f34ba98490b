// Opens the store a command line names: the embedded store in the data folder
// (DIR/nvx.db), or the shared store at --database; with its blob folder (--blobs, else
// DIR/blobs), made when missing. Runs on the program's main thread.
#ifndef NVX_SERVICE_STORE_OPENING_H_
#define NVX_SERVICE_STORE_OPENING_H_

#include <memory>
#include <string>

#include "service/command_line.h"
#include "service/data_folder.h"
#include "service/store/store.h"

namespace nvx::service {

struct OpenedStore {
  std::unique_ptr<Store> store;
  std::string blobs_folder;
  // Several processes may use the store and its blob folder at once (the shared store):
  // nothing may be cleaned up on the ground that this process does not use it.
  bool shared = false;
};

// False with a message when the store cannot be opened.
bool OpenStore(const StoreOptions& options, const DataFolder& folder, OpenedStore* opened,
               std::string* error);

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_OPENING_H_
