// The job runner's console: printf-style texts to standard output and standard error
// (streams injected so that tests read what a user would see). Every text is flushed at
// once, since lines that begin with a carriage return redraw the current line, except
// while a transfer display holds the flushes: it then flushes every few dozen milliseconds,
// so that thousands of files passing in a second do not cost two writes each. An error
// text flushes what standard output holds first, keeping the two in order. One thread.
#ifndef NVX_RUNNER_CONSOLE_H_
#define NVX_RUNNER_CONSOLE_H_

#include <ostream>
#include <string_view>

namespace nvx {

class Console {
 public:
  Console(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void PrintText(std::string_view text);
  void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void ErrorText(std::string_view text);
  // While held, texts to standard output wait in its buffer until Flush.
  void HoldFlushes(bool hold) { hold_flushes_ = hold; }
  void Flush();

  std::ostream& errors() { return err_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool hold_flushes_ = false;
};

}  // namespace nvx

#endif  // NVX_RUNNER_CONSOLE_H_
