// Files of one folder sent on several connections at once (SetTransfers above 1). An
// UploadLanes owns N lanes, each a thread with a context of its own: its own link to the
// service, transfer buffer, account figures and FileInFlight, and a report that records
// what its file says instead of writing it. The folder walk (the worker thread) hands the
// files to the lanes and takes their outcomes back in walk order: it writes each file's
// recorded lines, notes and counts, then pauses after the file as a walk with one lane
// would, so the results report and the counts do not depend on the number of lanes.
// Everything a lane shares with the others (the progress record, the job settings, the
// stop flag) is either read only or locked inside.
#ifndef NVX_ENGINES_UPLOAD_LANES_H_
#define NVX_ENGINES_UPLOAD_LANES_H_

#include <memory>
#include <vector>

#include "engines/upload_engine.h"

namespace nvx {

// A file of the walk's folder in walk order: matched by its date in the server file list
// (counted without a request) or to be sent.
struct FileStep {
  std::string name;
  bool date_match = false;
  const ServerFileEntry* list_entry = nullptr;
};

class UploadLaneSet;

class UploadLanes {
 public:
  // Opens `count` lanes over `context` and checks the login on each new connection. Null
  // when they cannot all be had (a connection refused, for example with "503", or no
  // thread to run on): the upload then goes on with the worker's one connection, after a
  // line in the activity log.
  [[nodiscard]] static std::unique_ptr<UploadLanes> Open(EngineContext& context, int count);
  ~UploadLanes();
  UploadLanes(const UploadLanes&) = delete;
  UploadLanes& operator=(const UploadLanes&) = delete;

  // Sends the files of `steps` from the walk's folder as SendFilesInOrder does with one
  // connection: the same outcome, notes and counts in the same order. False only when the
  // job must stop.
  [[nodiscard]] bool SendFiles(UploadJob& job, const std::vector<FileStep>& steps);

 private:
  explicit UploadLanes(std::unique_ptr<UploadLaneSet> set);
  std::unique_ptr<UploadLaneSet> set_;
};

// Opens the lanes of an upload the first time they are asked for, and keeps them (or
// that they could not be had) for the rest of the command.
class LaneOpener {
 public:
  LaneOpener(EngineContext& context, int count) : context_(context), count_(count) {}
  // The lanes, or null when they cannot be had.
  UploadLanes* Get() {
    if (!tried_) {
      tried_ = true;
      lanes_ = UploadLanes::Open(context_, count_);
    }
    return lanes_.get();
  }

 private:
  EngineContext& context_;
  int count_;
  bool tried_ = false;
  std::unique_ptr<UploadLanes> lanes_;
};

// The files of `steps` one after the other on the walk's own connection. False only when
// the job must stop.
[[nodiscard]] bool SendFilesInOrder(UploadJob& job, const std::vector<FileStep>& steps);

// The upload's results note for a file that failed: a communication failure when
// `transport` (the last exchange broke off), else an error the service reported.
void NoteFailedFile(Reporter& report, std::string_view name, bool transport);

// The file counted as matched by its date in the server file list, without a request.
void CountDateMatch(UploadJob& job, const std::string& name);

}  // namespace nvx

#endif  // NVX_ENGINES_UPLOAD_LANES_H_
