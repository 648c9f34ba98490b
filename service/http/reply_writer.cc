#include "service/http/reply_writer.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "codec/transfer_cipher.h"
#include "platform/file.h"
#include "platform/text_format.h"

namespace nvx::service {
namespace {

// The Keep-Alive line of every reply on a connection that stays open, as it has always
// read; clients use neither figure (the service's own idle time is the connection
// settings').
constexpr std::string_view kKeepAliveValue = "timeout=5, max=1000000";
constexpr std::string_view kDocumentType = "application/octet-stream";

// A static file is read and sent in pieces of this many bytes.
constexpr size_t kFilePieceSize = 65536;
// A plain document goes out in pieces of this many bytes straight from the file system;
// an enciphered one is read, enciphered and sent through a buffer of the second size (a
// multiple of the cipher's block, so that only the last piece is padded).
constexpr int64_t kDocumentSendPieceSize = int64_t{16} << 20;
constexpr size_t kCipherPieceSize = 256 * 1024;
static_assert(kCipherPieceSize % 8 == 0);

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool NameLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

bool SendStaticFile(HttpConnection& connection, platform::File& file, int64_t length) {
  std::vector<char> piece(kFilePieceSize);
  for (int64_t sent = 0; sent < length;) {
    size_t want = static_cast<size_t>(std::min<int64_t>(length - sent, kFilePieceSize));
    if (!file.Seek(sent)) return false;
    int64_t got = file.ReadFully(piece.data(), want);
    // A file that shrank since its size was taken cannot fill the announced length.
    if (got <= 0) return false;
    if (!connection.Write(std::string_view(piece.data(), static_cast<size_t>(got)))) return false;
    sent += got;
  }
  return true;
}

bool SendDocument(HttpConnection& connection, const FileBody& body) {
  if (!body.key_index) {
    for (int64_t sent = 0; sent < body.length;) {
      int64_t piece = std::min(body.length - sent, kDocumentSendPieceSize);
      if (!connection.SendFile(*body.file, body.offset + sent, piece)) return false;
      sent += piece;
    }
    return true;
  }
  TransferCipher cipher(*body.key_index);
  std::vector<char> buffer(kCipherPieceSize);
  for (int64_t read = 0; read < body.length;) {
    size_t plain = static_cast<size_t>(std::min<int64_t>(body.length - read, kCipherPieceSize));
    if (!body.file->Seek(body.offset + read)) return false;
    if (body.file->ReadFully(buffer.data(), plain) != static_cast<int64_t>(plain)) return false;
    size_t sent = cipher.Encipher(buffer.data(), plain, buffer.data());
    if (!connection.Write(std::string_view(buffer.data(), sent))) return false;
    read += static_cast<int64_t>(plain);
  }
  return true;
}

}  // namespace

std::string_view StatusText(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    case 503:
      return "Service Unavailable";
    default:
      return "Internal Server Error";
  }
}

std::string ReplyHeadText(const Reply& reply, const BodyFraming& body,
                          const ReplyFraming& framing) {
  std::vector<std::pair<std::string_view, std::string>> lines;
  for (const auto& [name, value] : reply.headers) lines.emplace_back(name, value);
  if (body.length > 0) lines.emplace_back("Content-Type", std::string(body.content_type));
  if (framing.close) {
    lines.emplace_back("Connection", "close");
  } else {
    lines.emplace_back("Keep-Alive", std::string(kKeepAliveValue));
  }
  lines.emplace_back("Content-Length",
                     StrFormat("%lld", static_cast<long long>(std::max<int64_t>(body.length, 0))));
  if (framing.head_request) lines.emplace_back("Accept-Ranges", "bytes");
  std::stable_sort(lines.begin(), lines.end(),
                   [](const auto& a, const auto& b) { return NameLess(a.first, b.first); });
  std::string_view reason = StatusText(reply.status);
  std::string text = StrFormat("HTTP/1.1 %d %.*s\r\n", reply.status,
                               static_cast<int>(reason.size()), reason.data());
  for (const auto& [name, value] : lines) {
    if (HasLineBreak(name) || HasLineBreak(value)) continue;
    text.append(name).append(": ").append(value).append("\r\n");
  }
  text += "\r\n";
  return text;
}

bool WriteReply(HttpConnection& connection, Reply& reply, const ReplyFraming& framing) {
  BodyFraming body;
  std::optional<platform::File> static_file;
  if (reply.file_body) {
    body = {kDocumentType, reply.file_body->WireLength()};
  } else if (!reply.body_file.empty()) {
    // An empty file is an empty body.
    if (reply.body_file_size > 0) {
      static_file = platform::File::Open(reply.body_file, platform::File::Access::kRead);
      if (static_file->is_open()) {
        body = {reply.content_type, reply.body_file_size};
      } else {
        reply.status = 404;
        static_file.reset();
      }
    }
  } else {
    body = {reply.content_type, static_cast<int64_t>(reply.body.size())};
  }
  std::string head = ReplyHeadText(reply, body, framing);
  bool send_body = body.length > 0 && !framing.head_request;
  if (send_body && !reply.file_body && !static_file) {
    // A text goes out with its header block in one piece.
    return connection.Write(head + reply.body);
  }
  if (!connection.Write(head)) return false;
  if (!send_body) return true;
  if (static_file) return SendStaticFile(connection, *static_file, body.length);
  return SendDocument(connection, *reply.file_body);
}

}  // namespace nvx::service
