#include "protocol/web_files.h"

#include <limits>
#include <mutex>
#include <optional>

#include "api/activity_log.h"
#include "platform/file.h"
#include "platform/file_system.h"
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

void SetProgressBlocks(SharedBlock& block, int64_t local_size, int32_t total_blocks) {
  std::lock_guard<std::mutex> lock(block.state_lock);
  block.engine.local_size = local_size;
  block.live_progress.total_blocks = total_blocks;
  block.live_progress.block = 0;
}

void RaiseProgressBlock(SharedBlock& block) {
  std::lock_guard<std::mutex> lock(block.state_lock);
  ++block.live_progress.block;
}

// Sends the GET of `file` and reads the answer header. False (connection handled) when the answer
// is not "HTTP/1.1 200"; `header` then holds what arrived.
bool RequestWebFile(TransferSession& session, std::string_view file, std::string* header) {
  SharedBlock& block = session.block();
  ServiceLink& link = session.link();
  {
    std::lock_guard<std::mutex> lock(block.state_lock);
    block.live_progress.total_blocks = 0;
    block.live_progress.block = 0;
  }
  if (!link.PrepareExchange()) return false;
  SetConclusion(block, "");
  std::string request = UploadManagerRequestLine(file, link.Route());
  request += UserAgentHeader();
  request += kEndOfHeaders;
  TraceProtocolLine(session, ">> ", request);
  link.SendAll(request);
  ResponseHeader answer = link.ReadResponseHeader();
  if (!answer.complete) {
    link.MarkCloseAfterExchange();
    return false;
  }
  *header = answer.text;
  SetLastHttpResponse(block, ResponseLineOf(answer.text));
  TraceProtocolLine(session, "<< ", answer.text);
  if (SaysConnectionClose(answer.text)) link.MarkCloseAfterExchange();
  if (!StatusIs(answer.text, "HTTP/1.1 200")) {
    SetStatusMessage(block, "Norrvault Web Server Error");
    link.CloseConnection();
    return false;
  }
  return true;
}

}  // namespace

void ParseVersionText(SharedBlock& block, std::string_view text) {
  size_t first_dot = text.find('.');
  if (first_dot == std::string_view::npos) return;
  block.version_major = VersionNumber(text.substr(0, first_dot));
  std::string_view rest = text.substr(first_dot + 1);
  size_t second_dot = rest.find('.');
  if (second_dot == std::string_view::npos) return;
  block.version_minor = VersionNumber(rest.substr(0, second_dot));
  rest.remove_prefix(second_dot + 1);
  size_t blank = rest.find(' ');
  if (blank == std::string_view::npos) return;
  block.version_build = VersionNumber(rest.substr(0, blank));
  block.version_note = std::string(rest.substr(blank + 1));
}

std::string HelpFilePath(const SharedBlock& block) {
  std::string folder =
      block.work_directory.empty() ? platform::CurrentDirectory() : block.work_directory;
  return JoinDirectory(folder, kHelpFileName);
}

bool FetchVersionFile(TransferSession& session) {
  SharedBlock& block = session.block();
  ServiceLink& link = session.link();
  std::string header;
  if (!RequestWebFile(session, kVersionFileName, &header)) return false;
  std::string text;
  if (std::optional<ContentLength> length = ParseContentLength(header); length && length->valid) {
    SetProgressBlocks(block, 0, 0);
    SetStatusMessage(block, "Downloading Version File");
    const size_t wanted = static_cast<size_t>(
        std::min<int64_t>(length->length, static_cast<int64_t>(kVersionFileMax)));
    char piece[kVersionFileMax];
    while (text.size() < wanted) {
      int64_t received = link.ReceiveSome(piece, wanted - text.size());
      if (received == 0) break;  // an early close: what arrived is used
      if (received < 0) {
        link.CloseConnection();
        return false;
      }
      text.append(piece, static_cast<size_t>(received));
    }
    // Bytes left unread would be taken for the next answer.
    if (static_cast<int64_t>(text.size()) < length->length) link.MarkCloseAfterExchange();
  }
  ParseVersionText(block, text.substr(0, text.find('\0')));
  link.CloseConnection();
  return true;
}

bool FetchHelpFile(TransferSession& session) {
  SharedBlock& block = session.block();
  ServiceLink& link = session.link();
  std::string header;
  if (!RequestWebFile(session, kHelpFileName, &header)) return false;
  std::optional<ContentLength> length = ParseContentLength(header);
  if (!length || !length->valid) {
    link.CloseConnection();
    return true;
  }
  block.help_file_name = HelpFilePath(block);
  platform::File file =
      platform::File::Open(block.help_file_name, platform::File::Access::kCreateTruncate);
  if (!file.is_open()) {
    LogLine(block, kLineError, " Err - Help file %s cannot be created %d\n",
            block.help_file_name.c_str(), file.error());
    link.CloseConnection();
    return false;
  }
  const int64_t total = length->length;
  const int64_t blocks = total / kHelpFilePieceSize + (total % kHelpFilePieceSize != 0 ? 1 : 0);
  SetProgressBlocks(
      block, total,
      static_cast<int32_t>(std::min<int64_t>(blocks, std::numeric_limits<int32_t>::max())));
  SetStatusMessage(block, "Downloading Help File");
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
      RaiseProgressBlock(block);
    }
  }
  if (written && filled > 0) {
    written = file.WriteAll(piece, filled);
    RaiseProgressBlock(block);
  }
  file.Close();
  link.CloseConnection();
  if (!written) {
    LogLine(block, kLineError, " Err - Help file %s write failed\n", block.help_file_name.c_str());
    return false;
  }
  return true;
}

}  // namespace nvx
