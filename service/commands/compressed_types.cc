#include "service/commands/compressed_types.h"

#include <array>

#include "platform/text_format.h"

namespace nvx::service {
namespace {

constexpr std::array<std::string_view, 20> kCompressedTypes = {
    "arc", "bz2", "dss", "gif",  "gz",  "gzip", "jpeg", "jpg", "mov", "mp1",
    "mp2", "mp3", "mp4", "mpeg", "mpg", "png",  "rar",  "sit", "wma", "zip",
};

}  // namespace

bool IsOfCompressedType(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::string_view type = name.substr(dot + 1);
  for (std::string_view known : kCompressedTypes) {
    if (EqualsIgnoreCase(type, known)) return true;
  }
  return false;
}

}  // namespace nvx::service
