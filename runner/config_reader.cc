#include "runner/config_reader.h"

#include <charconv>

#include "jobfiles/config_keywords.h"
#include "jobfiles/run_status_file.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "runner/config_lines.h"
#include "runner/config_paths.h"
#include "runner/password_scrambling.h"
#include "runner/runner_limits.h"

namespace nvx {
namespace {

using jobfiles::ConfigKeyword;
using jobfiles::ConfigKeywordSpelling;

struct LogLevelName {
  std::string_view name;
  int32_t level;
};

// Tried in this order, letter case ignored; the values are the library's log level bits.
constexpr LogLevelName kLogLevelNames[] = {{jobfiles::kLogLevelErrorOnly, 2},
                                           {jobfiles::kLogLevelActivity, 1},
                                           {jobfiles::kLogLevelScript, 4},
                                           {jobfiles::kLogLevelDebug1, 8}};

std::string_view TrimTrailingBlanks(std::string_view value) {
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  return value;
}

// Only the first character counts: Y or y sets, N or n clears, anything else keeps.
void ApplyYesNo(std::string_view value, bool& flag) {
  if (value.empty()) return;
  if (value[0] == 'Y' || value[0] == 'y') flag = true;
  if (value[0] == 'N' || value[0] == 'n') flag = false;
}

class Reader {
 public:
  Reader(JobConfig& config, std::ostream& errors) : config_(config), errors_(errors) {
    config_.log_level = 1;
  }

  // False when reading ends at once: the file is invalid.
  [[nodiscard]] bool ApplyLine(std::string_view line) {
    line = MatchedPart(line);
    // Carried over only when a further line is read.
    if (entry_.notify_user) config_.notify_user = true;
    if (entry_.notify_administrator) config_.notify_administrator = true;
    std::optional<jobfiles::KeywordMatch> match = jobfiles::MatchConfigKeyword(line);
    if (!match) return true;
    if (match->spelling->verb) return ApplyVerb(match->spelling->keyword, match->value);
    return ApplySetting(*match->spelling, match->value);
  }

  int Finish() {
    if (config_.user.empty() || config_.password.empty()) {
      Message("Invalid NVX user or password\n");
    }
    if (config_.results_type.empty() || EqualsIgnoreCase(config_.results_type, "transfer")) {
      config_.results_type = "File Transfer";
    }
    if (config_.proxy_given && (config_.proxy_host.empty() || config_.proxy_port.empty())) {
      Message("Invalid proxy server or port\n");
    }
    if (config_.proxy_id_given && (config_.proxy_id.empty() || config_.proxy_password.empty())) {
      Message("Invalid proxy id or password\n");
    }
    return invalid_ ? kConfigInvalid : kConfigValid;
  }

 private:
  void Message(const std::string& text) {
    errors_ << text << std::flush;
    invalid_ = true;
  }

  // True when `value` fits a field of `width` of the keyword `name`. A longer value is
  // refused, never cut: the message names the keyword and the file becomes invalid.
  // Reading goes on, so that every refused value is reported.
  [[nodiscard]] bool FitsField(std::string_view name, std::string_view value, size_t width) {
    if (value.size() < width) return true;
    Message(StrFormat("Invalid %.*s value: longer than %zu characters\n",
                      static_cast<int>(name.size()), name.data(), width - 1));
    return false;
  }

  // Stores `value` in `field` when it fits. A refused value leaves the field as it was,
  // which is never used: an invalid file runs no job. Callers whose further steps depend
  // on the value use FitsField.
  void StoreText(std::string_view name, std::string_view value, size_t width, std::string& field) {
    if (FitsField(name, value, width)) field.assign(value);
  }

  void AddToList(std::string_view name, std::string_view value, std::deque<std::string>& list) {
    if (FitsField(name, value, kConfigListEntryWidth)) list.emplace_front(value);
  }

  // "[" scrambled "]" is taken as it stands; any other text is a plain password that is
  // scrambled here, so that the file can be rewritten without it. False: a "[" without
  // "]", which ends reading at once.
  [[nodiscard]] bool StoreScrambled(std::string_view name, std::string_view value, size_t width,
                                    bool login_password, std::string& field) {
    if (!value.empty() && value[0] == '[') {
      size_t close = value.find(']');
      if (close == std::string_view::npos) return false;
      StoreText(name, value.substr(1, close - 1), width, field);
      return true;
    }
    // No value: no password, which the checks at the end report.
    if (value.empty()) {
      field.clear();
      return true;
    }
    if (!FitsField(name, value, kConfigScrambleInputMax + 1)) return true;
    std::string plain(value);
    std::string scrambled =
        login_password ? ScrambleLoginPassword(config_.user, plain) : ScrambleProxyPassword(plain);
    if (FitsField(name, scrambled, width)) {
      field = std::move(scrambled);
      config_.rewrite_needed = true;
    }
    return true;
  }

