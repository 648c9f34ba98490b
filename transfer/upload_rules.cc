#include "transfer/upload_rules.h"

#include <algorithm>

#include "platform/text_format.h"
#include "protocol/date_stamp.h"
#include "transfer/base64.h"

namespace nvx {

int32_t BlockCount(int64_t size) {
  if (size <= 0) return 0;
  return static_cast<int32_t>(size / kUploadBlockSize + (size % kUploadBlockSize != 0 ? 1 : 0));
}

bool IsSkippedFolder(const JobSettings& job, std::string_view name) {
  return std::any_of(job.texts.skip_folders.begin(), job.texts.skip_folders.end(),
                     [name](const std::string& skip) { return EqualsIgnoreCase(skip, name); });
}

bool IsExcludedExtension(const JobSettings& job, std::string_view name) {
  if (job.texts.excluded_extensions.empty()) return false;
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view ending = name.substr(dot);
  return std::any_of(
      job.texts.excluded_extensions.begin(), job.texts.excluded_extensions.end(),
      [ending](const std::string& excluded) { return EqualsIgnoreCase(excluded, ending); });
}

bool DateMatchesServerList(const std::vector<ServerFileEntry>& list, std::string_view name,
                           std::optional<int64_t> last_write_time,
                           const ServerFileEntry** matched) {
  *matched = nullptr;
  std::optional<std::string> stamp;
  if (last_write_time) stamp = FormatDateStamp(*last_write_time);
  bool match = false;
  for (const ServerFileEntry& entry : list) {
    if (!EqualsIgnoreCase(entry.name, name)) continue;
    *matched = &entry;
    match = stamp.has_value() && entry.date == *stamp;
  }
  return match;
}

bool WouldExceedQuota(int64_t local_size, int64_t used_estimate, int64_t limit, bool replacement) {
  if (replacement) return false;
  // Saturating sums: figures near the 64-bit limit must not wrap into a pass.
  int64_t wanted = 0;
  int64_t allowed = 0;
  if (__builtin_add_overflow(local_size, used_estimate, &wanted)) return true;
  if (__builtin_add_overflow(limit, kQuotaGraceBytes, &allowed)) return false;
  return wanted > allowed;
}

namespace {

Md5Digest DigestOfBase64(std::string_view text) {
  Md5Digest digest{};
  const std::string bytes = Base64Decode(text);
  std::copy_n(bytes.begin(), std::min(bytes.size(), digest.size()), digest.begin());
  return digest;
}

}  // namespace

IsItThereDecision DecideIsItThere(const TransferAnswer& answer, int64_t local_size,
                                  const std::optional<Md5Digest>& local_digest) {
  using Outcome = IsItThereDecision::Outcome;
  IsItThereDecision decision;
  if (answer.server_error) {
    decision.outcome = Outcome::kServerError;
    return decision;
  }
  if (!answer.conclusion) {
    decision.outcome = Outcome::kNoConclusion;
    return decision;
  }
  const std::string& conclusion = *answer.conclusion;
  if (conclusion == "ItsHere" || conclusion == "ItsHereX") {
    decision.server_size = local_size;
    decision.differential_allowed = conclusion == "ItsHereX";
    decision.clear_conclusion = true;
    return decision;
  }
  if (conclusion == "NotHere") {
    decision.clear_conclusion = true;
    return decision;
  }
  if (IsReplaceConclusion(conclusion)) {
    decision.differential_allowed = conclusion == "ReplaceX";
    if (answer.lupin && answer.lupin->usable) decision.version_id = answer.lupin->version_id;
    decision.clear_conclusion = true;
    return decision;
  }
  if (!answer.lupin || !answer.lupin->usable) {
    decision.outcome = Outcome::kInvalidLupin;
    return decision;
  }
  decision.server_digest = DigestOfBase64(answer.lupin->digest_base64);
  decision.server_size = answer.lupin->size;
  decision.version_id = answer.lupin->version_id;
  decision.incomplete = conclusion == "Incomplete";
  decision.response_received_status = true;
  // A copy of another date is the same file only when its digest says so; with the "X"
  // the copy may also take a differential update, but until one is prepared the file
  // goes whole, so equal sizes alone must never count as a match.
  if (conclusion == "DateNoMatch" || conclusion == "DateNoMatchX") {
    decision.differential_allowed = conclusion == "DateNoMatchX";
    if (decision.server_size == local_size) {
      if (!local_digest) {
        decision.outcome = Outcome::kNeedDigest;
        return decision;
      }
      if (*local_digest == decision.server_digest) {
        decision.clear_conclusion = true;
        decision.response_received_status = false;
        return decision;  // server size == local size: already there
      }
    }
    decision.server_size = 0;
    return decision;
  }
  // Any other conclusion ("Incomplete"): the size reported is where to resume. A size
  // outside 0..local size cannot be a resume point.
  if (decision.server_size < 0 || decision.server_size > local_size) decision.server_size = 0;
  return decision;
}

}  // namespace nvx
