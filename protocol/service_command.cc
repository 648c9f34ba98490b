#include "protocol/service_command.h"

#include <algorithm>

#include "api/activity_log.h"
#include "platform/text_format.h"
#include "protocol/credentials.h"
#include "protocol/request_builder.h"
#include "protocol/response_headers.h"
#include "protocol/service_link.h"
#include "transfer/base64.h"

namespace nvx {
namespace {

// Body bytes are received in pieces of at most this size.
constexpr size_t kBodyPieceSize = 16384;

void StoreDigest(SharedBlock& block, std::string_view digest_base64) {
  std::string digest = Base64Decode(digest_base64);
  // A short digest is completed with zero bytes; callers compare all 16.
  block.server_digest.fill(0);
  std::copy_n(digest.begin(), std::min(digest.size(), block.server_digest.size()),
              block.server_digest.begin());
}

}  // namespace

void TraceProtocolLine(TransferSession& session, std::string_view prefix, std::string_view text) {
  std::string_view line = text.substr(0, text.find_first_of("\r\n"));
  LogText(session.block(), kLineTrace, std::string(prefix) + std::string(line) + "\n");
}

std::string BuildServiceCommandRequest(TransferSession& session, std::string_view name) {
  SharedBlock& block = session.block();
  std::string request = ScriptRequestLine("GET", name, session.link().Route());
  request += RattartHeader(LoginToken(block));
  request += UserAgentHeader();
  request += BlacmangeTwoFieldHeader(block.current_server_folder_id, block.subfolders,
                                     block.duplicate_files);
  if (std::optional<std::string> biggles =
          ServiceCommandBiggles(block.current_server_folder_name, block.server_file)) {
    request += BigglesHeader(*biggles);
  }
  request += LupinReferenceHeader(block.server_version_id);
  request += kEndOfHeaders;
  return request;
}

void ReportBrokenHeader(TransferSession& session, std::string_view request_name,
                        size_t received_bytes, int64_t last_receive) {
  SharedBlock& block = session.block();
  std::string name = std::string(request_name);
  LogLine(block, kLineError, " Err - %s - Connection Closed Incomplete HTTP response header %zu\n",
          name.c_str(), received_bytes);
  if (last_receive < 0) {
    LogLine(block, kLineError, "Err - %s - Connection Closed Incomplete response header\n",
            name.c_str());
  } else {
    LogLine(block, kLineError, "Err - %s - Connection Closed r=0 Incomplete response header \n",
            name.c_str());
  }
}

bool AcceptAnswerStatus(TransferSession& session, std::string_view request_name,
                        std::string_view header) {
  SharedBlock& block = session.block();
  SetLastHttpResponse(block, ResponseLineOf(header));
  TraceProtocolLine(session, "<< ", header);
  if (!IsProxyRefusal(header, session.link().via_proxy())) return true;
  SetStatusMessage(block, "Proxy Auth Failed");
  block.error_code.store(kErrorProxyAuth);
  LogLine(block, kLineError, " Err - %s - Proxy Authentication Failed\n",
          std::string(request_name).c_str());
  session.link().CloseConnection();
  return false;
}

void TakeAnswerHeaders(TransferSession& session, std::string_view header, bool seed_estimate) {
  SharedBlock& block = session.block();
  // An interim answer taken as the answer leaves the real one unread on the connection:
  // it must not be read as the answer to the next request.
  if (SaysConnectionClose(header) || IsInterimResponse(header)) {
    session.link().MarkCloseAfterExchange();
  }
  if (std::optional<std::string> conclusion = ParseConclusion(header)) {
    TraceProtocolLine(session, "<< X-NVX-CONCLUSION: ", *conclusion);
    SetConclusion(block, std::move(*conclusion));
  }
  if (std::optional<SpaceFigures> space = ParseLarch(header)) {
    block.space_limit = space->quota;
    if (space->used) {
      block.space_used = *space->used;
      if (seed_estimate && block.space_used_estimate == 0) {
        block.space_used_estimate = block.space_used;
      }
    }
  }
}

bool ReceiveAnswerBody(TransferSession& session, std::string_view request_name,
                       std::string_view header) {
  SharedBlock& block = session.block();
  ServiceLink& link = session.link();
  link.response_body.reset();
  std::optional<ContentLength> announced = ParseContentLength(header);
  if (!announced) return true;
  std::string name = std::string(request_name);
  if (!announced->valid || announced->length > kCommandReplyBodyMax) {
    LogLine(block, kLineError, " Err - %s - Invalid HTTP response data length\n", name.c_str());
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
      LogLine(block, kLineError, " Err - %s - Connection Closed Incomplete HTTP response data\n",
              name.c_str());
      if (received < 0) {
        session.communication_failure = true;
        if (ServerEntry* server = link.current_server()) server->failed = true;
      }
      link.MarkCloseAfterExchange();
      return false;
    }
    body.append(piece, static_cast<size_t>(received));
  }
  link.response_body = std::move(body);
  return true;
}

