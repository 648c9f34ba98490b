// One request as the service's logic sees it, and the reply it builds: independent of the
// HTTP library, so that the commands can be driven without sockets. The front end fills
// an IncomingRequest from the wire and writes the Reply back. Used by one thread per
// request.
#ifndef NVX_SERVICE_COMMANDS_EXCHANGE_H_
#define NVX_SERVICE_COMMANDS_EXCHANGE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "service/commands/raw_headers.h"
#include "service/commands/request_kind.h"
#include "wire/header_names.h"

namespace nvx::service {

// Receives one piece of a request body; false stops the reading.
using BodyPieceSink = std::function<bool(const char* data, size_t size)>;

struct IncomingRequest {
  std::string_view method;
  std::string_view target;
  RawHeaders headers{std::string_view()};
  std::string remote;  // "address:port" of the client, for the log
  // Feeds the body to a sink in pieces. False when the body broke off, was refused or the
  // sink stopped. Null when the request's body cannot be read (then it is not read).
  std::function<bool(const BodyPieceSink& sink)> read_body;
  // True when bytes of a further request have arrived behind this one: a client that
  // sends its next request before reading this answer. A change made durable in a group
  // may then leave its wait to the reply (Reply::durable). Null when the connection
  // cannot tell.
  std::function<bool()> next_request_waiting;
};

// A stored file sent as a reply body: `length` bytes of `file` from `offset`. With a key
// index the bytes travel enciphered with the transfer cipher in 8-byte blocks, the last
// one zero-padded, and the body is the padded length. The file is shared so that it
// stays open (even once removed from its folder) until the body went out.
struct FileBody {
  std::shared_ptr<platform::File> file;
  int64_t offset = 0;
  int64_t length = 0;
  std::optional<size_t> key_index;

  // The body's length on the wire.
  int64_t WireLength() const;
};

struct Reply {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string content_type = "text/plain";
  // A file sent as the body instead of `body` (static files), with its size.
  std::string body_file;
  int64_t body_file_size = 0;
  // A document's bytes sent as the body (downloads), instead of the above.
  std::optional<FileBody> file_body;
  // The connection ends after this reply (the request's body was left unread).
  bool close_connection = false;
  // What the metrics page counts the request as (set by the router).
  RequestKind kind = RequestKind::kRefused;
  // Set when the reply tells of a change not yet durable: it may go out only once this
  // returned true. The connection holds it (and every reply after it) while further
  // requests are at hand, so that the commits of a client's requests share syncs; when it
  // returns false, the held replies never go out and the connection ends.
  std::function<bool()> durable;

  // Sets a header, replacing one of the same name.
  void SetHeader(std::string_view name, std::string_view value);
  // The value of a header set so far; empty when there is none.
  std::string_view Header(std::string_view name) const;
  void SetConclusion(std::string_view conclusion) { SetHeader(kConclusionHeader, conclusion); }
  std::string_view conclusion() const { return Header(kConclusionHeader); }
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_EXCHANGE_H_
