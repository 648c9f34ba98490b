#include "fuzz/delta_feeds.h"

#include <stdlib.h>

#include <cstdio>

#include "codec/delta/block_signature.h"
#include "codec/delta/delta_apply.h"
#include "codec/delta/delta_file.h"
#include "codec/md5.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace nvx::fuzz {
namespace {

// The feeds' own temporary folder, removed with what it holds when the process ends.
struct FeedFolder {
  FeedFolder() {
    const char* tmp = getenv("TMPDIR");
    path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/nvx-delta-feeds-XXXXXX";
    if (mkdtemp(path.data()) == nullptr) abort();
  }
  ~FeedFolder() {
    for (const char* name : {"base", "input", "output"}) platform::RemoveFile(path + "/" + name);
    platform::RemoveDirectory(path);
  }
  std::string path;
};

const std::string& Folder() {
  static const FeedFolder folder;
  return folder.path;
}

std::string PathOf(const char* name) {
  return Folder() + "/" + name;
}

void WriteWhole(const std::string& path, std::string_view bytes) {
  platform::File file = platform::File::Open(path, platform::File::Access::kCreateTruncate);
  if (!file.is_open() || !file.Write(bytes)) abort();
}

std::string ReadWhole(const std::string& path) {
  platform::File file = platform::File::Open(path, platform::File::Access::kRead);
  std::string text(static_cast<size_t>(file.Size()), '\0');
  if (file.ReadFully(text.data(), text.size()) != static_cast<int64_t>(text.size())) abort();
  return text;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "delta feed invariant broken: %s\n", what);
    abort();
  }
}

}  // namespace

const std::string& DeltaFeedBase() {
  static const std::string base = [] {
    std::string text(5000, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>((i * 131) ^ (i >> 5));
    return text;
  }();
  return base;
}

const std::string& DeltaFeedBasePath() {
  static const std::string path = [] {
    std::string base_path = PathOf("base");
    WriteWhole(base_path, DeltaFeedBase());
    return base_path;
  }();
  return path;
}

void FeedSignature(std::string_view bytes) {
  BlockSignature signature;
  if (ReadSignature(bytes, &signature).empty()) {
    Check(signature.full_blocks * signature.block_size + signature.partial_size == signature.size,
          "signature layout disagrees with its size");
    size_t total = 0;
    for (int64_t index = 0; index < signature.block_count; ++index) {
      total += signature.ChecksumAt(index).size();
    }
    Check(total == signature.checksums.size(), "checksums miscounted");
  }
  std::string message;
  const std::string output = PathOf("output");
  if (MakeDelta(bytes, DeltaFeedBasePath(), output, &message) && message.empty()) {
    std::string delta = ReadWhole(output);
    DeltaHeader header;
    size_t length = 0;
    Check(ReadDeltaHeader(delta, &header, &length).empty(), "written delta header unreadable");
    Check(header.new_size == static_cast<int64_t>(DeltaFeedBase().size()), "wrong new size");
    Check(!delta.empty() && delta.back() == '$', "written delta without end marker");
  } else {
    Check(!platform::PathExists(output), "no delta, but an output file");
  }
  platform::RemoveFile(output);
}

void FeedDelta(std::string_view bytes) {
  const std::string input = PathOf("input");
  const std::string output = PathOf("output");
  WriteWhole(input, bytes);
  const std::string reason = ApplyDelta(DeltaFeedBasePath(), input, output);
  if (reason.empty()) {
    DeltaHeader header;
    size_t length = 0;
    Check(ReadDeltaHeader(bytes, &header, &length).empty(), "applied a delta without a header");
    std::string rebuilt = ReadWhole(output);
    Check(static_cast<int64_t>(rebuilt.size()) == header.new_size, "rebuilt size differs");
    Check(DigestText(Md5Of(rebuilt)) == header.digest, "rebuilt digest differs");
  } else {
    Check(!platform::PathExists(output), "refused delta left output");
  }
  platform::RemoveFile(output);
}

void FeedDeltaAny(const uint8_t* data, size_t size) {
  if (size == 0) return;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    FeedDelta(bytes);
  } else {
    FeedSignature(bytes);
  }
}

}  // namespace nvx::fuzz
