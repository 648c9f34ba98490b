#include "protocol/web_files.h"

#include <limits>
#include <optional>

#include "platform/file.h"
#include "platform/file_system.h"
#include "protocol/library_limits.h"
#include "protocol/request_builder.h"
#include "protocol/response_headers.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"

namespace nvx {
namespace {

int32_t VersionNumber(std::string_view text) {
  std::optional<int64_t> value = ConsumeDecimal(text);
  if (!value || *value < 0 || *value > std::numeric_limits<int32_t>::max()) return 0;
  return static_cast<int32_t>(*value);
}

// Sends the GET of `file` and reads the answer header. False (connection handled) when the answer
// is not "HTTP/1.1 200"; `header` then holds what arrived.
bool RequestWebFile(ServiceSession& session, std::string_view file, std::string* header) {
  Reporter& report = session.report();
  ServiceLink& link = session.link();
  session.progress().ClearBlocks();
  if (!link.PrepareExchange()) return false;
  report.SetConclusion("");
  std::string request = UploadManagerRequestLine(file, link.Route());
  request += UserAgentHeader();
  request += kEndOfHeaders;
  TraceProtocolLine(session, ">> ", request);
  // A failed send shows as a broken answer below.
  (void)link.SendAll(request);
  ResponseHeader answer = link.ReadResponseHeader();
  if (!answer.complete) {
    link.MarkCloseAfterExchange();
    return false;
  }
  *header = answer.text;
  report.SetLastHttpResponse(ResponseLineOf(answer.text));
  TraceProtocolLine(session, "<< ", answer.text);
  if (SaysConnectionClose(answer.text)) link.MarkCloseAfterExchange();
  if (!StatusIs(answer.text, "HTTP/1.1 200")) {
    report.SetStatusMessage("Norrvault Web Server Error");
    link.CloseConnection();
    return false;
  }
  return true;
}

}  // namespace

void ParseVersionText(VersionFigures& state, std::string_view text) {
  size_t first_dot = text.find('.');
  if (first_dot == std::string_view::npos) return;
  state.major = VersionNumber(text.substr(0, first_dot));
  std::string_view rest = text.substr(first_dot + 1);
  size_t second_dot = rest.find('.');
  if (second_dot == std::string_view::npos) return;
  state.minor = VersionNumber(rest.substr(0, second_dot));
  rest.remove_prefix(second_dot + 1);
  size_t blank = rest.find(' ');
  if (blank == std::string_view::npos) return;
  state.build = VersionNumber(rest.substr(0, blank));
  state.note = std::string(rest.substr(blank + 1));
}

std::string HelpFilePath(const JobSettings& job) {
  std::string folder =
      job.work_directory.empty() ? platform::CurrentDirectory() : job.work_directory;
  return platform::JoinDirectory(folder, kHelpFileName);
}

ExchangeResult<std::string> FetchVersionFile(ServiceSession& session) {
  ServiceLink& link = session.link();
  std::string header;
  if (!RequestWebFile(session, kVersionFileName, &header)) return {ExchangeOutcome::kRefused, {}};
  std::string text;
  if (std::optional<ContentLength> length = ParseContentLength(header); length && length->valid) {
    session.progress().BeginFile(0, 0);
    session.report().SetStatusMessage("Downloading Version File");
    const size_t wanted = static_cast<size_t>(
        std::min<int64_t>(length->length, static_cast<int64_t>(kVersionFileMax)));
    char piece[kVersionFileMax];
    while (text.size() < wanted) {
      int64_t received = link.ReceiveSome(piece, wanted - text.size());
      if (received == 0) break;  // an early close: what arrived is used
      if (received < 0) {
        link.CloseConnection();
        return {ExchangeOutcome::kTransportFailure, {}};
      }
      text.append(piece, static_cast<size_t>(received));
    }
    // Bytes left unread would be taken for the next answer.
    if (static_cast<int64_t>(text.size()) < length->length) link.MarkCloseAfterExchange();
  }
  link.CloseConnection();
  return {ExchangeOutcome::kOk, text.substr(0, text.find('\0'))};
}

ExchangeResult<std::string> FetchHelpFile(ServiceSession& session) {
  ServiceLink& link = session.link();
  Reporter& report = session.report();
  std::string header;
  if (!RequestWebFile(session, kHelpFileName, &header)) return {ExchangeOutcome::kRefused, {}};
  std::optional<ContentLength> length = ParseContentLength(header);
  if (!length || !length->valid) {
    link.CloseConnection();
    return {ExchangeOutcome::kOk, {}};
  }
  const std::string path = HelpFilePath(session.job());
  platform::File file = platform::File::Open(path, platform::File::Access::kCreateTruncate);
  if (!file.is_open()) {
    report.LogLine(kLineError, " Err - Help file %s cannot be created %d\n", path.c_str(),
                   file.error());
    link.CloseConnection();
    return {ExchangeOutcome::kLocalFailure, path};
  }
  const int64_t total = length->length;
  const int64_t blocks = total / kHelpFilePieceSize + (total % kHelpFilePieceSize != 0 ? 1 : 0);
  session.progress().BeginFile(
      total, static_cast<int32_t>(std::min<int64_t>(blocks, std::numeric_limits<int32_t>::max())));
  report.SetStatusMessage("Downloading Help File");
  char piece[kHelpFilePieceSize];
  size_t filled = 0;
  int64_t remaining = total;
  bool written = true;
  while (remaining > 0 && written) {
    size_t wanted = static_cast<size_t>(
        std::min<int64_t>(remaining, static_cast<int64_t>(sizeof piece - filled)));
    int64_t received = link.ReceiveSome(piece + filled, wanted);
    if (received <= 0) break;  // what arrived so far is still written
    filled += static_cast<size_t>(received);
    remaining -= received;
    if (filled == sizeof piece) {
      written = file.WriteAll(piece, filled);
      filled = 0;
      session.progress().AdvanceBlock();
    }
  }
  if (written && filled > 0) {
    written = file.WriteAll(piece, filled);
    session.progress().AdvanceBlock();
  }
  file.Close();
  link.CloseConnection();
  if (!written) {
    report.LogLine(kLineError, " Err - Help file %s write failed\n", path.c_str());
    return {ExchangeOutcome::kLocalFailure, path};
  }
  return {ExchangeOutcome::kOk, path};
}

}  // namespace nvx
