// UploadFile: one file of the current local folder, from opening it to deleting a moved
// source, through the is-it-there test, the quota test, compression and the upload.
#include <string>

#include "engines/compression.h"
#include "engines/upload_engine.h"
#include "engines/upload_exchanges.h"
#include "engines/upload_rules.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "platform/file_time.h"
#include "platform/text_format.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"
#include "protocol/transfer_answers.h"

namespace nvx {
namespace {

// The file state for `name` of the current local folder, everything else cleared.
void StartFileState(UploadJob& job, std::string_view name) {
  UploadFileState& file = job.file;
  std::string local_folder = std::move(file.local_folder);
  file = UploadFileState{};
  file.local_folder = std::move(local_folder);
  file.name = std::string(name);
  file.full_path = file.local_folder + "/" + file.name;
  file.matched_entry = job.list_entry;
  job.list_entry = nullptr;
}

// The last step of every file, whatever happened before: the file closed, the work
// file removed, a moved source deleted once the service holds it. False only when the
// job must stop.
bool EndFile(UploadJob& job) {
  EngineContext& context = job.context;
  UploadFileState& file = job.file;
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
  context.state().current_file.clear();
  context.progress().SetFileName("");
  return job.run_state != kRunStateFailed;
}

// No connection for the exchange at hand: the file fails with `note_code`.
bool ConnectFailed(UploadJob& job, int note_code) {
  EngineContext& context = job.context;
  context.report().SetErrorCode(kErrorTransferConnection);
  context.progress().Count(FileCount::kUploadError);
  context.report().SetStatusMessage("Connect to Norrvault Failed\n");
  context.report().LogLine(kLineError, " UploadFile Connect to Norrvault Failed  %s\n",
                           job.file.name.c_str());
  context.report().AddFileErrorNote(job.file.full_path, note_code);
  EndFile(job);
  return false;
}

bool Connected(UploadJob& job) {
  ServiceLink& link = job.context.link();
  return link.PrepareExchange();
}

// Opens the file and reads its size and time. False when the file is done with (not
// there, unreadable or empty), after its counts and notes.
bool OpenFileInHand(UploadJob& job, bool report_missing) {
  EngineContext& context = job.context;
  Reporter& report = context.report();
  UploadFileState& file = job.file;
  const char* name = file.name.c_str();
  file.file = platform::File::Open(file.full_path, platform::File::Access::kSharedRead);
  int error = file.file.error();
  int64_t size = file.file.is_open() ? file.file.Size() : -1;
  if (file.file.is_open() && size < 0) error = file.file.error();
  if (size < 0) {
    file.file.Close();
    context.progress().SetFileName("");
    if (error == platform::kErrorFileNotFound && !report_missing) return false;
    report.SetErrorCode(kErrorLocalFileOpen);
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
  file.last_write_time = platform::ModificationTime(file.full_path, &error);
  if (!file.last_write_time) {
    report.LogLine(kLineError, " UploadFile GetFileTimeFailed %d %s\n", error, name);
  }
  return true;
}

// An incomplete server copy of the local size: the service is asked to reset it. A
// moved source is deleted only when the service's bytes are known to be the local ones.
void ResetIncompleteCopy(UploadJob& job) {
  EngineContext& context = job.context;
  UploadFileState& file = job.file;
  context.report().SetStatusMessage("Reset Incomplete Document at Norrvault");
  context.state().server_version_id = file.server_version_id;
  ServiceReply reply = ServiceCommand(context, "ResetIDoc");
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
Verified VerifyWithService(UploadJob& job) {
  EngineContext& context = job.context;
  UploadFileState& file = job.file;
  const char* name = file.name.c_str();
  const auto fail = [&](int note_code) {
    context.progress().Count(FileCount::kUploadError);
    context.progress().SetFileName("");
    context.report().LogLine(kLineError, " UploadFile Verify File on Norrvault Failed  %s\n", name);
    context.report().AddFileErrorNote(file.full_path, note_code);
    return Verified::kFailed;
  };
  const auto matched = [&] {
    context.progress().SetPhase(kPhaseSkipping);
    context.report().LogLine(kLineActivity, " UploadFile verify match %s\n", name);
  };

  if (FormatIsItThere(job)) {
    if (file.server_size != file.local_size) return Verified::kSend;
    matched();
    if (file.server_copy_incomplete) {
      ResetIncompleteCopy(job);
    } else {
      file.delete_after = context.job().flags.move;
    }
    return Verified::kAlreadyThere;
  }
  if (!context.link().communication_failure()) return fail(kNoteTestRefused);
  context.report().LogLine(kLineError, " UploadFile Verify RETRY  %s\n", name);
  if (!FormatIsItThere(job)) return fail(kNoteTestFailedTwice);
  if (file.server_size != file.local_size) return Verified::kSend;
  // Matched on the second try: no reset and no deletion on this path.
  matched();
  return Verified::kAlreadyThere;
}

// The PUT with its one retry after a transport failure. False when the file failed.
bool SendWithRetry(UploadJob& job) {
  EngineContext& context = job.context;
  Reporter& report = context.report();
  UploadFileState& file = job.file;
  if (FormatPutFile(job)) return true;
  const auto failed = [&] {
    report.SetStatusMessage(StrFormat(" Error %s Upload file %s failed",
                                      TextForLog(job.put_conclusion).c_str(), file.name.c_str()));
    report.SetErrorCode(kErrorUploadRefused);
    context.progress().Count(FileCount::kUploadError);
    report.LogLine(kLineError, " UploadFile File Failed  %s\n", file.name.c_str());
  };
  failed();
  if (!context.link().communication_failure()) {
    report.AddFileErrorNote(file.full_path, kNotePutRefused);
    job.run_state = kRunStateFailed;
    return false;
  }
  context.link().ClearCommunicationFailure();
  context.progress().Count(FileCount::kUploadError, -1);
  report.LogLine(kLineError, " RETRY UploadFile File  %s\n", file.name.c_str());
  context.progress().SetBlock(0);
  if (FormatPutFile(job)) return true;
  job.run_state = kRunStateFailed;
  failed();
  report.AddFileErrorNote(file.full_path, kNotePutFailedTwice);
  return false;
}

}  // namespace

bool UploadFile(UploadJob& job, std::string_view name, bool report_missing) {
  EngineContext& context = job.context;
  Reporter& report = context.report();
  ProtocolState& state = context.state();
  const JobFlags& flags = context.job().flags;
  UploadFileState& file = job.file;

  StartFileState(job, name);
  state.current_file = file.name;
  context.progress().StartFile(file.full_path, kPhaseUploading);
  report.SetStatusMessage(StrFormat("Accessing file %s", file.name.c_str()));
  job.run_state = kRunStateRunning;
  report.LogLine(kLineActivity, " UploadFile Processing file %s\n", file.name.c_str());

  if (!NameCanTravel(file.name)) {
    // Sent as it stands, the name would reach the service cut short, as another
    // document's name; the file is reported and the scan goes on.
    context.progress().Count(FileCount::kUploadError);
    context.progress().SetFileName("");
    report.LogLine(kLineError, " UploadFile Name Cannot Be Sent %s\n",
                   TextForLog(file.name).c_str());
    report.AddFileNote(file.full_path, kNoteCouldNotOpen, true, platform::kErrorInvalidName);
    state.current_file.clear();
    return true;
  }
  if (!OpenFileInHand(job, report_missing)) return true;
  if (!Connected(job)) return ConnectFailed(job, kNoteConnectBeforeTest);

  bool already_there = false;
  if (flags.verification) {
    Verified verified = VerifyWithService(job);
    if (verified == Verified::kFailed) {
      EndFile(job);
      return false;
    }
    already_there = verified == Verified::kAlreadyThere;
  }
  context.link().CloseIfMarked();

  if (!already_there && file.differential_allowed && !file.server_version_id.empty()) {
    DeltaPreparation delta = PrepareDeltaUpload(job);
    if (delta == DeltaPreparation::kFailed) {
      EndFile(job);
      return false;
    }
    if (delta == DeltaPreparation::kNothingMoreToSend) return EndFile(job);
  }
  if (already_there) {
    context.progress().Count(FileCount::kUploadMatched);
    return EndFile(job);
  }

  const bool replacement = !file.server_version_id.empty();
  if (WouldExceedQuota(file.local_size, state.space_used_estimate, state.space_limit,
                       replacement)) {
    report.SetStatusMessage(
        StrFormat(" File %s will exceed your quota. Not Uploaded.", file.name.c_str()));
    report.SetErrorCode(kErrorQuotaExceeded);
    context.progress().Count(FileCount::kUploadError);
    report.LogLine(kLineError, " UploadFile Would exceed quota  %s\n", file.name.c_str());
    if (!job.quota_note_written) {
      report.AddFileNote(file.full_path, kNoteOutOfSpace, true, 0);
      job.quota_note_written = true;
    }
    return EndFile(job);
  }
  const int64_t added_size = replacement ? 0 : file.local_size;
  const int32_t phase = replacement ? kPhaseUpdating : kPhaseUploading;
  context.progress().SetPhase(phase);

  if (flags.compress || flags.transfer_compress) {
    context.progress().SetPhase(kPhaseCompressing);
    const bool go_on = CompressForUpload(context, file);
    context.progress().SetPhase(phase);
    if (!go_on || !file.file.is_open()) return EndFile(job);
    file.server_size = 0;  // a packed file is never resumed
  }

  report.SetStatusMessage("Uploading File");
  context.progress().BeginFile(file.local_size, BlockCount(file.local_size));
  if (!Connected(job)) return ConnectFailed(job, kNoteConnectBeforePut);
  if (SendWithRetry(job)) {
    state.space_used_estimate += added_size;
    file.delete_after = flags.move;
  }
  return EndFile(job);
}

}  // namespace nvx
