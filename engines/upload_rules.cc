#include "engines/upload_rules.h"

#include <algorithm>

#include "codec/base64.h"
#include "codec/hidden_work_file.h"
#include "platform/text_format.h"
#include "wire/date_stamp.h"

namespace nvx {

int32_t BlockCount(int64_t size) {
  if (size <= 0) return 0;
  return static_cast<int32_t>(size / kUploadBlockSize + (size % kUploadBlockSize != 0 ? 1 : 0));
}

std::string TidyLocalDirectory(std::string_view directory) {
  while (!directory.empty() && directory.back() == '/') directory.remove_suffix(1);
  return std::string(directory);
}

std::string_view LastComponent(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

const FolderRecord* ChildNamed(const FolderRecord* node, std::string_view name) {
  if (node == nullptr) return nullptr;
  for (const FolderRecord* child = node->first_child; child != nullptr;
       child = child->next_sibling) {
    if (EqualsIgnoreCase(child->name, name)) return child;
  }
  return nullptr;
}

bool IsSkippedFolder(const JobSettings& job, std::string_view name) {
  return std::any_of(job.texts.skip_folders.begin(), job.texts.skip_folders.end(),
                     [name](const std::string& skip) { return EqualsIgnoreCase(skip, name); });
}

bool EntersSubfolder(const JobSettings& job, const platform::DirectoryEntry& entry, bool top) {
  if (entry.kind != platform::DirectoryEntry::Kind::kDirectory) return false;
  if (entry.name.empty() || entry.name.front() == '.' || !job.flags.subfolders) return false;
  return !(top && IsSkippedFolder(job, entry.name));
}

bool EnterSubfoldersFirst(const JobSettings& job,
                          const std::vector<platform::DirectoryEntry>& entries, bool top,
                          const std::function<bool(const std::string& name)>& enter) {
  for (const platform::DirectoryEntry& entry : entries) {
    if (EntersSubfolder(job, entry, top) && !enter(entry.name)) return false;
  }
  return true;
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

bool IsUserFile(const platform::DirectoryEntry& entry) {
  return entry.kind == platform::DirectoryEntry::Kind::kFile &&
         !IsHiddenWorkFileName(entry.name, kZipWorkSuffix) &&
         !IsHiddenWorkFileName(entry.name, kUnpackWorkSuffix);
}

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool NameCanTravel(std::string_view name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

ServerFileIndex::ServerFileIndex(const std::vector<ServerFileEntry>& list) {
  by_name_.reserve(list.size());
  for (const ServerFileEntry& entry : list) by_name_[LowerCase(entry.name)] = &entry;
}

const ServerFileEntry* ServerFileIndex::Find(std::string_view name) const {
  auto found = by_name_.find(LowerCase(name));
  return found == by_name_.end() ? nullptr : found->second;
}

bool DateMatchesServerList(const ServerFileIndex& index, std::string_view name,
                           std::optional<int64_t> last_write_time,
                           const ServerFileEntry** matched) {
  *matched = index.Find(name);
  if (*matched == nullptr || !last_write_time) return false;
  std::optional<std::string> stamp = FormatDateStamp(*last_write_time);
  return stamp.has_value() && (*matched)->date == *stamp;
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
  // A copy of another date is the same file only when its digest says so, so equal
  // sizes alone must never count as a match; with the "X" the copy may also take a
  // differential update.
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