bool ServiceCommand(TransferSession& session, std::string_view name) {
  SharedBlock& block = session.block();
  ServiceLink& link = session.link();
  session.communication_failure = false;
  SetConclusion(block, "");
  if (!link.PrepareExchange()) {
    LogText(block, kLineError, "Err - Connect to server failed\n");
    return false;
  }
  std::string request = BuildServiceCommandRequest(session, name);
  TraceProtocolLine(session, ">> ", request);
  link.SendAll(request);  // a failed send shows as a broken answer below
  ResponseHeader header = link.ReadResponseHeader();
  if (!header.complete) {
    ReportBrokenHeader(session, name, header.text.size(), header.last_receive);
    link.CloseConnection();
    session.communication_failure = true;
    return false;
  }
  if (!AcceptAnswerStatus(session, name, header.text)) return false;
  TakeAnswerHeaders(session, header.text, /*seed_estimate=*/true);
  if (std::optional<int32_t> options = ParseCrunchyfrog(header.text)) {
    block.service_options = *options;
  }
  if (!ReceiveAnswerBody(session, name, header.text)) return false;
  link.CloseIfMarked();
  return true;
}

bool FileInfoQuery(TransferSession& session) {
  static constexpr std::string_view kName = "FileInfo";
  SharedBlock& block = session.block();
  ServiceLink& link = session.link();
  session.communication_failure = false;
  SetConclusion(block, "");
  if (!link.PrepareExchange()) return false;
  std::string request = ScriptRequestLine("HEAD", kName, link.Route());
  request += RattartHeader(LoginToken(block));
  request += UserAgentHeader();
  request += BlacmangeOneFieldHeader(block.current_server_folder_id.empty()
                                         ? kNoFolderId
                                         : std::string_view(block.current_server_folder_id));
  if (!block.current_server_folder_name.empty()) {
    request += BigglesHeader(block.current_server_folder_name);
  }
  request += LupinReferenceHeader(block.server_version_id);
  request += kEndOfHeaders;
  TraceProtocolLine(session, ">> ", request);
  link.SendAll(request);
  ResponseHeader header = link.ReadResponseHeader();
  if (!header.complete) {
    LogText(block, kLineError,
            " Err - FileInfo - Connection Closed Incomplete HTTP response header\n");
    SetConclusion(block,
                  header.last_receive < 0
                      ? StrFormat("CommErr ret %lld err %d",
                                  static_cast<long long>(header.last_receive), header.receive_error)
                      : std::string("CommErr ret 0"));
    session.communication_failure = true;
    link.MarkCloseAfterExchange();
    return false;
  }
  if (!AcceptAnswerStatus(session, kName, header.text)) return false;
  TakeAnswerHeaders(session, header.text, /*seed_estimate=*/false);
  // A HEAD answer has no body, whatever length it announces.
  link.response_body.reset();
  link.CloseIfMarked();
  std::optional<FileInfoLupin> info = ParseFileInfoLupin(header.text);
  if (!info) return true;
  if (!info->usable) {
    SetStatusMessage(block, "Norrvault Web Server Invalid Header Response");
    return false;
  }
  StoreDigest(block, info->digest_base64);
  block.engine.server_size = info->size;
  if (info->version_id) block.server_version_id = *info->version_id;
  block.server_file_date = info->date_stamp;
  block.current_file = info->name;
  return true;
}

}  // namespace nvx
