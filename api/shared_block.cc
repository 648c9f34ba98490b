#include "api/shared_block.h"

#include <utility>

#include "protocol/folder_tree.h"
#include "protocol/server_file_list.h"

namespace nvx {

SharedBlock::SharedBlock() = default;
SharedBlock::~SharedBlock() = default;

void SetStatusMessage(SharedBlock& block, std::string text) {
  std::lock_guard<std::mutex> lock(block.state_lock);
  block.status_message = std::move(text);
}

void SetConclusion(SharedBlock& block, std::string text) {
  std::lock_guard<std::mutex> lock(block.state_lock);
  block.conclusion = std::move(text);
}

void SetLastHttpResponse(SharedBlock& block, std::string text) {
  std::lock_guard<std::mutex> lock(block.state_lock);
  block.last_http_response = std::move(text);
}

std::string StatusMessageOf(SharedBlock& block) {
  std::lock_guard<std::mutex> lock(block.state_lock);
  return block.status_message;
}

std::string ConclusionOf(SharedBlock& block) {
  std::lock_guard<std::mutex> lock(block.state_lock);
  return block.conclusion;
}

}  // namespace nvx
