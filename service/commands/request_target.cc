#include "service/commands/request_target.h"

#include "platform/text_format.h"

namespace nvx::service {
namespace {

constexpr std::string_view kScriptPath = "/scripts/rizezi7.dll";
constexpr std::string_view kScriptFolder = "/scripts/";

}  // namespace

std::optional<RequestTarget> ParseRequestTarget(std::string_view target) {
  if (StartsWithIgnoreCase(target, "http://")) {
    std::string_view rest = target.substr(7);
    size_t end_of_host = rest.find_first_of("/?");
    if (end_of_host == 0) return std::nullopt;  // no host
    if (end_of_host == std::string_view::npos || rest[end_of_host] == '?') return std::nullopt;
    target = rest.substr(end_of_host);
  }
  if (target.empty() || target.front() != '/') return std::nullopt;
  RequestTarget parsed;
  size_t question = target.find('?');
  parsed.path = target.substr(0, question);
  if (question != std::string_view::npos) parsed.query = target.substr(question + 1);
  if (EqualsIgnoreCase(parsed.path, kScriptPath)) {
    parsed.kind = RequestTarget::Kind::kScript;
  } else if (StartsWithIgnoreCase(parsed.path, kScriptFolder)) {
    parsed.kind = RequestTarget::Kind::kOtherScript;
  }
  return parsed;
}

}  // namespace nvx::service
