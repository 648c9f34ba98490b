#include "protocol/service_command.h"

#include <algorithm>

#include "codec/base64.h"
#include "platform/text_format.h"
#include "protocol/credentials.h"
#include "protocol/library_limits.h"
#include "protocol/request_builder.h"
#include "protocol/response_headers.h"
#include "protocol/service_link.h"

namespace nvx {
namespace {

// Body bytes are received in pieces of at most this size.
constexpr size_t kBodyPieceSize = 16384;

Md5Digest DigestOf(std::string_view digest_base64) {
  std::string decoded = Base64Decode(digest_base64);
  // A short digest is completed with zero bytes; callers compare all 16.
  Md5Digest digest{};
  std::copy_n(decoded.begin(), std::min(decoded.size(), digest.size()), digest.begin());
  return digest;
}

}  // namespace

void TraceProtocolLine(ServiceSession& session, std::string_view prefix, std::string_view text) {
  std::string_view line = text.substr(0, text.find_first_of("\r\n"));
  session.report().LogText(kLineTrace, std::string(prefix) + std::string(line) + "\n");
}

std::string BuildServiceCommandRequest(ServiceSession& session, std::string_view name,
                                       const CommandTarget& target) {
  const JobSettings& job = session.job();
  std::string request = ScriptRequestLine("GET", name, session.link().Route());
  request += RattartHeader(LoginToken(job.link));
  request += UserAgentHeader();
  request +=
      BlacmangeTwoFieldHeader(target.folder.id, job.flags.subfolders, job.flags.duplicate_files);
  if (std::optional<std::string> biggles =
          ServiceCommandBiggles(target.folder.name, job.texts.server_file)) {
    request += BigglesHeader(*biggles);
  }
  request += LupinReferenceHeader(target.version_id);
  request += kEndOfHeaders;
  return request;
}

void ReportBrokenHeader(ServiceSession& session, std::string_view request_name,
                        size_t received_bytes, int64_t last_receive) {
  Reporter& report = session.report();
  std::string name = std::string(request_name);
  report.LogLine(kLineError, " Err - %s - Connection Closed Incomplete HTTP response header %zu\n",
                 name.c_str(), received_bytes);
  if (last_receive < 0) {
    report.LogLine(kLineError, "Err - %s - Connection Closed Incomplete response header\n",
                   name.c_str());
  } else {
    report.LogLine(kLineError, "Err - %s - Connection Closed r=0 Incomplete response header \n",
                   name.c_str());
  }
}

bool AcceptAnswerStatus(ServiceSession& session, std::string_view request_name,
                        std::string_view header) {
  Reporter& report = session.report();
  report.SetLastHttpResponse(ResponseLineOf(header));
  TraceProtocolLine(session, "<< ", header);
  if (!IsProxyRefusal(header, session.link().via_proxy())) return true;
  report.SetStatusMessage("Proxy Auth Failed");
  report.SetErrorCode(error::kProxyAuth);
  report.LogLine(kLineError, " Err - %s - Proxy Authentication Failed\n",
                 std::string(request_name).c_str());
  session.link().CloseConnection();
  return false;
}

std::string TakeAnswerHeaders(ServiceSession& session, std::string_view header,
                              bool seed_estimate) {
  AccountFigures& account = session.account();
  std::string taken_conclusion;
  // An interim answer taken as the answer leaves the real one unread on the connection:
  // it must not be read as the answer to the next request.
  if (SaysConnectionClose(header) || IsInterimResponse(header)) {
    session.link().MarkCloseAfterExchange();
  }
  if (std::optional<std::string> conclusion = ParseConclusion(header)) {
    TraceProtocolLine(session, "<< X-NVX-CONCLUSION: ", *conclusion);
    taken_conclusion = *conclusion;
    session.report().SetConclusion(std::move(*conclusion));
  }
  if (std::optional<SpaceFigures> space = ParseLarch(header)) {
    account.space_limit = space->quota;
    if (space->used) {
      account.space_used = *space->used;
      if (seed_estimate && account.space_used_estimate == 0) {
        account.space_used_estimate = account.space_used;
      }
    }
  }
  return taken_conclusion;
}

bool ReceiveAnswerBody(ServiceSession& session, std::string_view request_name,
                       std::string_view header, std::optional<std::string>* received_body) {
  Reporter& report = session.report();
  ServiceLink& link = session.link();
  received_body->reset();
  std::optional<ContentLength> announced = ParseContentLength(header);
  if (!announced) return true;
  std::string name = std::string(request_name);
  if (!announced->valid || announced->length > kCommandReplyBodyMax) {
    report.LogLine(kLineError, " Err - %s - Invalid HTTP response data length\n", name.c_str());
    link.MarkCloseAfterExchange();
    return false;
  }
  std::string body;
  // Grows with what arrives, never with what was announced.
  body.reserve(static_cast<size_t>(std::min<int64_t>(announced->length, kBodyPieceSize)));
  char piece[kBodyPieceSize];
  while (static_cast<int64_t>(body.size()) < announced->length) {
    size_t wanted = static_cast<size_t>(
        std::min<int64_t>(announced->length - static_cast<int64_t>(body.size()), sizeof piece));
    int64_t received = link.ReceiveSome(piece, wanted);
    if (received <= 0) {
      report.LogLine(kLineError, " Err - %s - Connection Closed Incomplete HTTP response data\n",
                     name.c_str());
      if (received < 0) {
        link.MarkCommunicationFailure();
        if (ServerEntry* server = link.current_server()) server->failed = true;
      }
      link.MarkCloseAfterExchange();
      return false;
    }
    body.append(piece, static_cast<size_t>(received));
  }
  *received_body = std::move(body);
  return true;
}

ServiceReply ServiceCommand(ServiceSession& session, std::string_view name,
                            const CommandTarget& target) {
  ServiceReply reply;
  ServiceLink& link = session.link();
  link.ClearCommunicationFailure();
  session.report().SetConclusion("");
  if (!link.PrepareExchange()) {
    session.report().LogText(kLineError, "Err - Connect to server failed\n");
    reply.broke = ExchangeBreak::kNoConnection;
    return reply;
  }
  std::string request = BuildServiceCommandRequest(session, name, target);
  TraceProtocolLine(session, ">> ", request);
  // A failed send shows as a broken answer below.
  (void)link.SendAll(request);
  ResponseHeader header = link.ReadResponseHeader();
  if (!header.complete) {
    ReportBrokenHeader(session, name, header.text.size(), header.last_receive);
    link.CloseConnection();
    link.MarkCommunicationFailure();
    reply.broke = ExchangeBreak::kHeader;
    return reply;
  }
  if (!AcceptAnswerStatus(session, name, header.text)) {
    reply.broke = ExchangeBreak::kProxyRefusal;
    return reply;
  }
  reply.conclusion = TakeAnswerHeaders(session, header.text, /*seed_estimate=*/true);
  reply.space = ParseLarch(header.text);
  reply.options = ParseCrunchyfrog(header.text);
  if (reply.options) session.account().service_options = *reply.options;
  if (!ReceiveAnswerBody(session, name, header.text, &reply.body)) {
    reply.broke = ExchangeBreak::kBody;
    return reply;
  }
  link.CloseIfMarked();
  reply.answered = true;
  return reply;
}

ExchangeResult<std::optional<FileInfoRecord>> FileInfoQuery(ServiceSession& session,
                                                            const CommandTarget& target) {
  static constexpr std::string_view kName = "FileInfo";
  Reporter& report = session.report();
  ServiceLink& link = session.link();
  link.ClearCommunicationFailure();
  report.SetConclusion("");
  if (!link.PrepareExchange()) return {ExchangeOutcome::kTransportFailure, std::nullopt};
  std::string request = ScriptRequestLine("HEAD", kName, link.Route());
  request += RattartHeader(LoginToken(session.job().link));
  request += UserAgentHeader();
  request += BlacmangeOneFieldHeader(target.folder.id.empty() ? kNoFolderId : target.folder.id);
  if (!target.folder.name.empty()) request += BigglesHeader(target.folder.name);
  request += LupinReferenceHeader(target.version_id);
  request += kEndOfHeaders;
  TraceProtocolLine(session, ">> ", request);
  // A failed send shows as a broken answer below.
  (void)link.SendAll(request);
  ResponseHeader header = link.ReadResponseHeader();
  if (!header.complete) {
    report.LogText(kLineError,
                   " Err - FileInfo - Connection Closed Incomplete HTTP response header\n");
    report.SetConclusion(header.last_receive < 0
                             ? StrFormat("CommErr ret %lld err %d",
                                         static_cast<long long>(header.last_receive),
                                         header.receive_error)
                             : std::string("CommErr ret 0"));
    link.MarkTransportFailure();
    return {ExchangeOutcome::kTransportFailure, std::nullopt};
  }
  if (!AcceptAnswerStatus(session, kName, header.text)) {
    return {ExchangeOutcome::kRefused, std::nullopt};
  }
  // The conclusion is reported; the file information is in "X-NVX-LUPIN".
  (void)TakeAnswerHeaders(session, header.text, /*seed_estimate=*/false);
  // A HEAD answer has no body, whatever length it announces.
  link.CloseIfMarked();
  std::optional<FileInfoLupin> info = ParseFileInfoLupin(header.text);
  if (!info) return {ExchangeOutcome::kOk, std::nullopt};
  if (!info->usable) {
    report.SetStatusMessage("Norrvault Web Server Invalid Header Response");
    return {ExchangeOutcome::kRefused, std::nullopt};
  }
  FileInfoRecord record;
  record.digest = DigestOf(info->digest_base64);
  record.size = info->size;
  record.version_id = info->version_id ? *info->version_id : std::string(target.version_id);
  record.date_stamp = info->date_stamp;
  record.name = info->name;
  return {ExchangeOutcome::kOk, std::move(record)};
}

}  // namespace nvx
