#include "engines/work_files.h"

#include <optional>

#include "codec/hidden_work_file.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "protocol/transfer_answers.h"

namespace nvx {
namespace {

void LogRemoved(EngineContext& context, const std::vector<std::string>& removed) {
  for (const std::string& path : removed) {
    context.report().LogLine(kLineActivity, " Removed stale work file %s\n",
                             TextForLog(path, path.size()).c_str());
  }
}

}  // namespace

bool HoldsRegularFileOrNothing(const std::string& path) {
  int error = 0;
  const std::optional<platform::PathKind> kind = platform::TestPathItself(path, &error);
  if (!kind) return error == platform::kErrorFileNotFound;
  return *kind == platform::PathKind::kFile;
}

void RefuseNotRegularFile(EngineContext& context, std::string_view file_path,
                          std::string_view occupied, FileCount count, std::string_view outcome) {
  const std::string file_shown = TextForLog(file_path, file_path.size());
  const std::string occupied_shown = TextForLog(occupied, occupied.size());
  context.progress().Count(count);
  context.report().LogLine(kLineError, " Err - Not a regular file, left as it is: %s (for %s)\n",
                           occupied_shown.c_str(), file_shown.c_str());
  const std::string_view folder = FolderOfPath(file_shown);
  const std::string_view name = std::string_view(file_shown).substr(folder.size());
  std::string note = "\r\n" + std::string(name) + "\r\n   in folder: ";
  note += folder.size() > 1 ? folder.substr(0, folder.size() - 1) : std::string_view("/");
  note += "\r\n   " + std::string(outcome) + " because " + occupied_shown +
          " is not a regular file (a link, folder, pipe or device); it was left as it is.\r\n";
  context.report().WriteResultText(note);
}

void SweepStaleWorkFiles(EngineContext& context, std::string_view folder,
                         const std::vector<platform::DirectoryEntry>& entries) {
  LogRemoved(context, RemoveStaleWorkFiles(folder, entries));
}

void SweepStaleWorkFilesIn(EngineContext& context, const std::string& folder) {
  LogRemoved(context, RemoveStaleWorkFilesIn(folder));
}

}  // namespace nvx
