// The upload's differential path (see delta_upload.h): PrepareDeltaUpload, the step of
// UploadFile for a versioned copy that may take a delta; FetchSignature, the GET of the
// copy's signature over the download exchange; UploadDiffFile, the PUT of the delta.
#include "engines/delta_upload.h"

#include <string>
#include <utility>

#include "codec/delta/delta_file.h"
#include "engines/compression.h"
#include "engines/download_exchange.h"
#include "engines/upload_exchanges.h"
#include "engines/upload_rules.h"
#include "engines/work_files.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "protocol/service_link.h"
#include "protocol/transfer_answers.h"

namespace nvx {
namespace {

// The results note of a delta upload that failed; the file's own path names it.
constexpr int kNoteDeltaRefused = 9;
constexpr int kNoteDeltaNotOpened = 4;
constexpr int kNoteDeltaNoConnection = 8;

// The file in flight's state set aside while the delta is the file in hand, and put
// back.
class FileStateAside {
 public:
  explicit FileStateAside(FileInFlight& flight) : flight_(flight), saved_(std::move(flight.file)) {
    flight_.file = UploadFileState{};
  }
  ~FileStateAside() {
    flight_.file = std::move(saved_);
    flight_.file.delta_upload = false;
    flight_.context.progress().SetFileName(flight_.file.full_path);
  }
  FileStateAside(const FileStateAside&) = delete;
  FileStateAside& operator=(const FileStateAside&) = delete;

  const UploadFileState& saved() const { return saved_; }