  [[nodiscard]] bool ApplySetting(const ConfigKeywordSpelling& spelling,
                                  std::string_view raw_value) {
    std::string_view value = TrimTrailingBlanks(raw_value);
    std::string_view name = spelling.name;
    JobEntry& job = entry_;
    switch (spelling.keyword) {
      case ConfigKeyword::kUser:
        StoreText(name, value, kConfigUserWidth, config_.user);
        break;
      case ConfigKeyword::kPassword:
        // The flag follows the value: the last password line wins.
        if (FitsField(name, value, kConfigPasswordWidth)) {
          config_.password.assign(value);
          config_.password_scrambled = false;
        }
        break;
      case ConfigKeyword::kResultsType:
        StoreText(name, value, kConfigResultsTypeWidth, config_.results_type);
        break;
      case ConfigKeyword::kServer:
        StoreText(name, value, kConfigServerHostWidth, config_.server_host);
        break;
      case ConfigKeyword::kServerCa:
        StoreText(name, value, kConfigServerCaFileWidth, config_.server_ca_file);
        break;
      case ConfigKeyword::kPasswordEncrypt:
        config_.password_scrambled = true;
        return StoreScrambled(name, value, kConfigPasswordWidth, true, config_.password);
      case ConfigKeyword::kServerPath:
        StoreText(name, value, kConfigServerPathWidth, job.server_path);
        break;
      case ConfigKeyword::kServerFile:
        StoreText(name, value, kConfigServerFileWidth, job.server_file);
        if (IsServerFilePattern(value) && !IsWellFormedServerFilePattern(value)) {
          Message("Invalid NVXFile name parm\n");
        }
        break;
      case ConfigKeyword::kLogDirectory: {
        std::string folder(value);
        if (!folder.empty() && folder.back() != '/') folder += '/';
        StoreText(name, folder, kConfigLogDirectoryWidth, config_.log_directory);
        break;
      }
      case ConfigKeyword::kLogCount:
        ApplyLogCount(value);
        break;
      case ConfigKeyword::kLogLevel:
        for (const LogLevelName& level : kLogLevelNames) {
          if (StartsWithIgnoreCase(value, level.name)) {
            config_.log_level = level.level;
            break;
          }
        }
        break;
      case ConfigKeyword::kLocalPath:
        StoreText(name, value, kConfigLocalPathWidth, job.local_path);
        job.local_file.clear();
        break;
      case ConfigKeyword::kLocalFile: {
        std::optional<LocalPathParts> parts = SplitLocalPath(value);
        if (!parts) return false;
        StoreText(name, parts->folder, kConfigLocalPathWidth, job.local_path);
        StoreText(name, parts->name, kConfigLocalFileWidth, job.local_file);
        break;
      }
      case ConfigKeyword::kProxy:
        StoreText(name, value, kConfigProxyHostWidth, config_.proxy_host);
        config_.proxy_given = true;
        break;
      case ConfigKeyword::kProxyPort:
        StoreText(name, value, kConfigProxyPortWidth, config_.proxy_port);
        break;
      case ConfigKeyword::kProxyId:
        StoreText(name, value, kConfigProxyIdWidth, config_.proxy_id);
        config_.proxy_id_given = true;
        break;
      case ConfigKeyword::kProxyPassword:
        if (FitsField(name, value, kConfigProxyPasswordWidth)) {
          config_.proxy_password.assign(value);
          config_.proxy_password_scrambled = false;
        }
        break;
      case ConfigKeyword::kProxyPasswordEncrypt:
        config_.proxy_password_scrambled = true;
        return StoreScrambled(name, value, kConfigProxyPasswordWidth, false,
                              config_.proxy_password);
      case ConfigKeyword::kDebug:
        ApplyYesNo(value, job.debug);
        break;
      case ConfigKeyword::kProgress:
        ApplyYesNo(value, job.progress);
        break;
      case ConfigKeyword::kIncludeSubFolders:
        ApplyYesNo(value, job.include_subfolders);
        break;
      case ConfigKeyword::kVerify:
        ApplyYesNo(value, job.verify);
        break;
      case ConfigKeyword::kCompress:
        ApplyYesNo(value, job.compress);
        if (job.compress) job.transfer_compress = false;
        break;
      case ConfigKeyword::kTransferCompress:
        ApplyYesNo(value, job.transfer_compress);
        if (job.transfer_compress) job.compress = false;
        break;
      case ConfigKeyword::kTransfers:
        ApplyTransfers(value);
        break;
      case ConfigKeyword::kForceMd5:
        ApplyYesNo(value, job.force_digest);
        break;
      case ConfigKeyword::kUseNvxDate:
        ApplyYesNo(value, job.use_server_date);
        break;
      case ConfigKeyword::kDuplicateFiles:
        ApplyYesNo(value, job.duplicate_files);
        break;
      case ConfigKeyword::kNotifyUser:
        ApplyYesNo(value, job.notify_user);
        break;
      case ConfigKeyword::kNotifyAdmin:
        ApplyYesNo(value, job.notify_administrator);
        break;
      case ConfigKeyword::kSkipFolder:
        AddToList(name, value, job.folder_list);
        break;
      case ConfigKeyword::kExcludeExtension:
        AddToList(name, value, job.excluded_extensions);
        break;
      case ConfigKeyword::kVerifyPath:
        AddToList(name, RemoveTrailingSeparator(value, '\\'), job.folder_list);
        break;
      case ConfigKeyword::kDesktopNotify:
        if (StartsWithIgnoreCase(value, jobfiles::kDesktopNotifyAlways)) {
          config_.desktop_notify = jobfiles::kNotifyAlways;
        } else if (StartsWithIgnoreCase(value, jobfiles::kDesktopNotifyNever)) {
          config_.desktop_notify = jobfiles::kNotifyNever;
        } else {
          config_.desktop_notify = jobfiles::kNotifyFailures;
        }
        break;
      default:
        break;
    }
    return true;
  }

