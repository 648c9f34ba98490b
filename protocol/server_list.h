// The worker's list of service servers and how a failed server is passed over. A server
// is written "https://HOST[:PORT]" (TLS, port 443 by default), "http://HOST[:PORT]" or
// "HOST[:PORT]" (plain, port 80 by default); a list is such entries separated by commas,
// tried in that order, each keeping its own scheme. The list is built once per worker:
// from NVX_SERVER when it is set, otherwise the two servers "b2.<host>" and "b1.<host>"
// of the library's default host name. SetServer replaces it with its own list. Each
// entry owns its Connection. Used by the worker thread only.
#ifndef NVX_PROTOCOL_SERVER_LIST_H_
#define NVX_PROTOCOL_SERVER_LIST_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/connection.h"

namespace nvx {

// The service's own host name; its servers are "b2." and "b1." in front of it.
inline constexpr std::string_view kDefaultServiceHost = "norrvault.com";
inline constexpr std::string_view kDefaultServicePort = "80";
inline constexpr std::string_view kDefaultTlsServicePort = "443";
// The environment variable that replaces the default server list.
inline constexpr const char* kServerListVariable = "NVX_SERVER";
inline constexpr size_t kServerPortTextMax = 7;
// A failed server is passed over this many times before it is tried again.
inline constexpr int32_t kFailedServerSkips = 50;

struct ServerEntry {
  std::string host;       // at most kConnectionHostMax characters; empty for the proxy
  std::string port_text;  // at most kServerPortTextMax characters
  // What the Host header and absolute request targets name: "host", or "host:port"
  // when the setting named a port.
  std::string request_host;
  // Reached over TLS only ("https://"): never plain, whatever fails.
  bool tls = false;
  std::unique_ptr<Connection> connection;
  bool failed = false;
  int32_t skip_count = 0;
};

// One server setting (see above; the scheme's letter case does not matter, a trailing
// "/" is dropped) as an entry without a connection.
[[nodiscard]] ServerEntry ServerEntryFromSetting(std::string_view setting);

// The entries of a comma-separated list, blanks around each dropped, empty ones skipped.
[[nodiscard]] std::vector<std::string> SplitServerSettings(std::string_view list);

// The settings the default list is made of: NVX_SERVER's entries when the variable holds
// any, otherwise "b2.<default host>" and "b1.<default host>".
[[nodiscard]] std::vector<std::string> DefaultServerSettings();

class ServerList {
 public:
  explicit ServerList(const std::atomic<bool>* stop_requested = nullptr)
      : stop_requested_(stop_requested) {}

  // Replaces the entries by `settings`, in order, each with its own connection, and
  // forgets the current server.
  void Assign(const std::vector<std::string>& settings);

  // Moves to the next server to try: the one after the current (the first at the end
  // or before any), passing over failed entries; a failed entry that has been passed
  // over more than kFailedServerSkips times is cleared and used again. Null when the
  // list is empty.
  ServerEntry* PickServer();

  ServerEntry* current() { return current_ < entries_.size() ? &entries_[current_] : nullptr; }
  const ServerEntry* current() const {
    return current_ < entries_.size() ? &entries_[current_] : nullptr;
  }
  std::vector<ServerEntry>& entries() { return entries_; }

 private:
  std::vector<ServerEntry> entries_;
  size_t current_ = static_cast<size_t>(-1);
  const std::atomic<bool>* stop_requested_;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_SERVER_LIST_H_
