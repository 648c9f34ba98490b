#include "protocol/server_list.h"

#include <optional>
#include <utility>

#include "platform/process.h"

namespace nvx {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Takes `scheme` (letter case ignored) off the front of `setting`; false when it is not
// there.
bool TakeScheme(std::string_view& setting, std::string_view scheme) {
  if (setting.size() < scheme.size()) return false;
  for (size_t i = 0; i < scheme.size(); ++i) {
    char c = setting[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != scheme[i]) return false;
  }
  setting.remove_prefix(scheme.size());
  return true;
}

}  // namespace

ServerEntry ServerEntryFromSetting(std::string_view setting) {
  setting = TrimBlanks(setting);
  ServerEntry entry;
  if (TakeScheme(setting, "https://")) {
    entry.tls = true;
  } else {
    (void)TakeScheme(setting, "http://");  // plain either way
  }
  while (!setting.empty() && setting.back() == '/') setting.remove_suffix(1);
  size_t colon = setting.rfind(':');
  if (colon == std::string_view::npos) {
    entry.host = std::string(setting.substr(0, kConnectionHostMax));
    entry.port_text = std::string(entry.tls ? kDefaultTlsServicePort : kDefaultServicePort);
    entry.request_host = entry.host;
  } else {
    entry.host = std::string(setting.substr(0, std::min(colon, kConnectionHostMax)));
    entry.port_text = std::string(setting.substr(colon + 1, kServerPortTextMax));
    entry.request_host = entry.host + ":" + entry.port_text;
  }
  return entry;
}

std::vector<std::string> SplitServerSettings(std::string_view list) {
  std::vector<std::string> settings;
  while (!list.empty()) {
    size_t comma = list.find(',');
    std::string_view item = TrimBlanks(list.substr(0, comma));
    if (!item.empty()) settings.emplace_back(item);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return settings;
}

std::vector<std::string> DefaultServerSettings() {
  std::vector<std::string> settings;
  if (std::optional<std::string> variable = platform::EnvironmentValue(kServerListVariable)) {
    settings = SplitServerSettings(*variable);
  }
  if (settings.empty()) {
    for (int n : {2, 1}) {
      // Appended piece by piece: "b" + std::string inserts at the front of a temporary,
      // which GCC 12 at -O3 wrongly reports as an overlapping copy (-Wrestrict).
      std::string host = "b";
      host += std::to_string(n);
      host += '.';
      host += kDefaultServiceHost;
      settings.push_back(std::move(host));
    }
  }
  return settings;
}

void ServerList::Assign(const std::vector<std::string>& settings) {
  entries_.clear();
  current_ = static_cast<size_t>(-1);
  for (const std::string& setting : settings) {
    ServerEntry entry = ServerEntryFromSetting(setting);
    entry.connection = std::make_unique<Connection>(stop_requested_);
    entry.connection->Retarget(entry.host, entry.port_text);
    entries_.push_back(std::move(entry));
  }
}

ServerEntry* ServerList::PickServer() {
  if (entries_.empty()) return nullptr;
  size_t next = current_ + 1;
  if (current_ >= entries_.size() || next >= entries_.size()) next = 0;
  current_ = next;
  if (!entries_[current_].failed) return &entries_[current_];
  for (size_t i = 0; i < entries_.size(); ++i) {
    ServerEntry& entry = entries_[i];
    if (entry.skip_count++ > kFailedServerSkips) {
      entry.failed = false;
      entry.skip_count = 0;
    }
    if (!entry.failed) {
      current_ = i;
      return &entry;
    }
  }
  // Every server is marked failed: the one chosen first stays current.
  return &entries_[current_];
}

}  // namespace nvx
