#include "protocol/transfer_answers.h"

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

std::string TextForLog(std::string_view text, size_t max) {
  std::string out(text.substr(0, max));
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return out;
}

}  // namespace nvx
