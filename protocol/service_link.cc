#include "protocol/service_link.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "platform/clock.h"
#include "platform/process.h"
#include "protocol/credentials.h"
#include "protocol/header_reader.h"
#include "protocol/response_headers.h"

namespace nvx {

ServiceLink::ServiceLink(const LinkSettings& settings, Reporter& report,
                         const std::atomic<bool>& stop)
    : settings_(settings), report_(report), stop_(stop), servers_(&stop) {}

ServiceLink::~ServiceLink() {
  CloseConnection();
}

void ServiceLink::BuildServerList() {
  server_list_built_ = true;
  servers_.Assign(DefaultServerSettings());
  if (!settings_.proxy_host.empty()) {
    proxy_entry_ = std::make_unique<ServerEntry>();
    proxy_entry_->connection = std::make_unique<Connection>(&stop_);
  }
}

void ServiceLink::ReplaceServerList(std::string_view setting) {
  CloseConnection();
  server_list_built_ = true;
  std::vector<std::string> settings = SplitServerSettings(setting);
  servers_.Assign(settings.empty() ? DefaultServerSettings() : settings);
}

bool ServiceLink::via_proxy() const {
  const ServerEntry* server = servers_.current();
  return proxy_in_use() && (server == nullptr || !server->tls);
}

Connection* ServiceLink::RetargetActive() {
  if (proxy_in_use()) {
    // A proxy set after the list was built still gets its entry.
    if (proxy_entry_ == nullptr) {
      proxy_entry_ = std::make_unique<ServerEntry>();
      proxy_entry_->connection = std::make_unique<Connection>(&stop_);
    }
    proxy_entry_->connection->Retarget(settings_.proxy_host, settings_.proxy_port);
    return proxy_entry_->connection.get();
  }
  ServerEntry* server = servers_.current();
  if (server == nullptr || server->connection == nullptr) return nullptr;
  server->connection->Retarget(server->host, server->port_text);
  return server->connection.get();
}

void ServiceLink::ReportConnectFailure(int32_t remaining_retries) {
  report_.SetErrorCode(error::kConnect);
  if (connect_reason_.empty()) {
    report_.SetStatusMessage("Connect to Norrvault failed.");
    report_.LogLine(kLineError, " Err Communications connect to Norrvault failed %d %s\n",
                    remaining_retries, active_->FailureDescription().c_str());
  } else {
    report_.SetStatusMessage("Connect to Norrvault failed: " + connect_reason_);
    // The results say it once, before whatever the failed request brings there.
    if (connect_reason_ != reported_reason_) {
      report_.WriteResultText("\r\nThe connection to Norrvault was refused: " + connect_reason_ +
                              ".\r\n");
      reported_reason_ = connect_reason_;
    }
    std::string detail = connect_detail_.empty() ? "" : " (" + connect_detail_ + ")";
    report_.LogLine(kLineError, " Err Communications connect to Norrvault failed %d %s: %s%s\n",
                    remaining_retries, active_->FailureDescription().c_str(),
                    connect_reason_.c_str(), detail.c_str());
  }
  if (ServerEntry* server = servers_.current()) server->failed = true;
}

bool ServiceLink::OpenActive() {
  connect_reason_.clear();
  connect_detail_.clear();
  if (!active_->Open()) return false;
  ServerEntry* server = servers_.current();
  if (server == nullptr || !server->tls) return true;
  if (proxy_in_use() && !OpenTunnel(*server)) return false;
  platform::TlsClientContext* context = TlsContext();
  if (context == nullptr) {
    active_->CloseFailed("TLS set-up failed", platform::kErrorTlsProtocol);
    return false;
  }
  if (active_->StartTls(*context, server->host)) return true;
  connect_reason_ = std::string(platform::TlsRefusalText(active_->tls_refusal()));
  connect_detail_ = active_->tls_detail();
  return false;
}

bool ServiceLink::OpenTunnel(const ServerEntry& server) {
  std::string authorization;
  if (settings_.proxy_authentication) {
    authorization = ProxyAuthorizationLine(report_, settings_.proxy_id, settings_.proxy_password,
                                           settings_.proxy_password_scrambled);
  }
  const std::string request = TunnelRequest(server.host, server.port_text, authorization);
  if (!active_->SendAll(request.data(), request.size())) {
    active_->CloseFailed("proxy tunnel failed", active_->last_error());
    return false;
  }
  // Only the proxy's answer is taken from the socket: what follows is the service's.
  const ResponseHeader answer = ReadResponseHeader();
  if (answer.complete &&
      (StatusIs(answer.text, "HTTP/1.1 200") || StatusIs(answer.text, "HTTP/1.0 200"))) {
    return true;
  }
  std::string status_line = answer.text.substr(0, answer.text.find_first_of("\r\n"));
  status_line.resize(std::min(status_line.size(), kTunnelAnswerShown));
  if (!answer.complete) {
    connect_reason_ = "the proxy did not answer the tunnel request";
  } else if (StatusIs(answer.text, "HTTP/1.1 407") || StatusIs(answer.text, "HTTP/1.0 407")) {
    connect_reason_ = "the proxy refused its credentials (" + status_line + ")";
    tunnel_credentials_refused_ = true;
  } else {
    connect_reason_ = "the proxy refused the tunnel (" + status_line + ")";
  }
  active_->CloseFailed("proxy tunnel failed", answer.complete ? 0 : answer.receive_error);
  return false;
}

platform::TlsClientContext* ServiceLink::TlsContext() {
  if (tls_context_ != nullptr && tls_context_ca_file_ == settings_.server_ca_file) {
    return tls_context_.get();
  }
  tls_context_ca_file_ = settings_.server_ca_file;
  std::string error;
  tls_context_ = platform::TlsClientContext::Create(settings_.server_ca_file, &error);
  if (tls_context_ == nullptr) connect_reason_ = error;
  return tls_context_.get();
}

int64_t ConnectPauseMillis() {
  std::optional<std::string> text = platform::EnvironmentValue(kConnectPauseVariable);
  if (!text) return kConnectPauseMillis;
  std::string_view value(*text);
  int64_t millis = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), millis);
  if (error != std::errc() || end != value.data() + value.size() || millis < 0 || millis > 60000) {
    return kConnectPauseMillis;
  }
  return millis;
}

