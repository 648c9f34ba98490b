#include "api/reset.h"

#include <mutex>

#include "platform/file_system.h"
#include "protocol/folder_tree.h"
#include "protocol/server_file_list.h"

namespace nvx {

bool RoutineReset(TransferSession& session) {
  SharedBlock& block = session.block();
  block.command.store(kCmdNone);
  block.transfer_kind = 0;
  block.error_code.store(kErrorNone);
  block.verification = false;
  block.subfolders = false;
  block.duplicate_files = false;
  block.use_server_date = false;
  block.move = false;
  block.compress = false;
  block.transfer_compress = false;
  block.email_to_user = false;
  block.email_to_administrator = false;
  block.engine_working_flag = false;
  block.engine_second_flag = false;
  block.compressed_work_file_in_use = false;
  block.server_copy_incomplete = false;
  block.file_compare = 0;
  block.engine = EngineState{};

  block.server_version_id.clear();
  block.email_subject.clear();
  block.email_body.clear();
  block.local_file.clear();
  block.local_directory.clear();
  block.server_file.clear();
  block.server_folder.clear();

  block.mapped_folder = nullptr;
  block.folder_list.reset();
  block.retired_folder_lists.clear();
  block.server_file_list.clear();
  block.skip_folders.clear();
  block.excluded_extensions.clear();

  {
    std::lock_guard<std::mutex> lock(block.state_lock);
    block.status_message.clear();
    block.conclusion.clear();
    block.live_progress = TransferProgress{};
    block.live_file_name.clear();
  }

  // The differential work files of the last job, in the current folder.
  for (const char* work_file : {"diff.crc", "temp.crc", "temp.crc~"}) {
    platform::RemoveFile(work_file);
  }
  return true;
}

}  // namespace nvx
