#include "protocol/email_exchange.h"

#include "codec/transfer_cipher.h"
#include "platform/clock.h"
#include "platform/text_format.h"
#include "protocol/credentials.h"
#include "protocol/exchange_outcome.h"
#include "protocol/request_builder.h"
#include "protocol/response_headers.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"

namespace nvx {
namespace {

// A transport failure: the connection is not to be used again.
bool TransportFailure(ServiceSession& session) {
  session.link().MarkTransportFailure();
  return false;
}

// The body as it travels: the text, or its enciphered, zero-padded form.
std::string BodyOf(std::string_view text, bool enciphered, int64_t seconds) {
  if (!enciphered) return std::string(text);
  TransferCipher cipher = CipherForUpload(seconds);
  std::string body(RoundUpToBlock(text.size()), '\0');
  cipher.Encipher(text.data(), text.size(), body.data());
  return body;
}

bool PutEmailText(ServiceSession& session, std::string_view text) {
  Reporter& report = session.report();
  ServiceLink& link = session.link();
  const std::string name(kEmailFileName);
  link.ClearCommunicationFailure();
  report.SetConclusion("");
  if (!link.PrepareExchange()) return false;

  const bool enciphered = (session.account().service_options & kOptionEncipher) != 0;
  const int64_t seconds = platform::GetClock().NowSeconds();
  std::string request = BuildEmailRequest(session, text.size(), enciphered, seconds);
  TraceProtocolLine(session, ">> ", request);
  if (!link.SendAll(request)) {
    report.LogLine(kLineError, "Err - %s - Error Sending Header to server\n", name.c_str());
    return TransportFailure(session);
  }
  const std::string body = BodyOf(text, enciphered, seconds);
  for (size_t offset = 0; offset < body.size(); offset += kEmailPieceSize) {
    if (!link.SendAll(std::string_view(body).substr(offset, kEmailPieceSize))) {
      report.LogLine(
          kLineError, "Err - %s - Error %d Sending Data to server  fs=%zu ss=%zu cs=%zu \n",
          name.c_str(), link.last_send_error(), text.size(), body.size(), offset / kEmailPieceSize);
      return TransportFailure(session);
    }
  }

  ResponseHeader header = link.ReadResponseHeaderSkippingInterim();
  if (!header.complete) {
    report.LogLine(kLineError, "Err - %s - Error %d Receiving header from server\n", name.c_str(),
                   header.receive_error);
    return TransportFailure(session);
  }
  if (!AcceptAnswerStatus(session, name, header.text)) return false;
  const std::string conclusion = TakeAnswerHeaders(session, header.text, /*seed_estimate=*/false);
  if (conclusion.find("Error") != std::string::npos) {
    report.LogLine(kLineError, "Err - %s - Error Conclusion from server - %s\n", name.c_str(),
                   conclusion.c_str());
    report.SetStatusMessage(
        StrFormat(" Error %s Upload file %s failed", conclusion.c_str(), name.c_str()));
    report.SetErrorCode(error::kUploadRefused);
    link.MarkCloseAfterExchange();
    return false;
  }
  std::optional<std::string> answer_body;  // not used: the answer is its conclusion
  if (!ReceiveAnswerBody(session, name, header.text, &answer_body)) return false;
  link.CloseIfMarked();
  return true;
}

}  // namespace

std::string BuildEmailRequest(ServiceSession& session, size_t text_length, bool enciphered,
                              int64_t seconds) {
  const JobSettings& job = session.job();
  const auto length = static_cast<int64_t>(text_length);
  std::string request = ScriptRequestLine("PUT", kEmailFileName, session.link().Route());
  request += RattartHeader(LoginToken(job.link));
  request += UserAgentHeader();
  request +=
      ContentLengthHeader(enciphered ? static_cast<int64_t>(RoundUpToBlock(text_length)) : length);
  // The text is never a compressed work file.
  request += FangHeader(FangFor(enciphered, length, seconds, /*compressed_work_file=*/false,
                                job.flags.transfer_compress, length));
  request += BeavercheeseHeader(job.flags.email_to_user, job.flags.email_to_administrator,
                                job.results_type);
  request += kEndOfHeaders;
  return request;
}

bool SendEmailText(ServiceSession& session, std::string_view text) {
  const ExchangeOutcome outcome = RetryOnceAfterTransportFailure(
      [&] {
        if (PutEmailText(session, text)) return ExchangeOutcome::kOk;
        // Once the owner wants the worker to stop, nothing is tried again.
        return session.link().communication_failure() && !session.StopRequested()
                   ? ExchangeOutcome::kTransportFailure
                   : ExchangeOutcome::kRefused;
      },
      [&] {
        session.report().LogLine(kLineError, " RETRY EmailSend %s\n",
                                 std::string(kEmailFileName).c_str());
      });
  if (outcome == ExchangeOutcome::kOk) return true;
  if (session.link().communication_failure()) {
    session.report().AddFileNote(kEmailFileName, kNoteCommunicationFailure, true, 0);
  }
  return false;
}

}  // namespace nvx
