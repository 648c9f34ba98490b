#include "service/http/http_frontend.h"

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

bool HttpFrontend::Bind(const std::string& host, int port, int* bound_port, std::string* error) {
  if (!listener_.Listen(host, port, kServiceListenQueueLength) || listener_.port() <= 0) {
    *error = StrFormat("cannot listen on %s:%d", host.c_str(), port);
    return false;
  }
  *bound_port = listener_.port();
  return true;
}

bool HttpFrontend::Serve() {
  bool failed = false;
  {
    ConnectionThreads threads(settings_.connections, settings_.connections_per_address);
    listening_.store(true);
    while (!stopping_.load()) {
      std::unique_ptr<platform::AcceptedSocket> socket;
      platform::ListeningSocket::Accept accepted =
          listener_.AcceptConnection(kAcceptWaitMillis, &socket);
      if (accepted == platform::ListeningSocket::Accept::kFailed) {
        failed = true;
        break;
      }
      if (accepted == platform::ListeningSocket::Accept::kConnection) {
        Admit(std::move(socket), threads);
      }
    }
    listener_.Close();
    // The threads' end waits for every connection to end: idle ones see the stop within
    // a wait slice, requests in flight finish.
    stopping_.store(true);
  }
  listening_.store(false);
  return !failed;
}

void HttpFrontend::Admit(std::unique_ptr<platform::AcceptedSocket> accepted,
                         ConnectionThreads& threads) {
  std::shared_ptr<platform::AcceptedSocket> socket = std::move(accepted);
  // Replies are written in pieces (header, body); none may wait for the client's
  // acknowledgement of the one before.
  socket->SetNoDelay();
  std::string ip;
  int port = -1;
  socket->PeerAddress(&ip, &port);
  if (threads.Start(ip, [this, socket](ConnectionSlot& slot) { ServeConnection(*socket, slot); })) {
    return;
  }
  // Refused on the accepting thread: the reply fits an empty send buffer, so sending it
  // never waits.
  Reply busy = RefusalReply(503, kBusy);
  std::string text = ReplyHeadText(busy, BodyFraming{}, ReplyFraming{false, true});
  socket->Send(text.data(), text.size());
  socket->ShutdownSend();
  if (metrics_ != nullptr) metrics_->CountRequest(RequestKind::kRefused, AnswerClass::kError);
  char sink[4096];
  for (int pieces = 0; pieces < kRefusalDrainPieces && socket->Receive(sink, sizeof sink) > 0;
       ++pieces) {
  }
  LogRequest(StrFormat("%s:%d", ip.c_str(), port), "-", "-", 503, kBusy);
}

void HttpFrontend::ServeConnection(platform::AcceptedSocket& socket, ConnectionSlot& slot) {
  HttpConnection connection(socket, settings_, stopping_, slot.ended(), metrics_);
  // Idle from admission until the first byte of a request, and again after each reply.
  while (!stopping_.load() && connection.WaitForRequest() && slot.Serving()) {
    connection.BeginRequest();
    ExchangeEnd end = ServeRequest(connection, handler_, stopping_.load());
    if (end == ExchangeEnd::kLinger) connection.LingeringClose();
    if (end != ExchangeEnd::kNextRequest) return;
    slot.WaitingForRequest();
  }
}

}  // namespace nvx::service
