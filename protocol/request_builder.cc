#include "protocol/request_builder.h"

#include "platform/text_format.h"
#include "wire/date_stamp.h"
#include "wire/header_names.h"

namespace nvx {
namespace {

std::string_view OneLine(std::string_view value) {
  return value.substr(0, value.find_first_of("\r\n"));
}

// "Name: value" and CR LF; the value cut at its first line end.
std::string Line(std::string_view name, std::string_view value) {
  std::string line(name);
  line += ": ";
  line += OneLine(value);
  line += "\r\n";
  return line;
}

// The request line of `target` (an origin-form path), its Host line and, through a
// proxy, the absolute form and the proxy authorization line.
std::string RequestLine(std::string_view method, std::string_view target,
                        const RequestRoute& route) {
  std::string line(method);
  line += ' ';
  if (route.via_proxy) line += "http://" + std::string(OneLine(route.host));
  line += target;
  line += " HTTP/1.1\r\n";
  line += Line("Host", route.host);
  if (route.via_proxy) line += route.proxy_authorization_line;
  return line;
}

}  // namespace

std::string ScriptRequestLine(std::string_view method, std::string_view query,
                              const RequestRoute& route) {
  return RequestLine(
      method, "/scripts/" + std::string(kScriptName) + "?" + std::string(OneLine(query)), route);
}

std::string TunnelRequest(std::string_view host, std::string_view port_text,
                          std::string_view proxy_authorization_line) {
  std::string target(OneLine(host));
  target += ':';
  target += OneLine(port_text);
  std::string request = "CONNECT " + target + " HTTP/1.1\r\n";
  request += Line("Host", target);
  request += proxy_authorization_line;
  request += kEndOfHeaders;
  return request;
}

std::string UploadManagerRequestLine(std::string_view file, const RequestRoute& route) {
  return RequestLine("GET", "/uploadmanager/" + std::string(OneLine(file)), route);
}

std::string RattartHeader(std::string_view login_token) {
  return Line(kLoginHeader, login_token);
}

std::string UserAgentHeader() {
  return "User-Agent: NVX Upload Manager(" + std::string(kLibraryVersionText) + ")\r\n";
}

std::string BlacmangeTwoFieldHeader(std::string_view folder_id, bool subfolders, bool duplicates) {
  return Line(kFolderHeader, FolderFlagsText(OneLine(folder_id), subfolders, duplicates));
}

std::string BlacmangeOneFieldHeader(std::string_view folder_id) {
  return Line(kFolderHeader, folder_id);
}

std::string BigglesHeader(std::string_view value) {
  return Line(kNameHeader, value);
}

std::optional<std::string> ServiceCommandBiggles(std::string_view folder_name,
                                                 std::string_view server_file) {
  if (!folder_name.empty()) return std::string(folder_name);
  if (!server_file.empty() && server_file.find_first_of("*?[\\") != std::string_view::npos) {
    return std::string(server_file);
  }
  return std::nullopt;
}

std::string LupinReferenceHeader(std::string_view version_id) {
  return Line(kDocumentHeader, DocumentReferenceText(0, OneLine(version_id)));
}

std::string LupinDigestHeader(std::string_view digest_base64, int64_t size) {
  return Line(kDocumentHeader, DigestReferenceText(OneLine(digest_base64), size));
}

std::string LupinReplacementHeader(bool delta, std::string_view version_id) {
  return Line(kDocumentHeader, DocumentReferenceText(delta ? 1 : 0, OneLine(version_id)));
}

std::string RestartHeader(int64_t offset, std::string_view version_id) {
  return Line(kRestartHeader, RestartReferenceText(offset, OneLine(version_id)));
}

std::string Restart2Header(std::string_view digest_base64, int64_t length,
                           std::string_view version_id) {
  return Line(kRestartDigestHeader,
              RestartDigestText(OneLine(digest_base64), length, OneLine(version_id)));
}

std::optional<std::string> DinsdaleHeader(int64_t utc_seconds) {
  std::optional<std::string> stamp = FormatDateStamp(utc_seconds);
  if (!stamp) return std::nullopt;
  return Line(kDateHeader, *stamp);
}

std::string NeeHeader(std::string_view digest_base64, int64_t size) {
  return Line(kDigestHeader,
              "0,0," + std::string(OneLine(digest_base64)) + StrFormat(",%lld;", Wide(size)));
}

std::string BeavercheeseHeader(bool to_user, bool to_administrator, std::string_view results_type) {
  return Line(kEmailHeader, EmailRoutingText(to_user, to_administrator, OneLine(results_type)));
}

std::string ContentLengthHeader(int64_t length) {
  return StrFormat("Content-Length: %lld\r\n", Wide(length));
}

std::string FangHeader(const FangFields& fields) {
  return Line(kTransferHeader, FangText(fields));
}

}  // namespace nvx
