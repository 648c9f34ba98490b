// The request line and the header lines of a request, read the way the service has
// always read them: the method, target and version separated by blanks, the methods and
// the two versions it knows, at most one "?" in the target; a header line that ends in
// CR LF is a name, a colon and a value. These decide only how a request is framed
// (which method, whether the connection stays open, whether the client waits for
// "100 Continue"); the commands read the header block as it arrived (RawHeaders). Pure
// functions; any thread.
#ifndef NVX_SERVICE_HTTP_REQUEST_LINE_H_
#define NVX_SERVICE_HTTP_REQUEST_LINE_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace nvx::service {

struct RequestLine {
  std::string method;
  std::string target;
  std::string version;
};

// Reads "METHOD TARGET VERSION" and its CR LF (the line ends at a NUL byte, if it holds
// one). False when the line does not end in CR LF, has other than three words, an
// unknown method or version, or a target with more than one "?"; the words found before
// that are kept in `parsed` (for the log).
bool ParseRequestLine(std::string_view line, RequestLine* parsed);

// The methods that carry a body the handler may read; the other known methods carry none
// that is read.
bool MethodTakesBody(std::string_view method);
// Methods the service knows as such but serves no request of ("400").
bool MethodRefused(std::string_view method);

// A header line without its CR LF: the name up to the colon (as it stands) and the value
// without the blanks around it. Nothing for a line without a colon or with an empty
// value.
std::optional<std::pair<std::string_view, std::string_view>> SplitHeaderLine(std::string_view line);

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_REQUEST_LINE_H_
