#include "api/shared_block.h"

#include <utility>

#include "protocol/folder_tree.h"
#include "protocol/server_file_list.h"

namespace nvx {

SharedBlock::SharedBlock() = default;
SharedBlock::~SharedBlock() = default;

void SetStatusMessage(SharedBlock& block, std::string text) {
  nvx::platform::MutexLock lock(block.state_lock);
  block.reported.status_message = std::move(text);
}

void SetConclusion(SharedBlock& block, std::string text) {
  nvx::platform::MutexLock lock(block.state_lock);
  block.reported.conclusion = std::move(text);
}

void SetLastHttpResponse(SharedBlock& block, std::string text) {
  nvx::platform::MutexLock lock(block.state_lock);
  block.reported.last_http_response = std::move(text);
}

std::string StatusMessageOf(SharedBlock& block) {
  nvx::platform::MutexLock lock(block.state_lock);
  return block.reported.status_message;
}

std::string ConclusionOf(SharedBlock& block) {
  nvx::platform::MutexLock lock(block.state_lock);
  return block.reported.conclusion;
}

}  // namespace nvx
