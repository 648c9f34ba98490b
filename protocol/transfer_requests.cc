#include "protocol/transfer_requests.h"

#include "protocol/url_escape.h"

namespace nvx {
namespace {

std::string CommonLines(std::string_view method, std::string_view query,
                        const TransferRequestBase& base) {
  return ScriptRequestLine(method, query, base.route) + RattartHeader(base.login_token) +
         UserAgentHeader();
}

std::string DinsdaleOrNothing(const std::optional<int64_t>& last_write_time) {
  if (!last_write_time) return {};
  return DinsdaleHeader(*last_write_time).value_or(std::string());
}

}  // namespace

std::string FormatIsItThere(const TransferRequestBase& base, const IsItThereFields& fields) {
  std::string request = CommonLines("HEAD", UrlEscape(fields.file_name), base);
  request += DinsdaleOrNothing(fields.last_write_time);
  if (fields.digest_base64) request += LupinDigestHeader(*fields.digest_base64, fields.local_size);
  request += BlacmangeOneFieldHeader(base.folder_id);
  request += kEndOfHeaders;
  return request;
}

std::string FormatPutFile(const TransferRequestBase& base, const PutFileFields& fields) {
  std::string request = CommonLines("PUT", UrlEscape(fields.file_name), base);
  if (fields.resume_offset) {
    request += RestartHeader(*fields.resume_offset, fields.version_id);
  } else if (!fields.version_id.empty()) {
    request += LupinReplacementHeader(fields.delta, fields.version_id);
  }
  request += ContentLengthHeader(fields.content_length);
  request += FangHeader(fields.fang);
  request += BlacmangeOneFieldHeader(base.folder_id);
  request += DinsdaleOrNothing(fields.last_write_time);
  if (fields.nee_digest_base64) request += NeeHeader(*fields.nee_digest_base64, fields.nee_size);
  request += kEndOfHeaders;
  return request;
}

std::string FormatDownload(const TransferRequestBase& base, const DownloadFields& fields) {
  std::string request = CommonLines("GET", "DownLoad", base);
  request += LupinReferenceHeader(fields.version_id);
  if (fields.restart_digest_base64) {
    request +=
        Restart2Header(*fields.restart_digest_base64, fields.restart_length, fields.version_id);
  }
  request += DinsdaleOrNothing(fields.last_write_time);
  request += FangHeader(fields.fang);
  request += kEndOfHeaders;
  return request;
}

std::string FormatSignatureDownload(const TransferRequestBase& base, const DownloadFields& fields) {
  std::string request = CommonLines("GET", "DownLoadX", base);
  request += LupinReferenceHeader(fields.version_id);
  request += FangHeader(fields.fang);
  request += kEndOfHeaders;
  return request;
}

}  // namespace nvx
