#include "engines/folder_lookahead.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "protocol/service_commands.h"
#include "protocol/service_link.h"

namespace nvx {
namespace {

// The walk's link says what the lane's said after the same exchange.
void MirrorTransportFailure(EngineContext& walk, bool transport_failure) {
  if (transport_failure) {
    walk.link().MarkCommunicationFailure();
  } else {
    walk.link().ClearCommunicationFailure();
  }
}

}  // namespace

bool FetchServerFolderFacts(EngineContext& context, const ServerFolder& folder,
                            std::vector<ServerFileEntry>* server_files) {
  server_files->clear();
  if (!context.job().flags.verification) {
    // Only whether the service answered matters: the count itself decides nothing.
    return FolderFileCount(context, folder.target()).ok();
  }
  ExchangeResult<std::optional<std::string>> text = FolderFileList(context, folder.target());
  if (!text.ok()) return false;
  if (text.value) {
    *server_files = TakeServerFileList(context, folder.name, *text.value, FileCount::kUploadError);
  }
  return true;
}

ExchangeResult<std::string> FolderAhead::TakeCreated(EngineContext& walk) {
  // The task records nothing of its own: both steps took their recordings out.
  (void)lanes_->Finish(index_);
  lanes_->Replay(create_recording_);
  MirrorTransportFailure(walk, create_transport_failure_);
  return std::move(created_);
}

bool FolderAhead::TakeFacts(EngineContext& walk, std::vector<ServerFileEntry>* server_files) {
  lanes_->Replay(facts_recording_);
  MirrorTransportFailure(walk, facts_transport_failure_);
  *server_files = std::move(server_files_);
  return facts_fetched_;
}

FolderLookahead::FolderLookahead(EngineLanes* lanes, std::string parent_id,
                                 std::vector<std::string> names)
    : lanes_(lanes), parent_id_(std::move(parent_id)), names_(std::move(names)) {
  if (lanes_ == nullptr) return;
  first_index_ = lanes_->ReserveIndices(names_.size());
  HandUpTo(kLaneFoldersAhead);
}

FolderLookahead::~FolderLookahead() {
  // The lanes write into ahead_: none of its tasks may still run when it goes.
  if (lanes_ != nullptr) lanes_->Drain(first_index_, names_.size());
}

FolderAhead* FolderLookahead::Reach(size_t position) {
  if (lanes_ == nullptr || position >= names_.size()) return nullptr;
  HandUpTo(position + 1 + kLaneFoldersAhead);
  return &ahead_[position];
}

void FolderLookahead::HandUpTo(size_t end) {
  end = std::min(end, names_.size());
  while (ahead_.size() < end) {
    const size_t position = ahead_.size();
    FolderAhead& ahead = ahead_.emplace_back();
    ahead.lanes_ = lanes_;
    ahead.index_ = first_index_ + position;
    // Answers asked this far ahead carry account figures older than the walk's by the
    // time it reaches them: they stay on the lane.
    lanes_->Hand(
        ahead.index_,
        [&ahead, parent_id = parent_id_, name = names_[position]](LaneView& lane) -> LaneFinish {
          EngineContext& context = lane.context();
          ahead.created_ = FolderCreate(context, parent_id, name);
          ahead.create_transport_failure_ = context.link().communication_failure();
          ahead.create_recording_ = lane.TakeRecording();
          if (ahead.created_.ok()) {
            ahead.facts_fetched_ = FetchServerFolderFacts(
                context, ServerFolder{ahead.created_.value, name, nullptr}, &ahead.server_files_);
            ahead.facts_transport_failure_ = context.link().communication_failure();
            ahead.facts_recording_ = lane.TakeRecording();
          }
          return {};
        },
        /*figures_back=*/false);
  }
}

}  // namespace nvx