 private:
  FileInFlight& flight_;
  UploadFileState saved_;
};

// Sends the delta in hand with FormatPutFile and its one retry after a transport
// failure. False when it failed; the file's run state is failed after a second failure.
bool SendDelta(FileInFlight& flight, const std::string& source_path) {
  EngineContext& context = flight.context;
  Reporter& report = context.report();
  UploadFileState& file = flight.file;
  const auto failed = [&] {
    report.SetStatusMessage(StrFormat(" Error %s Upload file %s failed",
                                      TextForLog(flight.put_conclusion).c_str(),
                                      file.name.c_str()));
    report.SetErrorCode(error::kUploadRefused);
  };
  const auto failed_line = [&] {
    report.LogLine(kLineError, " UploadFile File Failed  %s\n", file.name.c_str());
  };
  bool retried = false;
  const ExchangeOutcome outcome = RetryOnceAfterTransportFailure(
      [&] { return FormatPutFile(flight); },
      [&] {
        failed();
        failed_line();
        retried = true;
        report.LogLine(kLineError, " RETRY UploadFile File  %s\n", file.name.c_str());
        context.progress().SetBlock(0);
      });
  if (outcome == ExchangeOutcome::kOk) return true;
  if (!retried) {
    failed();
    context.progress().Count(FileCount::kUploadError);
    failed_line();
    report.AddFileErrorNote(source_path, kNoteDeltaRefused);
    return false;
  }
  flight.run_state = RunState::kFailed;
  context.progress().Count(FileCount::kUploadError);
  failed_line();
  return false;
}

}  // namespace

bool FetchSignature(EngineContext& context, std::string_view folder_id,
                    const std::string& version_id) {
  // Whatever this exchange comes to, no signature of an earlier file may stay behind.
  // Only our own files go: what else may sit at these names stays, and the exchange
  // refuses to open it (so the results may be dropped).
  platform::RemoveRegularFile(kSignatureFile);
  platform::RemoveRegularFile(kSignatureWorkFile);

  context.progress().ClearBlocks();
  context.progress().SetFileName(kSignatureWorkFile);
  context.progress().SetPhase(phase::kServerInformation);
  context.report().SetStatusMessage(StrFormat("Accessing file %s", kSignatureWorkFile));
  context.report().LogLine(kLineActivity, " DownloadFile Processing file %s\n", kSignatureWorkFile);

  DownloadRequest request;
  request.signature = true;
  request.folder_id = std::string(folder_id);
  request.version_id = version_id;
  request.target_path = kSignatureFile;
  request.work_path = kSignatureWorkFile;
  const DownloadResult result = RunDownloadExchange(context, request);
  context.link().CloseIfMarked();
  return result.outcome == DownloadOutcome::kCompleted;
}

bool UploadDiffFile(FileInFlight& flight, const std::string& delta_name) {
  EngineContext& context = flight.context;
  Reporter& report = context.report();
  FileStateAside aside(flight);
  UploadFileState& file = flight.file;
  flight.put_conclusion.clear();
  const std::string& source_path = aside.saved().full_path;
  file.name = delta_name;
  file.shown_name = delta_name;
  file.full_path = delta_name;
  file.server_version_id = aside.saved().server_version_id;
  // The patched document takes the local file's date, as a whole upload would give it.
  file.last_write_time = aside.saved().last_write_time;
  context.progress().ClearBlocks();
  context.progress().SetFileName(delta_name);
  context.progress().SetPhase(phase::kProcessingChanges);
  report.SetStatusMessage(StrFormat("Accessing file %s", delta_name.c_str()));
  report.LogLine(kLineActivity, " UploadDiffFile Processing file %s\n", delta_name.c_str());

  file.file = platform::File::OpenRegular(delta_name, platform::File::Access::kSharedRead);
  int64_t size = file.file.is_open() ? file.file.Size() : -1;
  if (size < 0) {
    int error = file.file.error();
    report.SetErrorCode(error::kLocalFileOpen);
    report.SetStatusMessage(StrFormat("Unable to open file %s %d\n", delta_name.c_str(), error));
    report.LogLine(kLineError, " UploadFile CreateFile Failed %d %s\n", error, delta_name.c_str());
    report.AddFileErrorNote(source_path, kNoteDeltaNotOpened);
    return false;
  }
  if (size == 0) {
    report.SetStatusMessage(StrFormat(" File %s has no length", delta_name.c_str()));
    report.LogLine(kLineActivity, " UploadFile File Zero Length  %s\n", delta_name.c_str());
    return true;
  }
  file.local_size = size;

  const JobFlags& flags = context.job().flags;
  if (flags.compress || flags.transfer_compress) {
    context.progress().SetPhase(phase::kCompressing);
    const bool go_on = CompressForUpload(context, file);
    context.progress().SetPhase(phase::kProcessingChanges);
    if (!go_on || !file.file.is_open()) {
      DeleteWorkFile(context, file);
      return false;
    }
  }

  report.SetStatusMessage("Uploading File");
  context.progress().BeginFile(file.local_size, BlockCount(file.local_size));
  bool sent = false;
  if (!context.link().PrepareExchange()) {
    report.SetErrorCode(error::kTransferConnection);
    context.progress().Count(FileCount::kUploadError);
    report.SetStatusMessage("Connect to Norrvault Failed\n");
    report.LogLine(kLineError, " UploadDiffFile Connect to Norrvault Failed  %s\n",
                   delta_name.c_str());
    report.AddFileErrorNote(source_path, kNoteDeltaNoConnection);
  } else {
    file.delta_upload = true;
    sent = SendDelta(flight, source_path);
  }
  DeleteWorkFile(context, file);
  file.file.Close();
  context.link().CloseIfMarked();
  return sent && flight.run_state != RunState::kFailed;
}

DeltaPreparation PrepareDeltaUpload(FileInFlight& flight) {
  EngineContext& context = flight.context;
  const UploadFileState& file = flight.file;
  Reporter& report = context.report();
  // The differential path's names in the current folder hold our own files or nothing:
  // anything else there (a link planted to take the bytes elsewhere) is reported and
  // left alone, and the file goes whole.
  for (const char* name : {kSignatureWorkFile, kSignatureFile, kDeltaFile}) {
    if (!HoldsRegularFileOrNothing(name)) {
      RefuseNotRegularFile(context, file.full_path,
                           platform::JoinDirectory(platform::CurrentDirectory(), name),
                           FileCount::kUploadError, "was sent whole");
      return DeltaPreparation::kNotPrepared;
    }
  }
  // Whether the signature came is judged by opening "temp.crc" below.
  (void)FetchSignature(context, flight.folder_id, file.server_version_id);
  context.progress().SetFileName(file.full_path);
  context.progress().SetPhase(phase::kDeterminingChanges);

  platform::File signature_file =
      platform::File::OpenRegular(kSignatureFile, platform::File::Access::kRead);
  int64_t signature_size = signature_file.is_open() ? signature_file.Size() : -1;
  if (signature_size < 0) {
    const int error = signature_file.error();
    report.SetErrorCode(error::kLocalFileOpen);
    report.SetStatusMessage(StrFormat("Unable to open file %s %d\n", kSignatureFile, error));
    report.LogLine(kLineError, " UploadFile CreateFile Failed %d %s\n", error, kSignatureFile);
    return DeltaPreparation::kNotPrepared;
  }
  if (signature_size == 0) {
    context.progress().Count(FileCount::kUploadZeroLength);
    report.SetStatusMessage(StrFormat(" File %s has no length", kSignatureFile));
    report.LogLine(kLineActivity, " UploadFile File Zero Length  %s\n", kSignatureFile);
    return DeltaPreparation::kNotPrepared;
  }
  platform::MappedFile signature = platform::MappedFile::Map(signature_file);
  if (!signature.is_mapped()) {
    const int error = signature.error();
    report.SetErrorCode(error::kFileMapping);
    report.SetStatusMessage(
        StrFormat("Unable to CreateFileMapping %s %d\n", kSignatureFile, error));
    report.LogLine(kLineError, " UploadFile CreateFileMapping Failed %d %s\n", error,
                   kSignatureFile);
    return DeltaPreparation::kFailed;
  }

  std::string message;
  if (!MakeDelta(signature.view(), file.full_path, kDeltaFile, &message)) {
    report.LogLine(kLineActivity, " UploadFile Delta Not Made %s %s\n", TextForLog(message).c_str(),
                   file.name.c_str());
    return DeltaPreparation::kNotPrepared;
  }
  if (message == kFilesAreTheSame) {
    // An empty delta left behind is removed by Reset and written anew by the next delta.
    platform::RemoveFile(kDeltaFile);
    return DeltaPreparation::kNothingMoreToSend;
  }
  if (UploadDiffFile(flight, kDeltaFile)) return DeltaPreparation::kNothingMoreToSend;
  if (flight.put_conclusion.find(kDeltaRefusedConclusion) != std::string::npos &&
      flight.run_state != RunState::kFailed) {
    return DeltaPreparation::kNotPrepared;
  }
  return DeltaPreparation::kFailed;
}

}  // namespace nvx
