// How the upload's folder walk sends the files of a folder: one after the other on the
// walk's own connection, or on the lanes of a job that keeps several in flight
// (engine_lanes.h). Both write the same results, notes and counts in the same order and
// pause after each file in walk order. Worker thread; a file on a lane runs on the lane's
// thread with an UploadJob of the lane's own.
#ifndef NVX_ENGINES_UPLOAD_LANES_H_
#define NVX_ENGINES_UPLOAD_LANES_H_

#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_lanes.h"
#include "engines/upload_engine.h"

namespace nvx {

// A file of the walk's folder in walk order: matched by its date in the server file list
// (counted without a request) or to be sent.
struct FileStep {
  std::string name;
  bool date_match = false;
  const ServerFileEntry* list_entry = nullptr;
  // The folder's whole file list does not name it (any letter case): the service holds no
  // document of that name.
  bool not_on_server = false;
};

// The files of `steps` one after the other on the walk's own connection. False only when
// the job must stop.
[[nodiscard]] bool SendFilesInOrder(UploadJob& job, const std::vector<FileStep>& steps);
// The same on `lanes`, up to one file per lane in flight.
[[nodiscard]] bool SendFilesOnLanes(EngineLanes& lanes, UploadJob& job,
                                    const std::vector<FileStep>& steps);

// The upload's results note for a file that failed: a communication failure when
// `transport` (the last exchange broke off), else an error the service reported.
void NoteFailedFile(Reporter& report, std::string_view name, bool transport);

// The file counted as matched by its date in the server file list, without a request.
void CountDateMatch(UploadJob& job, const std::string& name);

}  // namespace nvx

#endif  // NVX_ENGINES_UPLOAD_LANES_H_
