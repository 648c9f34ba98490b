#include "runner/config_reader.h"

#include <charconv>

#include "platform/file_system.h"
#include "platform/text_format.h"
#include "runner/config_lines.h"
#include "runner/config_paths.h"
#include "runner/password_scrambling.h"
#include "runner/runner_limits.h"

namespace nvx {
namespace {

enum class Keyword {
  // Verbs: each ends the job being built.
  kSendToNVX,
  kMoveToNVX,
  kCopyFromNVX,
  kMoveFromNVX,
  kDeleteEmptyNVXFolders,
  kVerifyNVXFolders,
  kCleanNVX,
  kSendLog,
  // Settings.
  kUser,
  kPassword,
  kResultsType,
  kServer,
  kPasswordEncrypt,
  kServerPath,
  kServerFile,
  kLogDirectory,
  kLogCount,
  kLogLevel,
  kLocalPath,
  kLocalFile,
  kProxy,
  kProxyPort,
  kProxyId,
  kProxyPassword,
  kProxyPasswordEncrypt,
  kDebug,
  kProgress,
  kIncludeSubFolders,
  kVerify,
  kCompress,
  kTransferCompress,
  kForceMd5,
  kUseNvxDate,
  kDuplicateFiles,
  kNotifyUser,
  kNotifyAdmin,
  kSkipFolder,
  kExcludeExtension,
  kVerifyPath,
};

struct KeywordSpelling {
  std::string_view text;
  Keyword keyword;
};

// Tried in this order; the first that begins the line wins. Verbs have no trailing blank,
// so a line that begins with a verb's letters is that verb whatever follows.
constexpr KeywordSpelling kKeywords[] = {
    {"SendToNVX", Keyword::kSendToNVX},
    {"MoveToNVX", Keyword::kMoveToNVX},
    {"CopyFromNVX", Keyword::kCopyFromNVX},
    {"MoveFromNVX", Keyword::kMoveFromNVX},
    {"DeleteEmptyNVXFolders", Keyword::kDeleteEmptyNVXFolders},
    {"VerifyNVXFolders", Keyword::kVerifyNVXFolders},
    {"CleanNVX", Keyword::kCleanNVX},
    {"SendLog", Keyword::kSendLog},
    {"NVXUser ", Keyword::kUser},
    {"NVXPw ", Keyword::kPassword},
    {"ResultsType ", Keyword::kResultsType},
    {"NVXServer ", Keyword::kServer},
    {"NVXPwEncrypt ", Keyword::kPasswordEncrypt},
    {"NVXPath ", Keyword::kServerPath},
    {"NVXFile ", Keyword::kServerFile},
    {"LogDirectory ", Keyword::kLogDirectory},
    {"LogCount ", Keyword::kLogCount},
    {"LogLevel ", Keyword::kLogLevel},
    {"LocalPath ", Keyword::kLocalPath},
    {"LocalFile ", Keyword::kLocalFile},
    {"Proxy ", Keyword::kProxy},
    {"ProxyPort ", Keyword::kProxyPort},
    {"ProxyId ", Keyword::kProxyId},
    {"ProxyPassword ", Keyword::kProxyPassword},
    {"ProxyPasswordEncrypt ", Keyword::kProxyPasswordEncrypt},
    {"Debug ", Keyword::kDebug},
    {"Progress ", Keyword::kProgress},
    {"IncludeSubFolders ", Keyword::kIncludeSubFolders},
    {"Verify ", Keyword::kVerify},
    {"Compress ", Keyword::kCompress},
    {"TransferCompress ", Keyword::kTransferCompress},
    {"ForceMd5 ", Keyword::kForceMd5},
    {"UseNvxDate ", Keyword::kUseNvxDate},
    {"DuplicateFiles ", Keyword::kDuplicateFiles},
    {"NotifyUser ", Keyword::kNotifyUser},
    {"NotifyAdmin ", Keyword::kNotifyAdmin},
    {"SkipFolder ", Keyword::kSkipFolder},
    {"ExcludeExtension ", Keyword::kExcludeExtension},
    {"VerifyPath ", Keyword::kVerifyPath},
};

struct LogLevelName {
  std::string_view name;
  int32_t level;
};

constexpr LogLevelName kLogLevelNames[] = {
    {"ErrorOnly", 2}, {"ACTIVITY", 1}, {"SCRIPT", 4}, {"DEBUG1", 8}};

bool IsVerb(Keyword keyword) {
  return keyword <= Keyword::kSendLog;
}

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
  bool ApplyLine(std::string_view line) {
    line = MatchedPart(line);
    // Carried over only when a further line is read.
    if (entry_.notify_user) config_.notify_user = true;
    if (entry_.notify_administrator) config_.notify_administrator = true;
    for (const KeywordSpelling& spelling : kKeywords) {
      if (!StartsWithIgnoreCase(line, spelling.text)) continue;
      if (IsVerb(spelling.keyword)) return ApplyVerb(spelling.keyword);
      return ApplySetting(spelling, line.substr(spelling.text.size()));
    }
    return true;
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

  // Stores a text in a field of `width`, or refuses it when it does not fit.
  bool StoreText(std::string_view spelling, std::string_view value, size_t width,
                 std::string& field) {
    if (value.size() >= width) {
      Message(StrFormat("Invalid %.*s value: longer than %zu characters\n",
                        static_cast<int>(TrimTrailingBlanks(spelling).size()), spelling.data(),
                        width - 1));
      return false;
    }
    field.assign(value);
    return true;
  }

  void AddToList(std::string_view spelling, std::string_view value, std::deque<std::string>& list) {
    std::string entry;
    if (StoreText(spelling, value, kConfigListEntryWidth, entry)) list.push_front(entry);
  }

  // "[" scrambled "]" is taken as it stands; any other text is a plain password that is
  // scrambled here, so that the file can be rewritten without it. False: a "[" without
  // "]", which ends reading at once.
  bool StoreScrambled(std::string_view spelling, std::string_view value, size_t width,
                      bool login_password, std::string& field) {
    if (!value.empty() && value[0] == '[') {
      size_t close = value.find(']');
      if (close == std::string_view::npos) return false;
      StoreText(spelling, value.substr(1, close - 1), width, field);
      return true;
    }
    // No value: no password, which the checks at the end report.
    if (value.empty()) {
      field.clear();
      return true;
    }
    std::string plain;
    if (!StoreText(spelling, value, kConfigScrambleInputMax + 1, plain)) return true;
    std::string scrambled =
        login_password ? ScrambleLoginPassword(config_.user, plain) : ScrambleProxyPassword(plain);
    if (StoreText(spelling, scrambled, width, field)) config_.rewrite_needed = true;
    return true;
  }

  bool ApplySetting(const KeywordSpelling& spelling, std::string_view raw_value) {
    std::string_view value = TrimTrailingBlanks(raw_value);
    std::string_view name = spelling.text;
    JobEntry& job = entry_;
    switch (spelling.keyword) {
      case Keyword::kUser:
        StoreText(name, value, kConfigUserWidth, config_.user);
        break;
      case Keyword::kPassword:
        // The flag follows the value: the last password line wins.
        if (StoreText(name, value, kConfigPasswordWidth, config_.password)) {
          config_.password_scrambled = false;
        }
        break;
      case Keyword::kResultsType:
        StoreText(name, value, kConfigResultsTypeWidth, config_.results_type);
        break;
      case Keyword::kServer:
        StoreText(name, value, kConfigServerHostWidth, config_.server_host);
        break;
      case Keyword::kPasswordEncrypt:
        config_.password_scrambled = true;
        return StoreScrambled(name, value, kConfigPasswordWidth, true, config_.password);
      case Keyword::kServerPath:
        StoreText(name, value, kConfigServerPathWidth, job.server_path);
        break;
      case Keyword::kServerFile:
        StoreText(name, value, kConfigServerFileWidth, job.server_file);
        if (IsServerFilePattern(value) && !IsWellFormedServerFilePattern(value)) {
          Message("Invalid NVXFile name parm\n");
        }
        break;
      case Keyword::kLogDirectory: {
        std::string folder(value);
        if (!folder.empty() && folder.back() != '/') folder += '/';
        StoreText(name, folder, kConfigLogDirectoryWidth, config_.log_directory);
        break;
      }
      case Keyword::kLogCount:
        ApplyLogCount(value);
        break;
      case Keyword::kLogLevel:
        for (const LogLevelName& level : kLogLevelNames) {
          if (StartsWithIgnoreCase(value, level.name)) {
            config_.log_level = level.level;
            break;
          }
        }
        break;
      case Keyword::kLocalPath:
        StoreText(name, value, kConfigLocalPathWidth, job.local_path);
        job.local_file.clear();
        break;
      case Keyword::kLocalFile: {
        std::optional<LocalPathParts> parts = SplitLocalPath(value);
        if (!parts) return false;
        StoreText(name, parts->folder, kConfigLocalPathWidth, job.local_path);
        StoreText(name, parts->name, kConfigLocalFileWidth, job.local_file);
        break;
      }
      case Keyword::kProxy:
        StoreText(name, value, kConfigProxyHostWidth, config_.proxy_host);
        config_.proxy_given = true;
        break;
      case Keyword::kProxyPort:
        StoreText(name, value, kConfigProxyPortWidth, config_.proxy_port);
        break;
      case Keyword::kProxyId:
        StoreText(name, value, kConfigProxyIdWidth, config_.proxy_id);
        config_.proxy_id_given = true;
        break;
      case Keyword::kProxyPassword:
        if (StoreText(name, value, kConfigProxyPasswordWidth, config_.proxy_password)) {
          config_.proxy_password_scrambled = false;
        }
        break;
      case Keyword::kProxyPasswordEncrypt:
        config_.proxy_password_scrambled = true;
        return StoreScrambled(name, value, kConfigProxyPasswordWidth, false,
                              config_.proxy_password);
      case Keyword::kDebug:
        ApplyYesNo(value, job.debug);
        break;
      case Keyword::kProgress:
        ApplyYesNo(value, job.progress);
        break;
      case Keyword::kIncludeSubFolders:
        ApplyYesNo(value, job.include_subfolders);
        break;
      case Keyword::kVerify:
        ApplyYesNo(value, job.verify);
        break;
      case Keyword::kCompress:
        ApplyYesNo(value, job.compress);
        if (job.compress) job.transfer_compress = false;
        break;
      case Keyword::kTransferCompress:
        ApplyYesNo(value, job.transfer_compress);
        if (job.transfer_compress) job.compress = false;
        break;
      case Keyword::kForceMd5:
        ApplyYesNo(value, job.force_digest);
        break;
      case Keyword::kUseNvxDate:
        ApplyYesNo(value, job.use_server_date);
        break;
      case Keyword::kDuplicateFiles:
        ApplyYesNo(value, job.duplicate_files);
        break;
      case Keyword::kNotifyUser:
        ApplyYesNo(value, job.notify_user);
        break;
      case Keyword::kNotifyAdmin:
        ApplyYesNo(value, job.notify_administrator);
        break;
      case Keyword::kSkipFolder:
        AddToList(name, value, job.folder_list);
        break;
      case Keyword::kExcludeExtension:
        AddToList(name, value, job.excluded_extensions);
        break;
      case Keyword::kVerifyPath:
        AddToList(name, RemoveTrailingSeparator(value, '\\'), job.folder_list);
        break;
      default:
        break;
    }
    return true;
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

  bool ApplyVerb(Keyword verb) {
    JobEntry& job = entry_;
    job.upload = job.download = job.move = false;
    job.verify_folders = job.clean = job.delete_empty_folders = false;
    switch (verb) {
      case Keyword::kSendToNVX:
      case Keyword::kMoveToNVX:
        job.upload = true;
        job.move = verb == Keyword::kMoveToNVX;
        if (!TidySendPaths()) return false;
        break;
      case Keyword::kCopyFromNVX:
      case Keyword::kMoveFromNVX:
      case Keyword::kDeleteEmptyNVXFolders:
        job.download = verb != Keyword::kDeleteEmptyNVXFolders;
        job.move = verb == Keyword::kMoveFromNVX;
        job.delete_empty_folders = verb == Keyword::kDeleteEmptyNVXFolders;
        job.local_path = RemoveTrailingSeparator(job.local_path, '/');
        job.server_path = RemoveTrailingSeparator(job.server_path, '\\');
        break;
      case Keyword::kVerifyNVXFolders:
        job.verify_folders = true;
        break;
      case Keyword::kCleanNVX: {
        job.clean = true;
        bool root = IsLocalRoot(job.local_path);
        job.local_path = RemoveTrailingSeparator(job.local_path, '/');
        if (root) job.local_file = "*.*";
        job.server_path = RemoveTrailingSeparator(job.server_path, '\\');
        break;
      }
      case Keyword::kSendLog:
        job.send_log = true;
        job.server_path = RemoveTrailingSeparator(job.server_path, '\\');
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
  bool TidySendPaths() {
    JobEntry& job = entry_;
    if (!platform::IsDirectory(job.local_path)) {
      std::optional<LocalPathParts> parts = SplitLocalPath(job.local_path);
      if (!parts) return false;
      job.local_path = parts->folder;
      StoreText("LocalPath ", parts->name, kConfigLocalFileWidth, job.local_file);
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
  return std::string(program_path.substr(0, slash + 1)) + "config.txt";
}

int ReadDefaultJobConfiguration(JobConfig& config, std::ostream& errors) {
  std::string path = DefaultConfigurationPath(platform::ExecutablePath());
  if (path.empty()) return kConfigCannotOpen;
  return ReadJobConfiguration(path, config, errors);
}

}  // namespace nvx
