// The download exchange: request, answer, body, deciphering, completion (see the
// header). The body moves from the socket to the work file in pieces of up to
// kDownloadPieceSize bytes; the progress record still counts 1024-byte blocks.
#include "engines/download_exchange.h"

#include <algorithm>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "codec/zip_archive.h"
#include "engines/download_engine.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "protocol/connection.h"
#include "protocol/credentials.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"
#include "protocol/transfer_answers.h"
#include "protocol/transfer_requests.h"

namespace nvx {
namespace {

// One exchange's working set: what the steps below share.
struct Exchange {
  EngineContext& context;
  const DownloadRequest& request;
  DownloadResult result;

  Reporter& report() { return context.report(); }
  ServiceLink& link() { return context.link(); }
  const char* name() const { return request.log_name.c_str(); }

  DownloadResult Finish(DownloadOutcome outcome) {
    result.outcome = outcome;
    return result;
  }
  DownloadResult TransportFailure() {
    link().MarkTransportFailure();
    return Finish(DownloadOutcome::kTransportFailure);
  }
  // A local failure with the body (or part of it) still on the wire: the connection
  // cannot carry another request.
  DownloadResult LocalFailure(int error) {
    result.error = error;
    link().CloseConnection();
    return Finish(DownloadOutcome::kLocalFailure);
  }
};

// The receive time-out while the service may work long before it answers (packing the
// document), until the answer's header is in.
void SetSlowServerTimeout(ServiceLink& link, bool slow) {
  if (Connection* connection = link.active_connection()) {
    connection->set_receive_timeout_seconds(slow ? kSlowServerReceiveTimeoutSeconds
                                                 : kDefaultReceiveTimeoutSeconds);
  }
}

std::string BuildRequest(Exchange& exchange) {
  EngineContext& context = exchange.context;
  const DownloadRequest& request = exchange.request;
  TransferRequestBase base{context.link().Route(), LoginToken(context.job().link),
                           request.folder_id};
  DownloadFields fields;
  fields.version_id = request.version_id;
  if (request.offered) {
    const Md5Digest& digest = request.offered->digest;
    fields.restart_digest_base64 =
        Base64Encode(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
    fields.restart_length = request.offered->size;
    fields.last_write_time = request.target_time;
  }
  fields.fang = FangFor(/*enciphered=*/false, 0, platform::GetClock().NowSeconds(),
                        /*compressed_work_file=*/false, context.job().flags.transfer_compress, 0);
  return request.signature ? FormatSignatureDownload(base, fields) : FormatDownload(base, fields);
}

// True when the header ended with its empty line rather than being cut at the limit.
bool HeaderEnded(const std::string& text) {
  if (text.empty() || text.back() != '\n') return false;
  size_t at = text.size() - 1;
  while (at > 0 && (text[at - 1] == '\r')) --at;
  return at > 0 && text[at - 1] == '\n';
}

// Opens the work file for the body: appended to after the offered copy on a resume
// (a target offered is copied there first), else created anew. Never through a link
// planted at its name (kErrorNotRegularFile).
platform::File OpenWorkFile(Exchange& exchange, bool restart) {
  const DownloadRequest& request = exchange.request;
  if (!restart) {
    return platform::File::OpenRegular(request.work_path, platform::File::Access::kCreateTruncate);
  }
  if (!request.offered->is_work_file) {
    if (int error = CopyWholeFile(request.target_path, request.work_path); error != 0) {
      exchange.report().LogLine(kLineError, " Err - %s - CopyFile Failed %d\n", exchange.name(),
                                error);
      exchange.result.error = error;
      return {};
    }
  }
  platform::File file =
      platform::File::OpenRegular(request.work_path, platform::File::Access::kCreateReadWrite);
  // The body continues exactly after the bytes whose digest was offered.
  if (file.is_open() && (!file.Truncate(request.offered->size) || !file.SeekToEnd())) file.Close();
  return file;
}

enum class BodyEnd { kWhole, kEndedEarly, kReceiveError, kWriteError };

// Receives `length` bytes into `file`; never more, whatever the peer sends.
BodyEnd ReceiveBody(Exchange& exchange, platform::File& file, int64_t length) {
  ProgressSink& progress = exchange.context.progress();
  const bool show = exchange.request.show_progress;
  std::vector<uint8_t> piece(static_cast<size_t>(
      std::min<int64_t>(std::max<int64_t>(length, 1), static_cast<int64_t>(kDownloadPieceSize))));
  int64_t& received = exchange.result.received;
  while (received < length) {
    const auto want = static_cast<size_t>(
        std::min<int64_t>(length - received, static_cast<int64_t>(piece.size())));
    const int64_t got = exchange.link().ReceiveSome(piece.data(), want);
    if (got == 0) return BodyEnd::kEndedEarly;
    if (got < 0) return BodyEnd::kReceiveError;
    if (!file.WriteAll(piece.data(), static_cast<size_t>(got))) {
      exchange.result.error = file.error();
      return BodyEnd::kWriteError;
    }
    received += got;
    if (show) progress.SetBlock(static_cast<int32_t>(received / kDownloadProgressBlock));
  }
  return BodyEnd::kWhole;
}

DecipherJob DecipherJobFor(Exchange& exchange, const DownloadAnswer& answer, bool incomplete) {
  DecipherJob job;
  job.work_path = exchange.request.work_path;
  job.restart = exchange.result.restart;
  job.offered_size = exchange.request.offered ? exchange.request.offered->size : 0;
  job.incomplete = incomplete;
  job.enciphered = (exchange.context.account().service_options & kOptionEncipher) != 0;
  job.key_value = answer.fang ? answer.fang->key_number : 0;
  job.true_length = (job.restart ? job.offered_size : 0) + exchange.result.received;
  return job;
}

// The body broke off: what arrived is deciphered up to its last whole block and stays
// as the next attempt's resume point.
void KeepWhatArrived(Exchange& exchange, const DownloadAnswer& answer) {
  if (int error = DecipherDownloaded(DecipherJobFor(exchange, answer, /*incomplete=*/true));
      error != 0) {
    exchange.report().LogLine(kLineError, " Err - %s - Decipher Failed %d\n", exchange.name(),
                              error);
  }
  exchange.report().LogLine(kLineError, "Err - %s - Error Receiving data from server\n",
                            exchange.request.target_path.c_str());
}

// Gives `path` the server's date when the request carries one; a failure is logged and
// the download goes on.
void GiveServerDate(Exchange& exchange, const std::string& path) {
  const DownloadRequest& request = exchange.request;
  if (request.server_date.empty()) return;
  if (int error = 0; !SetFileDateFromServer(path, request.server_date, &error)) {
    exchange.report().LogLine(kLineError, " Set File Date to NVX date Failed %d %s\n", error,
                              request.target_path.c_str());
  }
}

// The whole body is in: decipher, then put it in place.
DownloadResult Complete(Exchange& exchange, const DownloadAnswer& answer) {
  const DownloadRequest& request = exchange.request;
  Reporter& report = exchange.report();
  DecipherJob job = DecipherJobFor(exchange, answer, /*incomplete=*/false);
  if (job.enciphered && answer.fang) {
    std::optional<int64_t> final_length =
        EncipheredFinalLength(job.restart, job.offered_size, job.true_length, answer.fang->length);
    if (!final_length) {
      report.LogLine(kLineError, " Err - %s - Invalid X-NVX-Fang length %lld %s\n", exchange.name(),
                     static_cast<long long>(answer.fang->length), request.target_path.c_str());
      // A work file that stays is the next attempt's offer, which the service refuses
      // or resumes by its digest.
      platform::RemoveFile(request.work_path);
      exchange.result.conclusion = "Invalid X-NVX-Fang";
      return exchange.Finish(DownloadOutcome::kRefused);
    }
    job.true_length = *final_length;
  }
  if (int error = DecipherDownloaded(job); error != 0) {
    report.LogLine(kLineError, " Err - %s - Decipher Failed %d\n", exchange.name(), error);
    return exchange.LocalFailure(error);
  }
  if (exchange.result.zipped) {
    if (request.show_progress) exchange.context.progress().SetPhase(phase::kUncompressing);
    const bool unpacked = UnzipFirstEntry(request.work_path, request.target_path);
    // The archive stays until the target has its date: a crash before that leaves it as
    // the next run's offer, which no longer matches, so the file comes again.
    if (unpacked) GiveServerDate(exchange, request.target_path);
    // An archive that stays is the next run's offer, as above.
    platform::RemoveFile(request.work_path);
    if (!unpacked) {
      report.LogLine(kLineError, " Err - %s - Unzip Failed %s\n", exchange.name(),
                     request.target_path.c_str());
      exchange.result.conclusion = "Unzip Failed";
      return exchange.Finish(DownloadOutcome::kRefused);
    }
  } else {
    GiveServerDate(exchange, request.work_path);
    if (int error = 0; !platform::RenameFile(request.work_path, request.target_path, &error)) {
      report.LogLine(kLineError, " Err - %s - MoveFile Failed %d %s\n", exchange.name(), error,
                     request.target_path.c_str());
      return exchange.LocalFailure(error);
    }
  }
  exchange.link().CloseIfMarked();
  return exchange.Finish(DownloadOutcome::kCompleted);
}

// "UGOTIT": the offered copy is current. A work file offered becomes the target.
DownloadResult AlreadyCurrent(Exchange& exchange, const DownloadAnswer& answer) {
  const DownloadRequest& request = exchange.request;
  if (answer.body_length.value_or(0) > 0 || !answer.body_length) {
    exchange.link().MarkCloseAfterExchange();  // no body is read after this answer
  }
  if (request.offered && request.offered->is_work_file) {
    // A whole work file left by a run cut after its last byte: it takes the server's
    // date before its name, as a completed body does.
    GiveServerDate(exchange, request.work_path);
    int error = 0;
    if (!platform::RenameFile(request.work_path, request.target_path, &error)) {
      exchange.report().LogLine(kLineError, " Err - %s - MoveFile Failed %d %s\n", exchange.name(),
                                error, request.target_path.c_str());
      return exchange.LocalFailure(error);
    }
  }
  exchange.link().CloseIfMarked();
  return exchange.Finish(DownloadOutcome::kAlreadyCurrent);
}

}  // namespace

DownloadResult RunDownloadExchange(EngineContext& context, const DownloadRequest& request) {
  Exchange exchange{context, request, {}};
  Reporter& report = context.report();
  ServiceLink& link = context.link();
  report.SetConclusion("");
  link.ClearCommunicationFailure();
  if (!link.PrepareExchange()) return exchange.Finish(DownloadOutcome::kNoConnection);

  const JobFlags& flags = context.job().flags;
  SetSlowServerTimeout(link, flags.compress || flags.transfer_compress);
  const std::string request_text = BuildRequest(exchange);
  TraceProtocolLine(context, ">> ", request_text);
  if (!link.SendAll(request_text)) {
    report.LogLine(kLineError, "Err - %s - Error Sending Header to server\n", exchange.name());
    return exchange.TransportFailure();
  }
  const ResponseHeader header = link.ReadResponseHeaderSkippingInterim();
  SetSlowServerTimeout(link, false);
  if (!header.complete || !HeaderEnded(header.text)) {
    report.LogLine(kLineError, " Err - %s - Recv Incomplete HTTP header\n", exchange.name());
    return exchange.TransportFailure();
  }
  if (!AcceptAnswerStatus(context, request.log_name, header.text)) {
    return exchange.Finish(DownloadOutcome::kRefused);
  }
  const DownloadAnswer answer = ParseDownloadAnswer(header.text);
  exchange.result.conclusion = TakeAnswerHeaders(context, header.text, /*seed_estimate=*/false);
  if (answer.already_current) return AlreadyCurrent(exchange, answer);

  // A body resumes only what was offered; an answer that says otherwise, or brings no
  // usable body, is refused and nothing local changes. An error conclusion is never a
  // body, even one of length 0: taken as one, it would empty the target.
  const bool resume_without_copy = answer.restart && !request.offered;
  const bool error_conclusion = exchange.result.conclusion.rfind("Error", 0) == 0;
  if (!answer.status_ok || !answer.body_length || resume_without_copy || error_conclusion) {
    report.LogLine(kLineError, "Err - %s - Error Conclusion from server - %s\n",
                   request.target_path.c_str(),
                   TextForLog(exchange.result.conclusion.empty() ? ResponseLineOf(header.text)
                                                                 : exchange.result.conclusion)
                       .c_str());
    link.MarkCloseAfterExchange();
    link.CloseIfMarked();
    return exchange.Finish(DownloadOutcome::kRefused);
  }
  exchange.result.restart = answer.restart;
  exchange.result.zipped = answer.fang && answer.fang->compressed;
  exchange.result.body_length = *answer.body_length;
  if (exchange.result.restart && request.show_progress)
    context.progress().SetPhase(phase::kUpdating);

  platform::File work = OpenWorkFile(exchange, exchange.result.restart);
  if (!work.is_open()) {
    if (exchange.result.error == 0) {
      exchange.result.error = work.error();
      report.LogLine(kLineError, " Err - %s - Unable to Create File %d\n", exchange.name(),
                     work.error());
    }
    return exchange.LocalFailure(exchange.result.error);
  }
  const int64_t length = exchange.result.body_length;
  if (request.show_progress) {
    const int64_t blocks =
        length / kDownloadProgressBlock + (length % kDownloadProgressBlock != 0 ? 1 : 0);
    context.progress().BeginFile(length, static_cast<int32_t>(blocks));
    report.SetStatusMessage("Downloading File");
  }
  const BodyEnd end = ReceiveBody(exchange, work, length);
  work.Close();
  switch (end) {
    case BodyEnd::kWhole:
      return Complete(exchange, answer);
    case BodyEnd::kWriteError:
      report.LogLine(kLineError, " Err - %s - WriteFile Failed %d %s\n", exchange.name(),
                     exchange.result.error, request.target_path.c_str());
      return exchange.LocalFailure(exchange.result.error);
    case BodyEnd::kEndedEarly:
      KeepWhatArrived(exchange, answer);
      link.CloseConnection();
      return exchange.Finish(DownloadOutcome::kIncomplete);
    case BodyEnd::kReceiveError:
      KeepWhatArrived(exchange, answer);
      return exchange.TransportFailure();
  }
  return exchange.Finish(DownloadOutcome::kLocalFailure);
}

}  // namespace nvx
