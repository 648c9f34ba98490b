#include "tests/e2e/backup_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "codec/md5.h"
#include "tests/support/hex.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

constexpr size_t kPiece = 1 << 16;
// A job's server paths start in the account's "MyFiles" folder; administration names
// folders from the top.
const std::string kClientRoot = "\\MyFiles";

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream text(line);
  for (std::string field; std::getline(text, field, '\t');) fields.push_back(field);
  return fields;
}

}  // namespace

void WriteContent(const std::string& path, int64_t size, Content content, uint32_t seed) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  std::string piece;
  uint64_t state = 0x9E3779B97F4A7C15ull ^ seed;
  int line = 0;
  for (int64_t left = size; left > 0;) {
    piece.clear();
    if (content == Content::kText) {
      while (piece.size() < kPiece) {
        piece += "Line " + std::to_string(++line) + " of the ledger: the same words again.\n";
      }
    } else {
      piece.resize(kPiece);
      for (size_t i = 0; i < kPiece; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        for (size_t b = 0; b < 8; ++b) piece[i + b] = static_cast<char>(state >> (8 * b));
      }
    }
    size_t count = static_cast<size_t>(std::min<int64_t>(left, piece.size()));
    out.write(piece.data(), static_cast<std::streamsize>(count));
    left -= static_cast<int64_t>(count);
  }
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string FileMd5(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  Md5Context context;
  Md5Init(context);
  std::vector<char> piece(kPiece);
  while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
    Md5Update(context, piece.data(), static_cast<size_t>(in.gcount()));
  }
  uint8_t digest[kMd5DigestSize];
  Md5Final(context, digest);
  return ToHex(digest, sizeof digest);
}

std::vector<std::string> FilesBelow(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_directory()) continue;
    files.push_back(std::filesystem::relative(entry.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void SetFileTime(const std::string& path, int64_t seconds) {
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
    throw std::runtime_error("cannot set the time of " + path);
  }
}

std::string SendJob::Lines() const {
  auto yes_no = [](bool on) { return std::string(on ? "Y" : "N"); };
  std::string lines = "LocalPath " + local_path + "\r\nNVXPath " + server_path +
                      "\r\nIncludeSubFolders " + yes_no(subfolders) + "\r\nVerify " +
                      yes_no(verify) + "\r\nCompress " + yes_no(compress) + "\r\n";
  for (const std::string& folder : skip_folders) lines += "SkipFolder " + folder + "\r\n";
  for (const std::string& ending : excluded_extensions) {
    lines += "ExcludeExtension " + ending + "\r\n";
  }
  if (transfers > 1) lines += "Transfers " + std::to_string(transfers) + "\r\n";
  return lines + (move ? "MoveToNVX\r\n" : "SendToNVX\r\n");
}

std::map<std::string, StoredDocument> BackupTest::Documents(const std::string& folder_path,
                                                            const std::string& account) {
  RunResult result = Nvx({"doc", "list", account, kClientRoot + folder_path});
  std::map<std::string, StoredDocument> documents;
  if (result.exit_code != 0) return documents;
  std::istringstream text(result.out);
  for (std::string line; std::getline(text, line);) {
    std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() < 6) {
      ADD_FAILURE() << "doc list line: " << line;
      continue;
    }
    StoredDocument document{fields[0], std::stoll(fields[1]),   fields[2],
                            fields[3], fields[4] == "complete", fields[5]};
    documents[document.name] = document;
  }
  return documents;
}

std::string BackupTest::StoredMd5(const std::string& document_path, const std::string& account) {
  std::string copy = temp_.File("stored-copy");
  std::filesystem::remove(copy);
  RunResult result = Nvx({"doc", "get", account, kClientRoot + document_path, copy});
  std::string md5 = result.exit_code == 0 ? FileMd5(copy) : std::string();
  std::filesystem::remove(copy);
  return md5;
}

size_t BackupTest::LogMark() {
  return PathExists(server_log_) ? static_cast<size_t>(std::filesystem::file_size(server_log_)) : 0;
}

std::vector<std::string> BackupTest::ExpectTreeStoredWhole(const std::string& tree) {
  std::vector<std::string> paths = FilesBelow(tree);
  for (const std::string& path : paths) {
    std::string folder =
        path.find('/') == std::string::npos ? "\\Backup\\Data" : "\\Backup\\Data\\Photos";
    std::string name = path.substr(path.rfind('/') + 1);
    auto documents = Documents(folder);
    if (documents.count(name) != 1) {
      ADD_FAILURE() << path << " is not stored";
      continue;
    }
    EXPECT_TRUE(documents[name].complete) << path;
    EXPECT_EQ(StoredMd5(folder + "\\" + name), FileMd5(tree + "/" + path)) << path;
  }
  return paths;
}

std::vector<std::string> BackupTest::RequestsSince(size_t mark, const std::string& method) {
  std::string text = ReadFileText(server_log_);
  std::istringstream lines(mark < text.size() ? text.substr(mark) : std::string());
  std::vector<std::string> found;
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" " + method + " ") != std::string::npos) found.push_back(line);
  }
  return found;
}

std::string BackupTest::BackupJobFile(const std::string& jobs, const std::string& user,
                                      const std::string& password) {
  return JobFile(user, password, "VerifyPath \\Backup\r\nVerifyNVXFolders\r\n" + jobs);
}

std::vector<std::string> BackupTest::BlobFiles(const std::string& ending) {
  std::vector<std::string> found;
  std::string folder = data_ + "/blobs";
  if (!PathExists(folder)) return found;
  for (const std::string& name : ListFolder(folder)) {
    if (name.size() >= ending.size() &&
        name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
      found.push_back(name);
    }
  }
  return found;
}

}  // namespace nvx::test
