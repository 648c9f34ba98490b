#include "protocol/transfer_answers.h"

#include <cstdint>

namespace nvx {
namespace {

TransferAnswer ParseCommon(std::string_view header) {
  TransferAnswer answer;
  answer.server_error = StatusIs(header, "HTTP/1.1 500");
  answer.connection_close = SaysConnectionClose(header);
  answer.conclusion = ParseConclusion(header);
  answer.space = ParseLarch(header);
  return answer;
}

}  // namespace

bool IsReplaceConclusion(std::string_view conclusion) {
  return conclusion.substr(0, 7) == "Replace";
}

TransferAnswer ParseIsItThereAnswer(std::string_view header) {
  TransferAnswer answer = ParseCommon(header);
  const bool replace = answer.conclusion && IsReplaceConclusion(*answer.conclusion);
  answer.lupin = ParseIsItThereLupin(header, replace);
  return answer;
}

TransferAnswer ParsePutAnswer(std::string_view header) {
  return ParseCommon(header);
}

DownloadAnswer ParseDownloadAnswer(std::string_view header) {
  DownloadAnswer answer;
  answer.common = ParseCommon(header);
  answer.status_ok = StatusIs(header, "HTTP/1.1 200") || StatusIs(header, "HTTP/1.0 200");
  answer.already_current = answer.common.conclusion && *answer.common.conclusion == "UGOTIT";
  answer.restart = HasRestartHeader(header);
  answer.fang = ParseDownloadFang(header);
  if (std::optional<ContentLength> length = ParseContentLength(header)) {
    answer.content_length_present = true;
    if (length->valid && length->length >= 0) answer.body_length = length->length;
  }
  return answer;
}

std::optional<int64_t> EncipheredFinalLength(bool restart, int64_t offered_size, int64_t work_size,
                                             int64_t fang_length) {
  // Zero padding fills the last 8-byte block only.
  constexpr int64_t kPaddingMax = 7;
  const auto fits = [work_size](int64_t length) {
    return length >= 0 && length <= work_size && work_size - length <= kPaddingMax;
  };
  if (fits(fang_length)) return fang_length;
  if (restart && fang_length >= 0 && fang_length <= INT64_MAX - offered_size &&
      fits(offered_size + fang_length)) {
    return offered_size + fang_length;
  }
  return std::nullopt;
}

std::string TextForLog(std::string_view text, size_t max) {
  std::string out(text.substr(0, max));
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return out;
}

}  // namespace nvx
