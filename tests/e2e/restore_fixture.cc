#include "tests/e2e/restore_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>

#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

// Source files get dates in 2020, a second apart, so that a copy dated by the service is
// told from one dated by the restore.
constexpr int64_t kOldDate = 1590000001;

std::string YesNo(bool on) {
  return on ? "Y" : "N";
}

bool EndsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

}  // namespace

std::string RestoreJob::Lines() const {
  std::string lines = "LocalPath " + local_path + "\r\nNVXPath " + server_path + "\r\n";
  if (!server_file.empty()) lines += "NVXFile " + server_file + "\r\n";
  lines += "IncludeSubFolders " + YesNo(subfolders) + "\r\nUseNvxDate " + YesNo(use_server_date) +
           "\r\nTransferCompress " + YesNo(transfer_compress) + "\r\n";
  if (transfers > 1) lines += "Transfers " + std::to_string(transfers) + "\r\n";
  return lines + (move ? "MoveFromNVX\r\n" : "CopyFromNVX\r\n");
}

std::string CleanJob::Lines() const {
  std::string lines =
      "LocalPath " + local_path + "\r\nNVXPath " + server_path + "\r\nIncludeSubFolders Y\r\n";
  for (const std::string& folder : skip_folders) lines += "SkipFolder " + folder + "\r\n";
  return lines + "CleanNVX\r\n";
}

std::vector<std::string> PathsOf(const std::vector<TreeFile>& files, bool without_empty) {
  std::vector<std::string> paths;
  for (const TreeFile& file : files) {
    if (!without_empty || file.size > 0) paths.push_back(file.path);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

int64_t FileTime(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return -1;
  return static_cast<int64_t>(status.st_mtime);
}

int64_t StampTime(const std::string& stamp) {
  if (stamp.size() != 14 ||
      stamp.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return -1;
  }
  auto field = [&stamp](size_t at, size_t length) {
    return std::stoi(stamp.substr(at, length), nullptr, 16);
  };
  std::tm time{};
  time.tm_year = field(0, 4) - 1900;
  time.tm_mon = field(4, 2) - 1;
  time.tm_mday = field(6, 2);
  time.tm_hour = field(8, 2);
  time.tm_min = field(10, 2);
  time.tm_sec = field(12, 2);
  return static_cast<int64_t>(::timegm(&time));
}

bool HoldsStartOf(const std::string& part, const std::string& whole) {
  std::string start = ReadFileText(part);
  std::string all = ReadFileText(whole);
  return start.size() <= all.size() && all.compare(0, start.size(), start) == 0;
}

int64_t FileSize(const std::string& path) {
  std::error_code error;
  auto size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<int64_t>(size);
}

void RestoreTest::WriteTree(const std::string& root, const std::vector<TreeFile>& files) {
  uint32_t seed = 1;
  for (const TreeFile& file : files) {
    std::string path = root + "/" + file.path;
    WriteContent(path, file.size, file.content, seed);
    SetFileTime(path, kOldDate + seed);
    ++seed;
  }
}

void RestoreTest::BackUp(const std::string& root) {
  SendJob job{root, "\\Backup", true, false, false, true, {}, {}};
  RunResult result = RunJob(BackupJobFile(job.Lines()));
  ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
}

std::unique_ptr<CuttingRelay> RestoreTest::MakeRelay() {
  return std::make_unique<CuttingRelay>(static_cast<uint16_t>(server_->port()), "X-NVX-Fang:");
}

RunResult RestoreTest::RunJobs(const std::string& jobs, const CuttingRelay* relay) {
  return RunJob(JobFile("alice", "wonderland", jobs), relay ? relay->address() : "");
}

std::vector<std::string> RestoreTest::TreeDifferences(const std::string& source,
                                                      const std::string& copy,
                                                      const std::vector<std::string>& paths,
                                                      bool dates) {
  std::vector<std::string> differences;
  for (const std::string& path : paths) {
    std::string from = source + "/" + path;
    std::string to = copy + "/" + path;
    if (!PathExists(to)) {
      differences.push_back("missing: " + path);
    } else if (FileMd5(to) != FileMd5(from)) {
      differences.push_back("other bytes: " + path);
    } else if (dates && FileTime(to) != FileTime(from)) {
      differences.push_back("other date: " + path + " " + std::to_string(FileTime(to)) +
                            " instead of " + std::to_string(FileTime(from)));
    }
  }
  std::set<std::string> wanted(paths.begin(), paths.end());
  if (PathExists(copy)) {
    for (const std::string& path : FilesBelow(copy)) {
      if (wanted.count(path) == 0) differences.push_back("not in the source: " + path);
    }
  }
  return differences;
}

std::vector<std::string> RestoreTest::LeftOvers(const std::string& root) {
  std::vector<std::string> found;
  if (!PathExists(root)) return found;
  for (const std::string& path : FilesBelow(root)) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (EndsWith(path, "~") || EndsWith(lower, ".zip")) found.push_back(path);
  }
  return found;
}

std::vector<std::string> RestoreTest::RequestsWith(CuttingRelay& relay, const std::string& text) {
  std::vector<std::string> found;
  for (const std::string& header : relay.RequestHeaders()) {
    std::string line = header.substr(0, header.find("\r\n"));
    if (line.find(text) != std::string::npos) found.push_back(header);
  }
  return found;
}

}  // namespace nvx::test
