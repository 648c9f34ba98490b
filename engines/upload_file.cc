// UploadFile: one file of the current local folder, from opening it to deleting a moved
// source, through the is-it-there test, the quota test, compression and the upload.
#include <string>

#include "engines/compression.h"
#include "engines/upload_engine.h"
#include "engines/upload_exchanges.h"
#include "engines/upload_rules.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"
#include "protocol/transfer_answers.h"

namespace nvx {
namespace {

// The file in flight for `name` of the walk's local folder, in the walk's server folder,
// everything else cleared.
FileInFlight& StartFileState(UploadJob& job, std::string_view name) {
  FileInFlight& flight = job.in_flight;
  UploadFileState& file = flight.file;
  file = UploadFileState{};
  file.local_folder = job.local_folder;
  file.name = std::string(name);
  file.shown_name = file.name;
  file.full_path = file.local_folder + "/" + file.name;
  file.matched_entry = job.list_entry;
  file.not_on_server = job.not_on_server;
  job.list_entry = nullptr;
  job.not_on_server = false;
  flight.folder_id = job.folder.id;
  flight.folder_name = job.folder.name;
  flight.run_state = RunState::kRunning;
  return flight;
}

// The last step of every file, whatever happened before: the file closed, the work
// file removed, a moved source deleted once the service holds it. False only when the
// job must stop.
bool EndFile(FileInFlight& flight) {
  EngineContext& context = flight.context;
  UploadFileState& file = flight.file;
  DeleteWorkFile(context, file);
  file.file.Close();
  context.link().CloseIfMarked();
  if (file.delete_after) {
    int error = 0;
    if (platform::RemoveFile(file.full_path, &error)) {
      context.report().LogLine(kLineActivity, " UploadFile Delete Local File  %s\n",
                               file.full_path.c_str());
    } else {
      context.report().LogLine(kLineError, " Err - UploadFile Delete Local File %d %s\n", error,
                               file.full_path.c_str());
    }
  }
  context.progress().SetFileName("");
  return flight.run_state != RunState::kFailed;
}

// No connection for the exchange at hand: the file fails with `note_code`.
bool ConnectFailed(FileInFlight& flight, int note_code) {
  EngineContext& context = flight.context;
  context.report().SetErrorCode(error::kTransferConnection);
  context.progress().Count(FileCount::kUploadError);
  context.report().SetStatusMessage("Connect to Norrvault Failed\n");
  context.report().LogLine(kLineError, " UploadFile Connect to Norrvault Failed  %s\n",
                           flight.file.name.c_str());
  context.report().AddFileErrorNote(flight.file.full_path, note_code);
  // The file failed whatever EndFile says: the walk goes on to the next file.
  (void)EndFile(flight);
  return false;
}

bool Connected(FileInFlight& flight) {
  return flight.context.link().PrepareExchange();
}

// Opens the file and reads its size and time. False when the file is done with (not
// there, unreadable or empty), after its counts and notes.
bool OpenFileInHand(FileInFlight& flight, bool report_missing) {
  EngineContext& context = flight.context;
  Reporter& report = context.report();
  UploadFileState& file = flight.file;
  const char* name = file.name.c_str();
  file.file = platform::File::Open(file.full_path, platform::File::Access::kSharedRead);
  int error = file.file.error();
  // One look at the open file gives its size and its time.
  std::optional<platform::File::Status> status;
  if (file.file.is_open()) {
    status = file.file.ReadStatus();
    if (!status) error = file.file.error();
  }
  const int64_t size = status ? status->size : -1;
  if (size < 0) {
    file.file.Close();
    context.progress().SetFileName("");
    if (error == platform::kErrorFileNotFound && !report_missing) return false;
    report.SetErrorCode(error::kLocalFileOpen);
    report.SetStatusMessage(StrFormat("Unable to open file %s %d\n", name, error));
    context.progress().Count(FileCount::kUploadError);
    if (error != platform::kErrorFileNotFound) {
      report.LogLine(kLineError, " UploadFile CreateFile Failed %d %s\n", error, name);
    }
    report.AddFileNote(file.full_path, kNoteCouldNotOpen, report_missing, error);
    return false;
  }
  file.local_size = size;
  if (size == 0) {
    file.file.Close();
    context.progress().Count(FileCount::kUploadZeroLength);
    report.SetStatusMessage(StrFormat(" File %s has no length", name));
    context.progress().SetFileName("");
    report.LogLine(kLineActivity, " UploadFile File Zero Length  %s\n", name);
    report.AddFileNote(file.full_path, kNoteZeroLength, true, 0);
    return false;
  }
  file.last_write_time = status->last_write_time;
  return true;
}

// An incomplete server copy of the local size: the service is asked to reset it. A
// moved source is deleted only when the service's bytes are known to be the local ones.
void ResetIncompleteCopy(FileInFlight& flight) {
  EngineContext& context = flight.context;
  UploadFileState& file = flight.file;
  context.report().SetStatusMessage("Reset Incomplete Document at Norrvault");
  ServiceReply reply =
      ServiceCommand(context, "ResetIDoc",
                     CommandTarget{{flight.folder_id, flight.folder_name}, file.server_version_id});
  if (reply && EqualsIgnoreCase(reply.conclusion, "successful")) {
    context.report().SetStatusMessage("Incomplete doc reset at Norrvault");
    context.report().LogLine(kLineActivity, " Reset - Incomplete Doc For File %s\n",
                             file.name.c_str());
    file.delete_after = context.job().flags.move && file.local_digest.has_value() &&
                        *file.local_digest == file.server_digest;
  } else {
    context.report().LogLine(kLineError, " Err - Reset - Incomplete Doc Failed %s %s\n",
                             TextForLog(reply.conclusion).c_str(), file.name.c_str());
  }
}

enum class Verified { kSend, kAlreadyThere, kFailed };

// The is-it-there test with its one retry after a transport failure.
Verified VerifyWithService(FileInFlight& flight) {
  EngineContext& context = flight.context;
  UploadFileState& file = flight.file;
  const char* name = file.name.c_str();
  bool second_try = false;
  const ExchangeOutcome outcome = RetryOnceAfterTransportFailure(
      [&] { return FormatIsItThere(flight); },
      [&] {
        second_try = true;
        context.report().LogLine(kLineError, " UploadFile Verify RETRY  %s\n", name);
      });
  if (outcome != ExchangeOutcome::kOk) {
    context.progress().Count(FileCount::kUploadError);
    context.progress().SetFileName("");
    context.report().LogLine(kLineError, " UploadFile Verify File on Norrvault Failed  %s\n", name);
    context.report().AddFileErrorNote(file.full_path,
                                      second_try ? kNoteTestFailedTwice : kNoteTestRefused);
    return Verified::kFailed;
  }
  if (file.server_size != file.local_size) return Verified::kSend;
  context.progress().SetPhase(phase::kSkipping);
  context.report().LogLine(kLineActivity, " UploadFile verify match %s\n", name);
  // Matched on the second try: no reset and no deletion on that path.
  if (second_try) return Verified::kAlreadyThere;
  if (file.server_copy_incomplete) {
    ResetIncompleteCopy(flight);
  } else {
    file.delete_after = context.job().flags.move;
  }
  return Verified::kAlreadyThere;
}

// The PUT with its one retry after a transport failure. False when the file failed.
bool SendWithRetry(FileInFlight& flight) {
  EngineContext& context = flight.context;
  Reporter& report = context.report();
  UploadFileState& file = flight.file;
  const auto failed = [&] {
    report.SetStatusMessage(StrFormat(" Error %s Upload file %s failed",
                                      TextForLog(flight.put_conclusion).c_str(),
                                      file.name.c_str()));
    report.SetErrorCode(error::kUploadRefused);
    report.LogLine(kLineError, " UploadFile File Failed  %s\n", file.name.c_str());
  };
  bool retried = false;
  const ExchangeOutcome outcome = RetryOnceAfterTransportFailure(
      [&] { return FormatPutFile(flight); },
      [&] {
        failed();
        retried = true;
        report.LogLine(kLineError, " RETRY UploadFile File  %s\n", file.name.c_str());
        context.progress().SetBlock(0);
      });
  if (outcome == ExchangeOutcome::kOk) return true;
  flight.run_state = RunState::kFailed;
  failed();
  context.progress().Count(FileCount::kUploadError);
  report.AddFileErrorNote(file.full_path, retried ? kNotePutFailedTwice : kNotePutRefused);
  return false;
}

// The delta path, alone with its fixed file names while other files are in flight.
DeltaPreparation PrepareDeltaInTurn(FileInFlight& flight) {
  if (flight.delta_names_lock == nullptr) return PrepareDeltaUpload(flight);
  platform::MutexLock lock(*flight.delta_names_lock);
  return PrepareDeltaUpload(flight);
}

}  // namespace

bool UploadFile(UploadJob& job, std::string_view name, bool report_missing) {
  EngineContext& context = job.context;
  Reporter& report = context.report();
  AccountFigures& account = context.account();
  const JobFlags& flags = context.job().flags;
  FileInFlight& flight = StartFileState(job, name);
  UploadFileState& file = flight.file;

  context.progress().StartFile(file.full_path, phase::kUploading);
  report.SetStatusMessage(StrFormat("Accessing file %s", file.name.c_str()));
  report.LogLine(kLineActivity, " UploadFile Processing file %s\n", file.name.c_str());

  if (!NameCanTravel(file.name)) {
    // Sent as it stands, the name would reach the service cut short, as another
    // document's name; the file is reported and the scan goes on.
    context.progress().Count(FileCount::kUploadError);
    context.progress().SetFileName("");
    report.LogLine(kLineError, " UploadFile Name Cannot Be Sent %s\n",
                   TextForLog(file.name).c_str());
    report.AddFileNote(file.full_path, kNoteCouldNotOpen, true, platform::kErrorInvalidName);
    return true;
  }
  if (!OpenFileInHand(flight, report_missing)) return true;
  if (!Connected(flight)) return ConnectFailed(flight, kNoteConnectBeforeTest);

  bool already_there = false;
  if (flags.verification && file.not_on_server) {
    report.LogLine(kLineActivity, "  UploadFile not in the Norrvault file list %s\n",
                   file.name.c_str());
  } else if (flags.verification) {
    Verified verified = VerifyWithService(flight);
    if (verified == Verified::kFailed) {
      // The file failed whatever EndFile says; the caller notes it.
      (void)EndFile(flight);
      return false;
    }
    already_there = verified == Verified::kAlreadyThere;
  }
  context.link().CloseIfMarked();

  if (!already_there && file.differential_allowed && !file.server_version_id.empty()) {
    DeltaPreparation delta = PrepareDeltaInTurn(flight);
    if (delta == DeltaPreparation::kFailed) {
      // The file failed whatever EndFile says; the caller notes it.
      (void)EndFile(flight);
      return false;
    }
    if (delta == DeltaPreparation::kNothingMoreToSend) return EndFile(flight);
  }
  if (already_there) {
    context.progress().Count(FileCount::kUploadMatched);
    return EndFile(flight);
  }

  const bool replacement = !file.server_version_id.empty();
  if (WouldExceedQuota(file.local_size, account.space_used_estimate, account.space_limit,
                       replacement)) {
    report.SetStatusMessage(
        StrFormat(" File %s will exceed your quota. Not Uploaded.", file.name.c_str()));
    report.SetErrorCode(error::kQuotaExceeded);
    context.progress().Count(FileCount::kUploadError);
    report.LogLine(kLineError, " UploadFile Would exceed quota  %s\n", file.name.c_str());
    if (!job.quota_note_written) {
      report.AddFileNote(file.full_path, kNoteOutOfSpace, true, 0);
      job.quota_note_written = true;
    }
    return EndFile(flight);
  }
  const int64_t added_size = replacement ? 0 : file.local_size;
  const int32_t phase = replacement ? phase::kUpdating : phase::kUploading;
  context.progress().SetPhase(phase);

  if (flags.compress || flags.transfer_compress) {
    context.progress().SetPhase(phase::kCompressing);
    const bool go_on = CompressForUpload(context, file);
    context.progress().SetPhase(phase);
    if (!go_on || !file.file.is_open()) return EndFile(flight);
    file.server_size = 0;  // a packed file is never resumed
  }

  report.SetStatusMessage("Uploading File");
  context.progress().BeginFile(file.local_size, BlockCount(file.local_size));
  if (!Connected(flight)) return ConnectFailed(flight, kNoteConnectBeforePut);
  if (SendWithRetry(flight)) {
    account.space_used_estimate += added_size;
    file.delete_after = flags.move;
  }
  return EndFile(flight);
}

}  // namespace nvx