  // A count outside 1 to kConfigTransfersMax is reported (the file is invalid).
  void ApplyTransfers(std::string_view value) {
    int32_t count = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || count < 1 ||
        count > kConfigTransfersMax) {
      Message(StrFormat("Invalid Transfers value: %.*s\n", static_cast<int>(value.size()),
                        value.data()));
      entry_.transfers = 1;
      return;
    }
    entry_.transfers = count;
  }

  void ApplyLogCount(std::string_view value) {
    int32_t count = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
    if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
      Message(StrFormat("Invalid LogCount value: %.*s\n", static_cast<int>(value.size()),
                        value.data()));
      return;
    }
    entry_.log_count = count;
  }

  // The number after "VerifyRestore": the default when there is none.
  void ApplyRestoreTestFiles(std::string_view value) {
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    value = TrimTrailingBlanks(value);
    int32_t count = jobfiles::kRestoreTestDefaultFiles;
    if (!value.empty()) {
      auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
      if (error != std::errc() || end != value.data() + value.size() || count < 1 ||
          count > jobfiles::kRestoreTestMaxFiles) {
        Message(StrFormat("Invalid VerifyRestore value: %.*s\n", static_cast<int>(value.size()),
                          value.data()));
        return;
      }
    }
    entry_.restore_test_files = count;
  }

  [[nodiscard]] bool ApplyVerb(ConfigKeyword verb, std::string_view value) {
    JobEntry& job = entry_;
    job.upload = job.download = job.move = false;
    job.verify_folders = job.clean = job.delete_empty_folders = false;
    job.verify_restore = false;
    switch (verb) {
      case ConfigKeyword::kSendToNVX:
      case ConfigKeyword::kMoveToNVX:
        job.upload = true;
        job.move = verb == ConfigKeyword::kMoveToNVX;
        if (!TidySendPaths()) return false;
        break;
      case ConfigKeyword::kCopyFromNVX:
      case ConfigKeyword::kMoveFromNVX:
      case ConfigKeyword::kDeleteEmptyNVXFolders:
        job.download = verb != ConfigKeyword::kDeleteEmptyNVXFolders;
        job.move = verb == ConfigKeyword::kMoveFromNVX;
        job.delete_empty_folders = verb == ConfigKeyword::kDeleteEmptyNVXFolders;
        job.local_path = RemoveTrailingSeparator(job.local_path, '/');
        job.server_path = RemoveTrailingSeparator(job.server_path, '\\');
        break;
      case ConfigKeyword::kVerifyNVXFolders:
        job.verify_folders = true;
        break;
      case ConfigKeyword::kCleanNVX: {
        job.clean = true;
        bool root = IsLocalRoot(job.local_path);
        job.local_path = RemoveTrailingSeparator(job.local_path, '/');
        if (root) job.local_file = "*.*";
        job.server_path = RemoveTrailingSeparator(job.server_path, '\\');
        break;
      }
      case ConfigKeyword::kSendLog:
        job.send_log = true;
        job.server_path = RemoveTrailingSeparator(job.server_path, '\\');
        break;
      case ConfigKeyword::kVerifyRestore:
        // The job's paths are those of the backup section it tests.
        if (!TidySendPaths()) return false;
        job.verify_restore = true;
        ApplyRestoreTestFiles(value);
        break;
      default:
        break;
    }
    if (job.debug) job.progress = false;
    EndEntry();
    return true;
  }

