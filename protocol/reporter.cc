#include "protocol/reporter.h"

#include <cstdarg>

#include "platform/text_format.h"

namespace nvx {

void Reporter::LogLine(int32_t bits, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string line = StrFormatV(format, args);
  va_end(args);
  LogText(bits, line);
}

}  // namespace nvx
