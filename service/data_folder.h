// The layout of a data folder: DIR/nvx.db (the store), DIR/blobs (document bytes),
// DIR/web (static files) and DIR/outbox (e-mail texts). Any thread.
#ifndef NVX_SERVICE_DATA_FOLDER_H_
#define NVX_SERVICE_DATA_FOLDER_H_

#include <string>

namespace nvx::service {

struct DataFolder {
  std::string root;
  std::string database;
  std::string blobs;
  std::string web;
  std::string outbox;
};

// The layout below `root`, with every folder created that is missing. False with a
// message when a folder cannot be created.
bool PrepareDataFolder(const std::string& root, DataFolder* folder, std::string* error);

}  // namespace nvx::service

#endif  // NVX_SERVICE_DATA_FOLDER_H_