  // A local path that is no folder names a file or a pattern: its last part becomes the
  // local file. The root stands for the whole disk and sends every file in it.
  [[nodiscard]] bool TidySendPaths() {
    JobEntry& job = entry_;
    if (!platform::IsDirectory(job.local_path)) {
      std::optional<LocalPathParts> parts = SplitLocalPath(job.local_path);
      if (!parts) return false;
      job.local_path = parts->folder;
      StoreText(jobfiles::NameOf(ConfigKeyword::kLocalPath), parts->name, kConfigLocalFileWidth,
                job.local_file);
    }
    bool root = IsLocalRoot(job.local_path);
    job.local_path = RemoveTrailingSeparator(job.local_path, '/');
    if (root && job.local_file.empty()) job.local_file = "*.*";
    job.server_path = RemoveTrailingSeparator(job.server_path, '\\');
    return true;
  }

  // The ended job joins the list; the next one starts as its copy without the job's own
  // paths, lists, subfolder flag and move flag.
  void EndEntry() {
    JobEntry next = entry_;
    entry_.complete = true;
    config_.jobs.push_back(std::move(entry_));
    next.local_path.clear();
    next.local_file.clear();
    next.server_path.clear();
    next.server_file.clear();
    next.include_subfolders = false;
    next.folder_list.clear();
    next.excluded_extensions.clear();
    next.move = false;
    entry_ = std::move(next);
  }

  JobConfig& config_;
  std::ostream& errors_;
  JobEntry entry_;
  bool invalid_ = false;
};

}  // namespace

JobKind KindOf(const JobEntry& job) {
  if (job.verify_folders) return JobKind::kVerifyFolders;
  if (job.upload) return JobKind::kUpload;
  if (job.download) return JobKind::kDownload;
  if (job.delete_empty_folders) return JobKind::kDeleteEmptyFolders;
  if (job.clean) return JobKind::kClean;
  if (job.verify_restore) return JobKind::kVerifyRestore;
  if (job.send_log) return JobKind::kSendLog;
  return JobKind::kNone;
}

int ParseJobConfiguration(std::string_view content, JobConfig& config, std::ostream& errors) {
  Reader reader(config, errors);
  for (std::string_view line : SplitConfigLines(content)) {
    if (!reader.ApplyLine(line)) return kConfigInvalid;
  }
  return reader.Finish();
}

int ReadJobConfiguration(const std::string& file_name, JobConfig& config, std::ostream& errors) {
  std::string content;
  switch (LoadConfigFile(file_name, &content)) {
    case LoadResult::kCannotOpen:
      return kConfigCannotOpen;
    case LoadResult::kTooLarge:
      errors << StrFormat("Invalid configuration file: larger than %zu bytes\n",
                          kConfigFileMaxBytes)
             << std::flush;
      return kConfigInvalid;
    case LoadResult::kLoaded:
      break;
  }
  int result = ParseJobConfiguration(content, config, errors);
  if (result != kConfigValid) return result;
  if (config.rewrite_needed) return RewriteScrambledPasswords(file_name, config);
  return kConfigValid;
}

std::string DefaultConfigurationPath(std::string_view program_path) {
  size_t slash = program_path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return std::string(program_path.substr(0, slash + 1)) + std::string(jobfiles::kConfigFileName);
}

int ReadDefaultJobConfiguration(JobConfig& config, std::ostream& errors) {
  std::string path = DefaultConfigurationPath(platform::ExecutablePath());
  if (path.empty()) return kConfigCannotOpen;
  return ReadJobConfiguration(path, config, errors);
}

}  // namespace nvx
