#include "platform/symbol_demangle.h"

namespace nvx::platform {
namespace {

// Writes into a fixed buffer; any overflow makes the whole result invalid.
class Output {
 public:
  Output(char* out, size_t capacity) : out_(out), capacity_(capacity) {}

  void Put(std::string_view text) {
    if (failed_ || capacity_ == 0 || size_ + text.size() >= capacity_) {
      failed_ = true;
      return;
    }
    for (char c : text) out_[size_++] = c;
  }

  size_t Finish() {
    if (failed_ || size_ == 0) return 0;
    out_[size_] = '\0';
    return size_;
  }

 private:
  char* out_;
  size_t capacity_;
  size_t size_ = 0;
  bool failed_ = false;
};

// Reads the symbol from left to right; every reader returns false on a form it does not
// know, and never reads past the end of the text.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return position_ >= text_.size(); }
  char Peek(size_t ahead = 0) const {
    return position_ + ahead < text_.size() ? text_[position_ + ahead] : '\0';
  }
  void Skip(size_t count) { position_ += count; }
  bool Consume(std::string_view prefix) {
    if (text_.substr(position_).substr(0, prefix.size()) != prefix) return false;
    position_ += prefix.size();
    return true;
  }

  // <source-name> ::= <positive length number> <identifier>
  bool SourceName(std::string_view* name) {
    if (Peek() < '1' || Peek() > '9') return false;
    size_t length = 0;
    while (Peek() >= '0' && Peek() <= '9') {
      length = length * 10 + static_cast<size_t>(Peek() - '0');
      if (length > text_.size()) return false;
      ++position_;
    }
    if (text_.size() - position_ < length) return false;
    *name = text_.substr(position_, length);
    position_ += length;
    return true;
  }

 private:
  std::string_view text_;
  size_t position_ = 0;
};

// The standard abbreviations that may open a name.
struct StandardAbbreviation {
  std::string_view code;
  std::string_view text;
};
constexpr StandardAbbreviation kStandardAbbreviations[] = {
    {"St", "std"},           {"Sa", "std::allocator"}, {"Sb", "std::basic_string"},
    {"Ss", "std::string"},   {"Si", "std::istream"},   {"So", "std::ostream"},
    {"Sd", "std::iostream"},
};

bool IsOneOf(char c, std::string_view set) {
  return c != '\0' && set.find(c) != std::string_view::npos;
}

void PutIdentifier(Output& out, std::string_view name) {
  // The compiler names anonymous namespaces "_GLOBAL__N_<n>".
  if (name.substr(0, 10) == "_GLOBAL__N") {
    out.Put("(anonymous namespace)");
  } else {
    out.Put(name);
  }
}

// <nested-name> ::= N [<CV-qualifiers>] [<ref-qualifier>] <prefix> <unqualified-name> E
bool NestedName(Reader& in, Output& out) {
  while (in.Consume("r") || in.Consume("V") || in.Consume("K")) {
  }
  if (!in.Consume("R")) in.Consume("O");
  std::string_view last;  // the last plain name, for constructors and destructors
  bool first = true;
  while (!in.Consume("E")) {
    if (in.AtEnd()) return false;
    if (!first) out.Put("::");
    std::string_view name;
    if (first && in.Peek() == 'S') {
      bool known = false;
      for (const auto& abbreviation : kStandardAbbreviations) {
        if (in.Consume(abbreviation.code)) {
          out.Put(abbreviation.text);
          known = true;
          break;
        }
      }
      if (!known) return false;
    } else if (in.SourceName(&name)) {
      PutIdentifier(out, name);
      last = name;
    } else if (in.Peek() == 'C' && IsOneOf(in.Peek(1), "12345") && !last.empty()) {
      in.Skip(2);  // constructor
      out.Put(last);
    } else if (in.Peek() == 'D' && IsOneOf(in.Peek(1), "01245") && !last.empty()) {
      in.Skip(2);  // destructor
      out.Put("~");
      out.Put(last);
    } else {
      // Templates, operators, substitutions, ABI tags, template parameters.
      return false;
    }
    first = false;
  }
  return !first;
}

}  // namespace

size_t DemangleFunctionName(std::string_view mangled, char* out, size_t capacity) {
  Reader in(mangled);
  Output text(out, capacity);
  if (!in.Consume("_Z")) return 0;
  if (in.Consume("N")) {
    if (!NestedName(in, text)) return 0;
  } else {
    if (in.Consume("St")) text.Put("std::");
    in.Consume("L");  // internal linkage
    std::string_view name;
    if (!in.SourceName(&name)) return 0;
    PutIdentifier(text, name);
    // A template function's arguments follow its name.
    if (in.Peek() == 'I') return 0;
  }
  // What follows the name (parameter types, clone suffixes such as ".cold") is left out.
  return text.Finish();
}

}  // namespace nvx::platform
