#include "service/data_folder.h"

#include "platform/error_text.h"
#include "platform/file_system.h"

namespace nvx::service {

bool PrepareDataFolder(const std::string& root, DataFolder* folder, std::string* error) {
  std::string base = root;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  folder->root = base;
  folder->database = base + "/nvx.db";
  folder->blobs = base + "/blobs";
  folder->web = base + "/web";
  folder->outbox = base + "/outbox";
  for (const std::string* path : {&folder->root, &folder->blobs, &folder->web, &folder->outbox}) {
    if (platform::IsDirectory(*path)) continue;
    int code = 0;
    if (!platform::MakeDirectory(*path, &code) && !platform::IsDirectory(*path)) {
      *error = "cannot create " + *path + ": " + platform::ErrorText(code);
      return false;
    }
  }
  return true;
}

}  // namespace nvx::service
