#include "protocol/email_exchange.h"

#include "api/activity_log.h"
#include "api/results_report.h"
#include "platform/clock.h"
#include "platform/text_format.h"
#include "protocol/credentials.h"
#include "protocol/request_builder.h"
#include "protocol/response_headers.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"
#include "transfer/transfer_cipher.h"

namespace nvx {
namespace {

// A transport failure: the connection is not to be used again.
bool TransportFailure(TransferSession& session) {
  session.communication_failure = true;
  session.link().MarkCloseAfterExchange();
  return false;
}

// The body as it travels: the text, or its enciphered, zero-padded form.
std::string BodyOf(std::string_view text, bool enciphered, int64_t seconds) {
  if (!enciphered) return std::string(text);
  TransferCipher cipher(static_cast<size_t>(TransferKeyNumber(seconds)));
  std::string body(RoundUpToBlock(text.size()), '\0');
  cipher.Encipher(text.data(), text.size(), body.data());
  return body;
}

bool PutEmailText(TransferSession& session, std::string_view text) {
  SharedBlock& block = session.block();
  ServiceLink& link = session.link();
  const std::string name(kEmailFileName);
  session.communication_failure = false;
  SetConclusion(block, "");
  if (!link.PrepareExchange()) return false;

  const bool enciphered = (block.service_options & kOptionEncipher) != 0;
  const int64_t seconds = platform::GetClock().NowSeconds();
  std::string request = BuildEmailRequest(session, text.size(), enciphered, seconds);
  TraceProtocolLine(session, ">> ", request);
  if (!link.SendAll(request)) {
    LogLine(block, kLineError, "Err - %s - Error Sending Header to server\n", name.c_str());
    return TransportFailure(session);
  }
  const std::string body = BodyOf(text, enciphered, seconds);
  for (size_t offset = 0; offset < body.size(); offset += kEmailPieceSize) {
    if (!link.SendAll(std::string_view(body).substr(offset, kEmailPieceSize))) {
      LogLine(block, kLineError,
              "Err - %s - Error %d Sending Data to server  fs=%zu ss=%zu cs=%zu \n", name.c_str(),
              link.last_send_error(), text.size(), body.size(), offset / kEmailPieceSize);
      return TransportFailure(session);
    }
  }

  ResponseHeader header = link.ReadResponseHeaderSkippingInterim();
  if (!header.complete) {
    LogLine(block, kLineError, "Err - %s - Error %d Receiving header from server\n", name.c_str(),
            header.receive_error);
    return TransportFailure(session);
  }
  if (!AcceptAnswerStatus(session, name, header.text)) return false;
  TakeAnswerHeaders(session, header.text, /*seed_estimate=*/false);
  std::string conclusion = ConclusionOf(block);
  if (conclusion.find("Error") != std::string::npos) {
    LogLine(block, kLineError, "Err - %s - Error Conclusion from server - %s\n", name.c_str(),
            conclusion.c_str());
    SetStatusMessage(
        block, StrFormat(" Error %s Upload file %s failed", conclusion.c_str(), name.c_str()));
    block.error_code.store(kErrorUploadRefused);
    link.MarkCloseAfterExchange();
    return false;
  }
  if (!ReceiveAnswerBody(session, name, header.text)) return false;
  link.CloseIfMarked();
  return true;
}

}  // namespace

std::string BuildEmailRequest(TransferSession& session, size_t text_length, bool enciphered,
                              int64_t seconds) {
  SharedBlock& block = session.block();
  const auto length = static_cast<int64_t>(text_length);
  std::string request = ScriptRequestLine("PUT", kEmailFileName, session.link().Route());
  request += RattartHeader(LoginToken(block));
  request += UserAgentHeader();
  request +=
      ContentLengthHeader(enciphered ? static_cast<int64_t>(RoundUpToBlock(text_length)) : length);
  // The text is never a compressed work file.
  request += FangHeader(FangFor(enciphered, length, seconds, /*compressed_work_file=*/false,
                                block.transfer_compress, length));
  request +=
      BeavercheeseHeader(block.email_to_user, block.email_to_administrator, block.results_type);
  request += kEndOfHeaders;
  return request;
}

bool SendEmailText(TransferSession& session, std::string_view text) {
  if (PutEmailText(session, text)) return true;
  if (session.communication_failure && !session.StopRequested()) {
    LogLine(session.block(), kLineError, " RETRY EmailSend %s\n",
            std::string(kEmailFileName).c_str());
    if (PutEmailText(session, text)) return true;
  }
  if (session.communication_failure) {
    AddFileNote(session.block(), kEmailFileName, kNoteCommunicationFailure, true, 0);
  }
  return false;
}

}  // namespace nvx
