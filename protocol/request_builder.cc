#include "protocol/request_builder.h"

#include "codec/transfer_cipher.h"
#include "platform/text_format.h"
#include "protocol/date_stamp.h"

namespace nvx {
namespace {

std::string_view OneLine(std::string_view value) {
  return value.substr(0, value.find_first_of("\r\n"));
}

std::string Line(std::string_view name, std::string_view value) {
  std::string line(name);
  line += OneLine(value);
  line += "\r\n";
  return line;
}

long long Wide(int64_t value) {
  return static_cast<long long>(value);
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
  line += Line("Host: ", route.host);
  if (route.via_proxy) line += route.proxy_authorization_line;
  return line;
}

}  // namespace

std::string ScriptRequestLine(std::string_view method, std::string_view query,
                              const RequestRoute& route) {
  return RequestLine(
      method, "/scripts/" + std::string(kScriptName) + "?" + std::string(OneLine(query)), route);
}

std::string UploadManagerRequestLine(std::string_view file, const RequestRoute& route) {
  return RequestLine("GET", "/uploadmanager/" + std::string(OneLine(file)), route);
}

std::string RattartHeader(std::string_view login_token) {
  return Line("X-NVX-RATTART: ", login_token);
}

std::string UserAgentHeader() {
  return "User-Agent: NVX Upload Manager(" + std::string(kLibraryVersionText) + ")\r\n";
}

std::string BlacmangeTwoFieldHeader(std::string_view folder_id, bool subfolders, bool duplicates) {
  std::string_view id = OneLine(folder_id);
  if (id.empty()) id = kNoFolderId;
  return StrFormat("X-NVX-BLACMANGE: %.*s,%d\r\n", static_cast<int>(id.size()), id.data(),
                   (subfolders ? 2 : 0) + (duplicates ? 1 : 0));
}

std::string BlacmangeOneFieldHeader(std::string_view folder_id) {
  return Line("X-NVX-BLACMANGE: ", folder_id);
}

std::string BigglesHeader(std::string_view value) {
  return Line("X-NVX-BIGGLES: ", value);
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
  return "X-NVX-LUPIN: 0," + std::string(OneLine(version_id)) + ";\r\n";
}

std::string LupinDigestHeader(std::string_view digest_base64, int64_t size) {
  return "X-NVX-LUPIN: " + std::string(OneLine(digest_base64)) + StrFormat(",%lld\r\n", Wide(size));
}

std::string LupinReplacementHeader(bool delta, std::string_view version_id) {
  return StrFormat("X-NVX-LUPIN: %d,", delta ? 1 : 0) + std::string(OneLine(version_id)) + ";\r\n";
}

std::string RestartHeader(int64_t offset, std::string_view version_id) {
  return StrFormat("X-NVX-RESTART: %lld,", Wide(offset)) + std::string(OneLine(version_id)) +
         ";\r\n";
}

std::string Restart2Header(std::string_view digest_base64, int64_t length,
                           std::string_view version_id) {
  return "X-NVX-RESTART2: " + std::string(OneLine(digest_base64)) +
         StrFormat(",%lld,", Wide(length)) + std::string(OneLine(version_id)) + ";\r\n";
}

std::optional<std::string> DinsdaleHeader(int64_t utc_seconds) {
  std::optional<std::string> stamp = FormatDateStamp(utc_seconds);
  if (!stamp) return std::nullopt;
  return "X-NVX-DINSDALE: " + *stamp + "\r\n";
}

std::string NeeHeader(std::string_view digest_base64, int64_t size) {
  return "X-NVX-NEE: 0,0," + std::string(OneLine(digest_base64)) +
         StrFormat(",%lld;\r\n", Wide(size));
}

std::string BeavercheeseHeader(bool to_user, bool to_administrator, std::string_view results_type) {
  return StrFormat("X-NVX-BEAVERCHEESE: %d,%d,", to_user ? 1 : 0, to_administrator ? 1 : 0) +
         std::string(OneLine(results_type)) + ";\r\n";
}

std::string ContentLengthHeader(int64_t length) {
  return StrFormat("Content-Length: %lld\r\n", Wide(length));
}

FangFields FangFor(bool enciphered, int64_t content_length, int64_t seconds,
                   bool compressed_work_file, bool transfer_compress,
                   int64_t size_before_compression) {
  FangFields fields;
  if (enciphered) {
    fields.content_length_or_filler = content_length;
    fields.key_code_or_filler = KeyCodeOf(UploadKeyIndex(seconds));
  } else {
    int64_t positive = seconds < 0 ? -seconds : seconds;
    fields.content_length_or_filler = positive % 1025;
    fields.key_code_or_filler = positive & 0xFFF;
  }
  fields.compressed_work_file = compressed_work_file ? 1 : 0;
  fields.transfer_compress = transfer_compress ? 1 : 0;
  fields.size_before_compression = size_before_compression;
  return fields;
}

std::string FangHeader(const FangFields& fields) {
  return StrFormat("X-NVX-FANG: %lld,%lld,%d,%d,%lld\r\n", Wide(fields.content_length_or_filler),
                   Wide(fields.key_code_or_filler), fields.compressed_work_file,
                   fields.transfer_compress, Wide(fields.size_before_compression));
}

}  // namespace nvx
