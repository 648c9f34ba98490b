#include "service/http/request_exchange.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text_format.h"
#include "service/commands/raw_headers.h"
#include "service/http/reply_writer.h"
#include "service/http/request_line.h"
#include "service/http/request_log.h"
#include "service/store/service_limits.h"
#include "wire/header_names.h"
#include "wire/request_fields.h"

namespace nvx::service {
namespace {

constexpr std::string_view kBadRequestConclusion = "Error - Bad Request";
constexpr std::string_view kHeaderTooLargeConclusion = "Error - Request Header Too Large";
constexpr std::string_view kRequestTooLargeConclusion = "Error - Request Too Large";

// A request body is read in pieces of this many bytes.
constexpr size_t kBodyPieceSize = 65536;
// At most this many replies wait for their changes' sync while further requests are
// served.
constexpr size_t kHeldRepliesMax = 16;

// What is known of a request while it is read.
struct RequestState {
  RequestLine line;
  // The header lines that end in CR LF, as name and value (SplitHeaderLine).
  std::vector<std::pair<std::string, std::string>> fields;
  std::string remote;                                // once the header block is read
  const std::function<void()>* answering = nullptr;  // told before the reply is written
};

bool EndsWithLineEnd(std::string_view line) {
  return line.size() >= 2 && line.substr(line.size() - 2) == "\r\n";
}

// The value of the first header line named `name` (letter case aside); empty when none.
std::string_view FieldValue(const RequestState& state, std::string_view name) {
  for (const auto& [field, value] : state.fields) {
    if (EqualsIgnoreCase(field, name)) return value;
  }
  return {};
}

enum class BlockRead { kWhole, kBroken, kLineTooLong };

// Reads the header lines after the request line up to the empty line. Lines that do not
// end in CR LF are passed over; the others go to `state` when it is given.
BlockRead ReadHeaderLines(HttpConnection& connection, RequestState* state) {
  std::string line;
  for (;;) {
    if (!connection.ReadHeaderLine(&line)) return BlockRead::kBroken;
    if (!EndsWithLineEnd(line)) continue;
    if (line.size() == 2) return BlockRead::kWhole;
    if (line.size() > kServiceHeaderLineMax) return BlockRead::kLineTooLong;
    if (state == nullptr) continue;
    if (auto field = SplitHeaderLine(std::string_view(line).substr(0, line.size() - 2))) {
      state->fields.emplace_back(std::string(field->first), std::string(field->second));
    }
  }
}

// True when the request announces a body.
bool HasBody(const RawHeaders& headers) {
  if (headers.Find("Transfer-Encoding")) return true;
  std::optional<std::string_view> length = headers.Find("Content-Length");
  return length && length->find_first_not_of("0 \t") != std::string_view::npos;
}

// Feeds the body that Content-Length announces to `sink`. False when there is no
// Content-Length, the body has a transfer coding, breaks off or the sink stops.
bool ReadWholeBody(HttpConnection& connection, const RawHeaders& headers,
                   const BodyPieceSink& sink) {
  if (headers.Find("Transfer-Encoding")) return false;
  std::optional<std::string_view> text = headers.Find("Content-Length");
  if (!text) return false;
  size_t first = text->find_first_not_of(" \t");
  size_t last = text->find_last_not_of(" \t");
  if (first == std::string_view::npos) return false;
  // The header block was refused unless the length is digits only (content_length_sound).
  std::optional<int64_t> length = ParseDecimal(text->substr(first, last - first + 1));
  if (!length) return false;
  std::vector<char> piece(kBodyPieceSize);
  for (int64_t left = *length; left > 0;) {
    size_t want = static_cast<size_t>(std::min<int64_t>(left, kBodyPieceSize));
    int64_t got = connection.ReadBody(piece.data(), want);
    if (got <= 0) return false;
    if (!sink(piece.data(), static_cast<size_t>(got))) return false;
    left -= got;
  }
  return true;
}

// A refusal of the service's own: the conclusion and "Connection: close" unless the reply
// has a conclusion already; only "400", "413" and "414" are completed so.
bool CompleteRefusal(Reply& reply, bool header_too_large) {
  if (!reply.conclusion().empty()) return false;
  if (reply.status != 400 && reply.status != 413 && reply.status != 414) return false;
  std::string_view conclusion = kBadRequestConclusion;
  if (reply.status != 400 || header_too_large) {
    conclusion = reply.status == 413 ? kRequestTooLargeConclusion : kHeaderTooLargeConclusion;
  }
  reply.SetConclusion(conclusion);
  reply.SetHeader(kSpaceHeader, "0,0");
  reply.SetHeader("Connection", "close");
  return true;
}

// Writes `reply`, logs it and says what becomes of the connection.
ExchangeEnd Answer(HttpConnection& connection, const RequestState& state, Reply& reply,
                   bool close_framing, bool close_after, bool client_closes) {
  if (CompleteRefusal(reply, connection.header_too_large())) close_after = true;
  ReplyFraming framing{state.line.method == "HEAD", close_framing};
  if (state.answering != nullptr) (*state.answering)();
  if (reply.durable) connection.HoldUntil(std::move(reply.durable));
  bool written = WriteReply(connection, reply, framing);
  // Replies held past the bound go out now, whatever the client sends behind them.
  if (written && connection.held_replies() >= kHeldRepliesMax) written = connection.FlushHeld();
  if (ServiceMetrics* metrics = connection.metrics()) {
    metrics->CountRequest(reply.kind, AnswerClassOf(reply));
  }
  LogRequest(state.remote.empty() ? connection.Remote() : state.remote, state.line.method,
             state.line.target, reply.status, reply.conclusion());
  if (close_after || connection.header_too_large() || connection.length_unsound()) {
    return ExchangeEnd::kLinger;
  }
  return written && !client_closes ? ExchangeEnd::kNextRequest : ExchangeEnd::kClose;
}

ExchangeEnd Refuse(HttpConnection& connection, const RequestState& state, int status,
                   bool close_framing) {
  Reply reply;
  reply.status = status;
  return Answer(connection, state, reply, close_framing, true, false);
}

}  // namespace

Reply RefusalReply(int status, std::string_view conclusion) {
  Reply reply;
  reply.status = status;
  reply.SetConclusion(conclusion);
  reply.SetHeader(kSpaceHeader, "0,0");
  return reply;
}

ExchangeEnd ServeRequest(HttpConnection& connection, const RequestHandler& handler, bool stopping,
                         const std::function<void()>& answering) {
  RequestState state;
  state.answering = &answering;
  std::string request_line;
  if (!connection.ReadHeaderLine(&request_line)) {
    if (!connection.header_too_large() && !connection.length_unsound()) return ExchangeEnd::kClose;
    // Not even the request line could be read within the bounds.
    std::string_view conclusion =
        connection.header_too_large() ? kHeaderTooLargeConclusion : kBadRequestConclusion;
    Reply refusal = RefusalReply(400, conclusion);
    answering();
    WriteReply(connection, refusal, ReplyFraming{false, true});
    if (ServiceMetrics* metrics = connection.metrics()) {
      metrics->CountRequest(RequestKind::kRefused, AnswerClass::kError);
    }
    LogRequest(connection.Remote(), "-", "-", 400, conclusion);
    return ExchangeEnd::kLinger;
  }
  if (request_line.size() > kServiceRequestLineMax) {
    // The rest of the block is read, as far as it goes, before the refusal.
    ReadHeaderLines(connection, nullptr);
    return Refuse(connection, state, 414, stopping);
  }
  if (!ParseRequestLine(request_line, &state.line)) return Refuse(connection, state, 400, stopping);
  BlockRead block = ReadHeaderLines(connection, &state);
  bool asks_close = FieldValue(state, "Connection") == "close";
  if (block != BlockRead::kWhole) return Refuse(connection, state, 400, stopping || asks_close);
  state.remote = connection.Remote();
  bool close_framing = stopping || asks_close;
  bool client_closes = asks_close || (state.line.version == "HTTP/1.0" &&
                                      FieldValue(state, "Connection") != "Keep-Alive");
  if (FieldValue(state, "Expect") == "100-continue") {
    // What the client does with it is its own affair; a failed write shows in the reply.
    (void)connection.Write(kContinueAnswer);
  }
  if (MethodRefused(state.line.method)) return Refuse(connection, state, 400, close_framing);

  IncomingRequest incoming;
  incoming.method = state.line.method;
  incoming.target = state.line.target;
  incoming.headers = RawHeaders(connection.header_block());
  incoming.remote = state.remote;
  incoming.next_request_waiting = [&connection] { return connection.NextRequestWaiting(); };
  bool takes_body = MethodTakesBody(state.line.method);
  bool body_read = false;
  if (takes_body) {
    incoming.read_body = [&connection, &incoming, &body_read](const BodyPieceSink& sink) {
      body_read = ReadWholeBody(connection, incoming.headers, sink);
      return body_read;
    };
  }
  Reply reply = handler(incoming);
  // A body left (partly) unread would be taken for the next request. Requests that take
  // no body never have theirs read.
  bool body_left = takes_body ? !body_read : HasBody(incoming.headers);
  bool close_after = reply.close_connection || body_left;
  if (close_after) reply.SetHeader("Connection", "close");
  return Answer(connection, state, reply, close_framing, close_after, client_closes);
}

}  // namespace nvx::service