bool ServiceLink::Connect() {
  report_.SetStatusMessage("Connecting to Norrvault");
  if (connected()) {
    report_.SetStatusMessage("Already connected to Norrvault");
    return true;
  }
  if (!server_list_built_) BuildServerList();
  servers_.PickServer();
  active_ = RetargetActive();
  if (active_ == nullptr) {
    report_.SetStatusMessage("Create communications socket failed");
    report_.SetErrorCode(error::kSocketCreate);
    report_.LogText(kLineError, " Err Communications init failed\n");
    return false;
  }
  int32_t remaining_retries = kConnectRetries;
  tunnel_credentials_refused_ = false;
  while (!OpenActive()) {
    if (tunnel_credentials_refused_) {
      // The same credentials get the same answer: the run ends as when the proxy refuses
      // a plain request, with the proxy's refusal and no further attempts.
      report_.SetStatusMessage("Proxy Auth Failed");
      report_.SetErrorCode(error::kProxyAuth);
      report_.LogLine(kLineError,
                      " Err Communications proxy tunnel - Proxy Authentication Failed %s\n",
                      connect_reason_.c_str());
      active_ = nullptr;
      return false;
    }
    ReportConnectFailure(remaining_retries);
    if (remaining_retries == 0 || stop_.load(std::memory_order_acquire)) {
      communication_failure_ = true;
      active_ = nullptr;
      return false;
    }
    servers_.PickServer();
    active_ = RetargetActive();
    if (active_ == nullptr) {
      communication_failure_ = true;
      return false;
    }
    platform::GetClock().SleepMillis(ConnectPauseMillis());
    --remaining_retries;
  }
  report_.SetErrorCode(error::kNone);
  if (ServerEntry* server = servers_.current()) server->failed = false;
  connected_ = true;
  report_.SetStatusMessage("Connected to Norrvault");
  return true;
}

void ServiceLink::CloseConnection() {
  seen_open_millis_ = -1;
  connected_ = false;
  close_after_exchange_ = false;
  if (active_ == nullptr) return;
  active_->Close();
  active_ = nullptr;
}

bool ServiceLink::PrepareExchange() {
  if (close_after_exchange_) CloseConnection();
  // The service ends a connection that idles while this side packs or digests a large
  // file: it is opened anew now, instead of failing the request and costing its retry.
  // A file's steps prepare several times in a row; the first look stands for the others.
  const int64_t now = platform::GetClock().MonotonicMillis();
  const bool seen_just_now = seen_open_millis_ >= 0 && now - seen_open_millis_ < kLookAgainMillis &&
                             active_ != nullptr && active_->is_open();
  if (connected() && !seen_just_now) {
    if (active_ == nullptr || !active_->ReadyForRequest()) {
      report_.LogText(kLineActivity,
                      " Connection ended by Norrvault while idle, connecting again\n");
      CloseConnection();
    } else {
      seen_open_millis_ = now;
    }
  }
  if (connected()) return true;
  if (!Connect()) return false;
  seen_open_millis_ = platform::GetClock().MonotonicMillis();
  return true;
}

