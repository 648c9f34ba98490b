#include "engines/folder_lookahead.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "protocol/service_commands.h"
#include "protocol/service_link.h"

namespace nvx {

bool FetchServerFolderFacts(EngineContext& context, const ServerFolder& folder,
                            ServerFolderFacts* facts) {
  *facts = ServerFolderFacts{};
  if (!context.job().flags.verification) {
    // Only whether the service answered matters: the count itself decides nothing.
    return FolderFileCount(context, folder.target()).ok();
  }
  ExchangeResult<std::optional<std::string>> text = FolderFileList(context, folder.target());
  if (!text.ok()) return false;
  if (text.value) {
    facts->files = TakeServerFileList(context, folder.name, *text.value, FileCount::kUploadError,
                                      &facts->whole);
  }
  return true;
}

ExchangeResult<std::string> FolderAhead::TakeCreated(EngineContext& walk) {
  // The task records nothing of its own (both steps took their recordings out), and
  // always finishes.
  (void)lanes_->Finish(index_);
  if (!created_.ok()) return FolderCreate(walk, parent_id_, name_);
  lanes_->Replay(create_recording_);
  // As after an exchange of the walk's own that was answered.
  walk.link().ClearCommunicationFailure();
  return std::move(created_);
}

bool FolderAhead::TakeFacts(EngineContext& walk, const ServerFolder& folder,
                            ServerFolderFacts* facts) {
  if (!facts_fetched_) return FetchServerFolderFacts(walk, folder, facts);
  lanes_->Replay(facts_recording_);
  walk.link().ClearCommunicationFailure();
  *facts = std::move(facts_);
  return true;
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
    ahead.parent_id_ = parent_id_;
    ahead.name_ = names_[position];
    // Answers asked this far ahead carry account figures older than the walk's by the
    // time it reaches them: they stay on the lane.
    lanes_->Hand(
        ahead.index_,
        [&ahead](LaneView& lane) -> LaneFinish {
          EngineContext& context = lane.context();
          ahead.created_ = FolderCreate(context, ahead.parent_id_, ahead.name_);
          ahead.create_recording_ = lane.TakeRecording();
          if (ahead.created_.ok()) {
            ahead.facts_fetched_ = FetchServerFolderFacts(
                context, ServerFolder{ahead.created_.value, ahead.name_}, &ahead.facts_);
            ahead.facts_recording_ = lane.TakeRecording();
          }
          return {};
        },
        LaneTaskKind::kAhead);
  }
}

}  // namespace nvx
