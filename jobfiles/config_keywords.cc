#include "jobfiles/config_keywords.h"

#include "platform/text_format.h"

namespace nvx::jobfiles {
namespace {

constexpr bool InEnumerationOrder() {
  size_t index = 0;
  for (const ConfigKeywordSpelling& spelling : kConfigKeywords) {
    if (static_cast<size_t>(spelling.keyword) != index++) return false;
  }
  return true;
}
static_assert(InEnumerationOrder(), "SpellingOf finds a keyword's row by its value");

}  // namespace

const ConfigKeywordSpelling& SpellingOf(ConfigKeyword keyword) {
  return kConfigKeywords[static_cast<size_t>(keyword)];
}

std::string_view Written(ConfigKeyword keyword) {
  return SpellingOf(keyword).written;
}

std::string_view NameOf(ConfigKeyword keyword) {
  return SpellingOf(keyword).name;
}

std::optional<KeywordMatch> MatchConfigKeyword(std::string_view line) {
  for (const ConfigKeywordSpelling& spelling : kConfigKeywords) {
    if (!StartsWithIgnoreCase(line, spelling.name)) continue;
    std::string_view rest = line.substr(spelling.name.size());
    if (spelling.verb) return KeywordMatch{&spelling, rest};
    if (!rest.empty() && rest.front() == ' ') return KeywordMatch{&spelling, rest.substr(1)};
  }
  return std::nullopt;
}

}  // namespace nvx::jobfiles
