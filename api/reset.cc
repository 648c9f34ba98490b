#include "api/reset.h"

#include "codec/delta/delta_file.h"
#include "engines/work_files.h"
#include "platform/file_system.h"

namespace nvx {

bool RoutineReset(TransferSession& session) {
  SharedBlock& block = session.block();
  block.control.command.store(kCmdNone);
  block.control.transfer_kind = 0;
  block.control.error_code.store(error::kNone);

  // The per-job groups of the settings go whole; the link settings and the run-wide
  // settings stay.
  block.job.flags = JobFlags{};
  block.job.texts = JobTexts{};
  block.transfer_size = 0;

  // The protocol keeps the account figures and the version figures; the folder list of
  // the job and its mapping go.
  block.protocol.lists = ServerLists{};

  {
    platform::MutexLock lock(block.state_lock);
    // The last HTTP response is kept, as a caller may still want to show it.
    const std::string last_http_response = std::move(block.reported.last_http_response);
    block.reported = ReportedState{};
    block.reported.last_http_response = last_http_response;
    block.changes_hint.store(0, std::memory_order_release);
  }

  // The differential work files of the last job, in the current folder: our own regular
  // files only, never a link or anything else planted at their names. One that cannot be
  // removed is never read as the next file's: the delta path removes them again first.
  for (const char* work_file : {kDeltaFile, kSignatureFile, kSignatureWorkFile}) {
    platform::RemoveRegularFile(work_file);
  }
  // The hidden work files that killed runs left where work files are made and no walk
  // passes: the current folder (the differential path's) and the work directory.
  SweepStaleWorkFilesIn(session, ".");
  const std::string& work_directory = block.job.work_directory;
  if (!work_directory.empty()) SweepStaleWorkFilesIn(session, work_directory);
  return true;
}

}  // namespace nvx
