#include "runner/console.h"

#include <cstdarg>
#include <string>

#include "platform/text_format.h"

namespace nvx {

void Console::Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = StrFormatV(format, args);
  va_end(args);
  PrintText(text);
}

void Console::PrintText(std::string_view text) {
  out_ << text;
  if (!hold_flushes_) out_.flush();
}

void Console::Flush() {
  out_.flush();
}

void Console::Error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = StrFormatV(format, args);
  va_end(args);
  ErrorText(text);
}

void Console::ErrorText(std::string_view text) {
  out_.flush();
  err_ << text << std::flush;
}

}  // namespace nvx
