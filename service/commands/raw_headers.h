// A request's header block exactly as it arrived: the request line, then one header per
// line, each line ended by LF (a CR before it is dropped), up to the empty line. Names are
// found without regard to letter case; values are taken as they stand, never unescaped,
// because the library sends names in headers as they are. A view: the block must outlive
// the object. Any thread.
#ifndef NVX_SERVICE_COMMANDS_RAW_HEADERS_H_
#define NVX_SERVICE_COMMANDS_RAW_HEADERS_H_

#include <optional>
#include <string_view>

namespace nvx::service {

class RawHeaders {
 public:
  explicit RawHeaders(std::string_view block);

  std::string_view request_line() const { return request_line_; }
  // Bytes of the whole block, request line and closing empty line included.
  size_t size() const { return block_.size(); }
  // False when a header line has no name or no colon, or holds a NUL byte.
  bool well_formed() const { return well_formed_; }

  // False when a Content-Length appears more than once (even twice with one value) or its
  // value is anything but decimal digits, blanks around them allowed: a body of unsure
  // length cannot be told from the next request.
  bool content_length_sound() const;

  // The value of the first header named `name`: the text after the colon and one optional
  // blank, to the end of the line. Nothing when there is no such header.
  std::optional<std::string_view> Find(std::string_view name) const;

 private:
  std::string_view block_;
  std::string_view request_line_;
  std::string_view fields_;  // the header lines after the request line
  bool well_formed_ = true;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_RAW_HEADERS_H_
