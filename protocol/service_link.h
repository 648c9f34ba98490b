// The worker's link to the service: the server list, the proxy entry, the active
// connection and what is known of it between exchanges, with the operations every exchange is built
// from: Connect (server picking, four attempts with three 5-second pauses), CloseConnection,
// SendAll, ReceiveSome and the response header reader. A server of the list written
// "https://" is reached over TLS only, verified against the authorities of the link
// settings' CA file (or the system's), through a CONNECT tunnel when a proxy is in use;
// a refused certificate is a failed connection whose status message and error line say
// why. Built from the link settings, the
// reporting interface (status message, error code, error lines) and the stop flag, all
// of which must outlive it. One per worker; worker thread only.
#ifndef NVX_PROTOCOL_SERVICE_LINK_H_
#define NVX_PROTOCOL_SERVICE_LINK_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/tls_client.h"
#include "protocol/exchange_outcome.h"
#include "protocol/job_settings.h"
#include "protocol/reporter.h"
#include "protocol/request_builder.h"
#include "protocol/server_list.h"

namespace nvx {

// Connection attempts after the first one, and the pause before each.
inline constexpr int32_t kConnectRetries = 3;
inline constexpr int64_t kConnectPauseMillis = 5000;
// How much of an answer the header reader looks at in one go.
inline constexpr size_t kHeaderPeekSize = 1024;
// The environment variable that changes that pause (milliseconds, 0 to 60000), for
// whole-program tests and for operators who would rather fail fast.
inline constexpr const char* kConnectPauseVariable = "NVX_CONNECT_PAUSE_MS";
// How much of a proxy's refusal of a tunnel the status message quotes.
inline constexpr size_t kTunnelAnswerShown = 80;

// The pause between connection attempts: kConnectPauseMillis, or the value of
// kConnectPauseVariable when it holds a whole number in range.
[[nodiscard]] int64_t ConnectPauseMillis();

// What reading one response header gave.
struct ResponseHeader {
  bool complete = false;      // false: the connection broke off before the end
  std::string text;           // the bytes read, complete or not
  int64_t last_receive = 1;   // the last receive result: 0 orderly close, -1 time-out/error
  int32_t receive_error = 0;  // the connection's last error after a failed receive
};

class ServiceLink {
 public:
  ServiceLink(const LinkSettings& settings, Reporter& report, const std::atomic<bool>& stop);
  ~ServiceLink();
  ServiceLink(const ServiceLink&) = delete;
  ServiceLink& operator=(const ServiceLink&) = delete;

  // Builds the default server list (NVX_SERVER or the two default servers) and, when a
  // proxy host is set, the proxy entry. The worker calls it once, before its first
  // command; Connect calls it when nothing has yet.
  void BuildServerList();
  // SetServer: the list of `setting` (see server_list.h); an empty setting brings back
  // the default list. Closes the connection first; the proxy entry is kept.
  void ReplaceServerList(std::string_view setting);
  ServerList& servers() { return servers_; }

  // Connects (see the header comment); true when connected.
  [[nodiscard]] bool Connect();
  // Closes the active connection, if any, and forgets it: not connected, no close marked.
  void CloseConnection();
  // Right before a request goes out: closes when marked, and when the service ended the
  // kept-alive connection meanwhile (see Connection::ReadyForRequest; a connection made or
  // found open within the last kLookAgainMillis is not looked at again); connects when
  // not connected. Not reaching the service is the only failure.
  [[nodiscard]] bool PrepareExchange();
  static constexpr int64_t kLookAgainMillis = 20;
  void MarkCloseAfterExchange() { close_after_exchange_ = true; }
  // After an exchange: closes when marked.
  void CloseIfMarked();
  bool connected() const { return connected_; }

