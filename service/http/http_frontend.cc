#include "service/http/http_frontend.h"

#include <functional>
#include <utility>

#include "platform/text_format.h"
#include "service/http/http_connection.h"
#include "service/http/reply_writer.h"
#include "service/http/request_log.h"
#include "service/store/service_limits.h"

namespace nvx::service {
namespace {

constexpr std::string_view kBusy = "Error - Service Busy";
// The accepting thread looks for a stop request this often.
constexpr int kAcceptWaitMillis = 100;
// What a refused client sent already is read, this many pieces at most, before the
// socket closes, so that closing does not reset the connection before the reply is read.
constexpr int kRefusalDrainPieces = 4;

}  // namespace

HttpFrontend::HttpFrontend(RequestHandler handler, const ConnectionSettings& settings,
                           ServiceMetrics* metrics)
    : handler_(std::move(handler)), settings_(settings), metrics_(metrics) {}

bool HttpFrontend::Bind(const std::string& host, int port, int* bound_port, std::string* error,
                        const platform::TlsServerCredentials* tls) {
  auto listener = std::make_unique<Listener>();
  listener->tls = tls;
  if (!listener->socket.Listen(host, port, kServiceListenQueueLength) ||
      listener->socket.port() <= 0) {
    *error = StrFormat("cannot listen on %s:%d", host.c_str(), port);
    return false;
  }
  *bound_port = listener->socket.port();
  listeners_.push_back(std::move(listener));
  return true;
}

bool HttpFrontend::Serve() {
  bool failed = false;
  {
    ConnectionThreads threads(settings_.connections, settings_.connections_per_address);
    listening_.store(true);
    std::vector<platform::ListeningSocket*> sockets;
    for (auto& listener : listeners_) sockets.push_back(&listener->socket);
    size_t first = 0;
    while (!stopping_.load() && !sockets.empty()) {
      int ready = platform::ListeningSocket::WaitForAny(sockets, first++, kAcceptWaitMillis);
      if (ready == -2) {
        failed = true;
        break;
      }
      if (ready < 0) continue;
      Listener& listener = *listeners_[static_cast<size_t>(ready)];
      std::unique_ptr<platform::AcceptedSocket> socket;
      platform::ListeningSocket::Accept accepted = listener.socket.AcceptConnection(0, &socket);
      if (accepted == platform::ListeningSocket::Accept::kFailed) {
        failed = true;
        break;
      }
      if (accepted == platform::ListeningSocket::Accept::kConnection) {
        Admit(std::move(socket), listener.tls, threads);
      }
    }
    for (auto& listener : listeners_) listener->socket.Close();
    // The threads' end waits for every connection to end: idle ones see the stop within
    // a wait slice, requests in flight finish.
    stopping_.store(true);
  }
  listening_.store(false);
  return !failed;
}

void HttpFrontend::Admit(std::unique_ptr<platform::AcceptedSocket> accepted,
                         const platform::TlsServerCredentials* tls, ConnectionThreads& threads) {
  std::shared_ptr<platform::AcceptedSocket> socket = std::move(accepted);
  // Replies are written in pieces (header, body); none may wait for the client's
  // acknowledgement of the one before.
  socket->SetNoDelay();
  std::string ip;
  int port = -1;
  socket->PeerAddress(&ip, &port);
  if (threads.Start(
          ip, [this, socket, tls](ConnectionSlot& slot) { ServeConnection(*socket, tls, slot); },
          [socket] { return socket->PeerHasClosed(); })) {
    return;
  }
  if (metrics_ != nullptr) metrics_->CountRequest(RequestKind::kRefused, AnswerClass::kError);
  LogRequest(StrFormat("%s:%d", ip.c_str(), port), "-", "-", 503, kBusy);
  // A TLS client cannot read a plain refusal, and a handshake would hold the accepting
  // thread up: it sees the connection close.
  if (tls != nullptr) return;
  // Refused on the accepting thread: the reply fits an empty send buffer, so sending it
  // never waits.
  Reply busy = RefusalReply(503, kBusy);
  std::string text = ReplyHeadText(busy, BodyFraming{}, ReplyFraming{false, true});
  socket->Send(text.data(), text.size());
  socket->ShutdownSend();
  char sink[4096];
  for (int pieces = 0; pieces < kRefusalDrainPieces && socket->Receive(sink, sizeof sink) > 0;
       ++pieces) {
  }
}

void HttpFrontend::ServeConnection(platform::AcceptedSocket& socket,
                                   const platform::TlsServerCredentials* tls,
                                   ConnectionSlot& slot) {
  std::unique_ptr<platform::TlsServerSession> session;
  if (tls != nullptr) session = std::make_unique<platform::TlsServerSession>(*tls, socket);
  platform::ServerStream& stream =
      session ? static_cast<platform::ServerStream&>(*session) : socket;
  HttpConnection connection(stream, settings_, stopping_, slot.ended(), metrics_);
  // The connection counts as idle while the handshake lasts: a client that says nothing
  // may be ended to make room, and is let go at the idle time.
  if (std::string failure; !connection.Open(&failure)) {
    if (!failure.empty()) {
      LogLine(StrFormat("TLS with %s failed: %s", connection.Remote().c_str(), failure.c_str()));
    }
    return;
  }
  // Idle from admission until the first byte of a request, and again after each reply;
  // answering from just before each reply is written.
  const std::function<void()> answering = [&slot] { slot.Answering(); };
  while (!stopping_.load() && connection.WaitForRequest() && slot.Serving()) {
    connection.BeginRequest();
    ExchangeEnd end = ServeRequest(connection, handler_, stopping_.load(), answering);
    if (end == ExchangeEnd::kLinger) connection.LingeringClose();
    if (end != ExchangeEnd::kNextRequest) break;
    slot.WaitingForRequest();
  }
  // Replies held for their changes' sync go out before the connection ends.
  connection.FlushHeld();
}

}  // namespace nvx::service
