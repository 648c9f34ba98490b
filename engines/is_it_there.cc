// The is-it-there test: a HEAD naming the file, its date and, when needed, its digest;
// the answer's conclusion says whether the file must travel and from where.
#include <string>

#include "codec/base64.h"
#include "engines/file_digest.h"
#include "engines/upload_exchanges.h"
#include "engines/upload_rules.h"
#include "platform/text_format.h"
#include "protocol/credentials.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"
#include "protocol/transfer_answers.h"
#include "protocol/transfer_requests.h"
#include "wire/date_stamp.h"

namespace nvx {
namespace {

constexpr const char* kIsItThereExchange = "FormatIsItThere";

// The local digest, computed once per file. False when the file could not be read whole.
bool EnsureLocalDigest(FileInFlight& flight) {
  UploadFileState& file = flight.file;
  if (file.local_digest) return true;
  Md5Digest digest{};
  if (!DigestFileInHand(flight.context, file.shown_name, file.file, &digest)) return false;
  file.local_digest = digest;
  return true;
}

bool DigestNeeded(const FileInFlight& flight) {
  const UploadFileState& file = flight.file;
  return flight.context.job().flags.file_compare == 1 || !file.last_write_time ||
         !FormatDateStamp(*file.last_write_time) || file.matched_entry != nullptr;
}

std::string BuildRequest(FileInFlight& flight) {
  EngineContext& context = flight.context;
  const UploadFileState& file = flight.file;
  TransferRequestBase base{context.link().Route(), LoginToken(context.job().link),
                           flight.folder_id};
  IsItThereFields fields;
  fields.file_name = file.name;
  fields.last_write_time = file.last_write_time;
  if (file.local_digest) {
    fields.digest_base64 = Base64Encode(std::string_view(
        reinterpret_cast<const char*>(file.local_digest->data()), file.local_digest->size()));
  }
  fields.local_size = file.local_size;
  return FormatIsItThere(base, fields);
}

}  // namespace

ExchangeOutcome FormatIsItThere(FileInFlight& flight) {
  EngineContext& context = flight.context;
  Reporter& report = context.report();
  ServiceLink& link = context.link();
  UploadFileState& file = flight.file;
  report.SetConclusion("");
  link.ClearCommunicationFailure();
  file.server_copy_incomplete = false;
  report.SetStatusMessage(StrFormat("Testing file %s already uploaded", file.name.c_str()));
  if (DigestNeeded(flight) && !EnsureLocalDigest(flight)) return ExchangeOutcome::kLocalFailure;
  // After the digest, which may take long: the connection is looked at just before use.
  if (!link.PrepareExchange()) return link.FailTransport();
  const std::string request = BuildRequest(flight);
  TraceProtocolLine(context, ">> ", request);
  if (!link.SendAll(request)) {
    report.LogLine(kLineError, "Err - %s - Error Sending Header to server\n", kIsItThereExchange);
    return link.FailTransport();
  }
  report.SetStatusMessage("Wait Server response. This could take awhile.");
  ResponseHeader header = link.ReadResponseHeaderSkippingInterim();
  if (!header.complete) {
    report.LogLine(kLineError, " Err - %s - Connection Closed Incomplete HTTP response header\n",
                   kIsItThereExchange);
    return link.FailTransport();
  }
  if (!AcceptAnswerStatus(context, kIsItThereExchange, header.text)) {
    return ExchangeOutcome::kRefused;
  }
  const TransferAnswer answer = ParseIsItThereAnswer(header.text);
  if (answer.server_error) {
    report.SetStatusMessage("Norrvault Web Server Error");
    report.LogLine(kLineError, " Err - %s - Invalid HTTP response header\n", kIsItThereExchange);
    link.MarkCloseAfterExchange();
    return ExchangeOutcome::kRefused;
  }
  // The conclusion is judged from the parsed answer below.
  (void)TakeAnswerHeaders(context, header.text, /*seed_estimate=*/true);
  file.server_version_id.clear();
  file.differential_allowed = false;
  if (answer.conclusion) {
    report.LogLine(kLineActivity, "    %s - Conclusion - %s\n", TextForLog(file.name).c_str(),
                   TextForLog(*answer.conclusion).c_str());
  }

  IsItThereDecision decision = DecideIsItThere(answer, file.local_size, file.local_digest);
  if (decision.outcome == IsItThereDecision::Outcome::kNeedDigest) {
    if (!EnsureLocalDigest(flight)) return ExchangeOutcome::kLocalFailure;
    decision = DecideIsItThere(answer, file.local_size, file.local_digest);
  }
  switch (decision.outcome) {
    case IsItThereDecision::Outcome::kUnderstood:
      break;
    case IsItThereDecision::Outcome::kNoConclusion:
      report.SetStatusMessage("Norrvault Web Server Invalid Response");
      return ExchangeOutcome::kRefused;
    case IsItThereDecision::Outcome::kInvalidLupin:
    case IsItThereDecision::Outcome::kNeedDigest:
    case IsItThereDecision::Outcome::kServerError:
      report.SetStatusMessage("Norrvault Web Server Invalid Header Response");
      return ExchangeOutcome::kRefused;
  }
  file.server_size = decision.server_size;
  file.server_digest = decision.server_digest;
  file.server_version_id = decision.version_id;
  file.differential_allowed = decision.differential_allowed;
  file.server_copy_incomplete = decision.incomplete;
  if (decision.clear_conclusion) report.SetConclusion("");
  if (decision.response_received_status) report.SetStatusMessage("Server response received.");
  return ExchangeOutcome::kOk;
}

}  // namespace nvx