  // Sends every byte on the active connection; a failure keeps the socket error as the
  // last send error.
  [[nodiscard]] bool SendAll(std::string_view bytes);
  // Sends `count` bytes of `file` from `offset` on the active connection, straight from
  // the file system's cache; a failure keeps the error as the last send error
  // (kErrorFileEnded when the file is shorter than that).
  [[nodiscard]] bool SendFileRange(platform::File& file, int64_t offset, size_t count);
  // Receives at most `size` bytes of the body that follows the last answer header: the
  // count, 0 when the peer closed, -1 on time-out, error or stop request (and when there
  // is no active connection). A body that arrives slower than the rate floor
  // (kBodyRateFloorBytesPerSecond over kBodyRateWindowMillis) is broken off: the
  // connection is closed with a time-out error, -1.
  [[nodiscard]] int64_t ReceiveSome(void* buffer, size_t size);
  // Reads one response header, taking no byte of the body from the socket. The
  // connection's receive time-out bounds the whole header, not each byte. A header cut
  // at kResponseHeaderMax marks the connection to be closed after the exchange: what is
  // left of it must not be read as the next answer.
  [[nodiscard]] ResponseHeader ReadResponseHeader();
  // The same, reading further headers while the one read is an interim "HTTP/1.1 100";
  // after kInterimAnswersMax of them the next breaks the exchange off: the header is
  // incomplete, the connection closed with a time-out error.
  [[nodiscard]] ResponseHeader ReadResponseHeaderSkippingInterim();

  // Where requests go now: the current server's request host, the proxy form and the
  // proxy authorization line when requests are addressed to the proxy.
  [[nodiscard]] RequestRoute Route();
  // True when requests are addressed to the proxy: a proxy is in use and the current
  // server is plain (a TLS server is reached through a tunnel, which the proxy does not
  // read).
  bool via_proxy() const;

  Connection* active_connection() { return active_; }
  ServerEntry* current_server() { return servers_.current(); }
  int32_t last_send_error() const { return last_send_error_; }

  // Set when an exchange broke off at the transport level, cleared when an exchange
  // starts: the service commands read it to tell a communication failure from a refusal.
  bool communication_failure() const { return communication_failure_; }
  void MarkCommunicationFailure() { communication_failure_ = true; }
  void ClearCommunicationFailure() { communication_failure_ = false; }
  // An exchange broke off at the transport level: marked so, and the connection is not to
  // be used again.
  void MarkTransportFailure() {
    MarkCommunicationFailure();
    MarkCloseAfterExchange();
  }
  // The same, as the exchange's outcome.
  ExchangeOutcome FailTransport() {
    MarkTransportFailure();
    return ExchangeOutcome::kTransportFailure;
  }

 private:
  // The connection the next bytes travel on, retargeted: the proxy's or the current
  // server's; null when there is none.
  [[nodiscard]] Connection* RetargetActive();
  bool proxy_in_use() const { return !settings_.proxy_host.empty(); }
  // Opens the active connection and makes it ready for requests to the current server:
  // the tunnel and TLS for a TLS server. False leaves connect_reason_ telling why when
  // it is more than the transport's failure.
  [[nodiscard]] bool OpenActive();
  [[nodiscard]] bool OpenTunnel(const ServerEntry& server);
  // The TLS context of the CA file setting, made anew when the setting changed; null
  // (connect_reason_ set) when it cannot be made.
  [[nodiscard]] platform::TlsClientContext* TlsContext();
  void ReportConnectFailure(int32_t remaining_retries);

  const LinkSettings& settings_;
  Reporter& report_;
  const std::atomic<bool>& stop_;
  bool communication_failure_ = false;
  ServerList servers_;
  bool server_list_built_ = false;
  std::unique_ptr<ServerEntry> proxy_entry_;
  Connection* active_ = nullptr;
  bool connected_ = false;
  // The connection must not carry another request: the answer in hand was cut, or the
  // service said "Connection: close".
  bool close_after_exchange_ = false;
  // When, on the process clock, the connection was last made or found open; -1 when not
  // since it was last closed.
  int64_t seen_open_millis_ = -1;
  int32_t last_send_error_ = 0;
  // Why the last connection attempt failed, in words for the status message ("" when
  // the failure text of the connection says it all), and the TLS library's detail.
  std::string connect_reason_;
  std::string connect_detail_;
  // The proxy answered the last tunnel request with "407": its credentials were refused.
  bool tunnel_credentials_refused_ = false;
  // The last reason the results were told of.
  std::string reported_reason_;
  std::unique_ptr<platform::TlsClientContext> tls_context_;
  std::string tls_context_ca_file_;
  // The current stretch of the body being received: when it began (process clock) and
  // the bytes that arrived since.
  int64_t body_stretch_start_ = 0;
  int64_t body_stretch_bytes_ = 0;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_SERVICE_LINK_H_