void ServiceLink::CloseIfMarked() {
  if (close_after_exchange_) CloseConnection();
}

bool ServiceLink::SendAll(std::string_view bytes) {
  if (active_ == nullptr) {
    last_send_error_ = platform::kErrorCancelled;
    return false;
  }
  if (active_->SendAll(bytes.data(), bytes.size())) return true;
  last_send_error_ = active_->last_error();
  return false;
}

bool ServiceLink::SendFileRange(platform::File& file, int64_t offset, size_t count) {
  if (active_ == nullptr) {
    last_send_error_ = platform::kErrorCancelled;
    return false;
  }
  if (active_->SendFileRange(file, offset, count)) return true;
  last_send_error_ = active_->last_error();
  return false;
}

int64_t ServiceLink::ReceiveSome(void* buffer, size_t size) {
  if (active_ == nullptr) return -1;
  const int64_t received = active_->ReceiveSome(buffer, size);
  if (received <= 0) return received;
  const int64_t now = platform::GetClock().MonotonicMillis();
  const int64_t elapsed = now - body_stretch_start_;
  body_stretch_bytes_ += received;
  if (elapsed < kBodyRateWindowMillis) return received;
  if (body_stretch_bytes_ < kBodyRateFloorBytesPerSecond * elapsed / 1000) {
    report_.LogLine(kLineError,
                    " Err Communications reply data slower than %lld bytes per second\n",
                    static_cast<long long>(kBodyRateFloorBytesPerSecond));
    active_->CloseBroken(platform::kErrorTimedOut);
    return -1;
  }
  body_stretch_start_ = now;
  body_stretch_bytes_ = 0;
  return received;
}

ResponseHeader ServiceLink::ReadResponseHeader() {
  ResponseHeader header;
  HeaderAccumulator accumulator;
  // The receive time-out bounds the whole header: a server that drips a byte now and
  // then must not hold the exchange (and the run) for ever.
  const int64_t deadline = active_ != nullptr ? active_->ReceiveDeadline() : 0;
  // What has arrived is looked at first and only the header's own bytes are taken from
  // the socket: the body stays for its reader, and a header costs a few system calls
  // rather than two per byte.
  char piece[kHeaderPeekSize];
  while (!accumulator.complete()) {
    int64_t seen = active_ != nullptr ? active_->PeekSomeBy(piece, sizeof piece, deadline) : -1;
    if (seen <= 0) {
      header.last_receive = seen;
      header.receive_error = active_ != nullptr ? active_->last_error() : 0;
      header.text = accumulator.text();
      return header;
    }
    size_t used = 0;
    while (used < static_cast<size_t>(seen) && !accumulator.Feed(piece[used])) ++used;
    if (used < static_cast<size_t>(seen)) ++used;  // the byte that completed the header
    // The bytes are there: taking them cannot wait.
    for (size_t taken = 0; taken < used;) {
      int64_t got = active_->ReceiveSomeBy(piece, used - taken, deadline);
      if (got <= 0) {
        header.last_receive = got;
        header.receive_error = active_->last_error();
        header.text = accumulator.text();
        return header;
      }
      taken += static_cast<size_t>(got);
    }
  }
  if (accumulator.cut()) MarkCloseAfterExchange();
  body_stretch_start_ = platform::GetClock().MonotonicMillis();
  body_stretch_bytes_ = 0;
  header.complete = true;
  header.text = accumulator.text();
  return header;
}

ResponseHeader ServiceLink::ReadResponseHeaderSkippingInterim() {
  ResponseHeader header = ReadResponseHeader();
  for (int taken = 0; header.complete && IsInterimResponse(header.text); ++taken) {
    if (taken == kInterimAnswersMax) {
      // A server that says "not yet" without end never answers.
      report_.LogLine(kLineError, " Err Communications more than %d interim answers\n",
                      kInterimAnswersMax);
      active_->CloseBroken(platform::kErrorTimedOut);
      header.complete = false;
      header.last_receive = -1;
      header.receive_error = platform::kErrorTimedOut;
      return header;
    }
    header = ReadResponseHeader();
  }
  return header;
}

RequestRoute ServiceLink::Route() {
  RequestRoute route;
  if (ServerEntry* server = servers_.current()) route.host = server->request_host;
  route.via_proxy = via_proxy();  // inside a TLS tunnel requests are the service's own
  if (route.via_proxy && settings_.proxy_authentication) {
    route.proxy_authorization_line = ProxyAuthorizationLine(
        report_, settings_.proxy_id, settings_.proxy_password, settings_.proxy_password_scrambled);
  }
  return route;
}

}  // namespace nvx
