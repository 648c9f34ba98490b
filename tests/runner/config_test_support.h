// Helpers of the configuration tests: parsing a text and capturing its messages.
#ifndef NVX_TESTS_RUNNER_CONFIG_TEST_SUPPORT_H_
#define NVX_TESTS_RUNNER_CONFIG_TEST_SUPPORT_H_

#include <sstream>
#include <string>
#include <string_view>

#include "runner/config_reader.h"

namespace nvx::test {

// The two lines every valid file needs.
inline constexpr char kCredentials[] = "NVXUser bob\nNVXPw secret\n";

struct Parsed {
  int result = -1;
  JobConfig config;
  std::string errors;
};

inline Parsed Parse(std::string_view text) {
  Parsed parsed;
  std::ostringstream errors;
  parsed.result = ParseJobConfiguration(text, parsed.config, errors);
  parsed.errors = errors.str();
  return parsed;
}

// Parses the credentials followed by `text`.
inline Parsed ParseWithCredentials(std::string_view text) {
  return Parse(std::string(kCredentials) + std::string(text));
}

}  // namespace nvx::test

#endif  // NVX_TESTS_RUNNER_CONFIG_TEST_SUPPORT_H_
