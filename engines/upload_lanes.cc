#include "engines/upload_lanes.h"

#include <memory>
#include <utility>

#include "platform/text_format.h"
#include "protocol/service_link.h"

namespace nvx {
namespace {

// The upload's state on a lane: its own file in flight and piece buffer.
struct UploadLaneState final : LaneState {
  UploadLaneState(EngineContext& context, platform::Mutex& shared_names_lock) : job(context) {
    job.in_flight.delta_names_lock = &shared_names_lock;
  }
  UploadJob job;
};

}  // namespace

bool SendFilesOnLanes(EngineLanes& lanes, UploadJob& job, const std::vector<FileStep>& steps) {
  EngineContext& context = job.context;
  const size_t first = lanes.ReserveIndices(steps.size());
  size_t handed = 0;
  bool go_on = true;
  for (size_t i = 0; i < steps.size(); ++i) {
    for (; handed < steps.size() && handed <= i + kLaneFilesAhead; ++handed) {
      const FileStep& step = steps[handed];
      if (step.date_match) continue;
      // What the walk knows now goes with the file: the lane never reads the walk's job.
      lanes.Hand(first + handed,
                 [&lanes, &walk = job, step, folder = job.folder, local_folder = job.local_folder,
                  quota_note = job.quota_note_written](LaneView& lane) -> LaneFinish {
                   std::unique_ptr<LaneState>& state = lane.state();
                   if (state == nullptr) {
                     state = std::make_unique<UploadLaneState>(lane.context(),
                                                               lanes.shared_names_lock());
                   }
                   UploadJob& own = static_cast<UploadLaneState&>(*state).job;
                   own.folder = folder;
                   own.local_folder = local_folder;
                   own.list_entry = step.list_entry;
                   own.not_on_server = step.not_on_server;
                   own.quota_note_written = quota_note;
                   const bool sent = UploadFile(own, step.name, /*report_missing=*/false);
                   const RunState run_state = own.in_flight.run_state;
                   const bool transport = lane.context().link().communication_failure();
                   const bool quota_note_written = own.quota_note_written;
                   return [&walk, step, sent, run_state, transport, quota_note_written] {
                     walk.quota_note_written = walk.quota_note_written || quota_note_written;
                     if (!sent) {
                       NoteFailedFile(walk.context.report(), step.name, transport);
                       return false;
                     }
                     // The walk stops after a file failed for good, as it does with one connection.
                     walk.in_flight.run_state = run_state;
                     return true;
                   };
                 });
    }
    const FileStep& step = steps[i];
    if (step.date_match) {
      CountDateMatch(job, step.name);
    } else if (!lanes.Finish(first + i)) {
      break;
    }
    if (!context.PauseAfterFile()) {
      go_on = false;
      break;
    }
    if (job.in_flight.run_state == RunState::kFailed) break;
  }
  lanes.Drain(first, steps.size());
  return go_on;
}

bool SendFilesInOrder(UploadJob& job, const std::vector<FileStep>& steps) {
  EngineContext& context = job.context;
  for (const FileStep& step : steps) {
    if (step.date_match) {
      CountDateMatch(job, step.name);
    } else {
      job.list_entry = step.list_entry;
      if (!UploadFile(job, step.name, /*report_missing=*/false)) {
        NoteFailedFile(context.report(), step.name, context.link().communication_failure());
        break;
      }
    }
    if (!context.PauseAfterFile()) return false;
    if (job.in_flight.run_state == RunState::kFailed) break;
  }
  return true;
}

void NoteFailedFile(Reporter& report, std::string_view name, bool transport) {
  report.AddFileNote(name, transport ? kNoteCommunicationFailure : kNoteServerError, true, 0);
}

void CountDateMatch(UploadJob& job, const std::string& name) {
  EngineContext& context = job.context;
  const std::string full_path = job.local_folder + "/" + name;
  context.progress().Count(FileCount::kUploadMatched);
  context.progress().StartFile(full_path, phase::kSkipping);
  context.report().SetStatusMessage(StrFormat("Accessing file %s", name.c_str()));
  context.report().LogLine(kLineActivity, "  UploadFile verify Date match %s\n", name.c_str());
}

}  // namespace nvx
