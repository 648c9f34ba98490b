// Writing a reply on its connection, byte for byte as the service has always answered:
// "HTTP/1.1 CODE TEXT", then the reply's own headers and the framing headers
// ("Connection: close" when the connection ends after the reply, else "Keep-Alive";
// Content-Type and Content-Length of the body, "Content-Length: 0" without one;
// "Accept-Ranges: bytes" for HEAD), ordered by name without regard to letter case, each
// line "Name: value". Bodies: a text; a static file read in pieces; a document sent from
// the file system (sendfile) or, for an account with transfer encryption, read,
// enciphered and sent in pieces of 256 KiB, the last one zero-padded to 8 bytes. A HEAD
// reply announces its body and sends none. Connection thread.
#ifndef NVX_SERVICE_HTTP_REPLY_WRITER_H_
#define NVX_SERVICE_HTTP_REPLY_WRITER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "service/commands/exchange.h"
#include "service/http/http_connection.h"

namespace nvx::service {

// How a reply is framed on its connection.
struct ReplyFraming {
  bool head_request = false;  // the request was HEAD: the body is announced, not sent
  // "Connection: close" instead of "Keep-Alive": the server stops, or the client asked
  // for it. A reply that ends the connection for its own reasons says so in its headers.
  bool close = false;
};

// The body a reply announces: its content type and length (no body: length 0, no type).
struct BodyFraming {
  std::string_view content_type;
  int64_t length = 0;
};

// The reply's status line and header block, up to and with the empty line. A header
// whose name or value holds a CR or LF is left out.
std::string ReplyHeadText(const Reply& reply, const BodyFraming& body, const ReplyFraming& framing);

// The reason text of a status code.
std::string_view StatusText(int status);

// Writes `reply` whole. False when the connection failed or a body file held fewer bytes
// than announced: the connection must end then. A static file that cannot be opened
// makes the reply "404" without a body; `reply` then says so (for the log).
bool WriteReply(HttpConnection& connection, Reply& reply, const ReplyFraming& framing);

// "HTTP/1.1 100 Continue" and its empty line.
inline constexpr std::string_view kContinueAnswer = "HTTP/1.1 100 Continue\r\n\r\n";

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_REPLY_WRITER_H_
