#include "codec/delta/delta_file.h"

#include <cinttypes>

#include "codec/delta/block_signature.h"
#include "codec/delta/delta_output.h"
#include "platform/file.h"
#include "platform/text_format.h"

namespace nvx {
namespace {

// Writes the records: every block both copies hold whole whose checksums differ, the
// local blocks past the server's, and the tail (the local partial block, or an empty
// record where the local file now ends on a block boundary).
bool WriteRecords(const BlockSignature& server, const BlockSignature& local, platform::File& source,
                  DeltaOutput& output) {
  auto record = [&](int64_t index, int64_t length) {
    return output.Write(StrFormat(",%" PRId64 ",", index)) &&
           output.CopyFrom(source, index * local.block_size, length);
  };
  int64_t local_full = local.full_blocks;
  int64_t server_full = server.full_blocks;
  int64_t compared = std::min(local_full, server_full);
  for (int64_t index = 0; index < compared; ++index) {
    if (server.ChecksumAt(index) != local.ChecksumAt(index) && !record(index, local.block_size)) {
      return false;
    }
  }
  if (local_full > server_full) {
    for (int64_t index = server_full; index < local_full; ++index) {
      if (!record(index, local.block_size)) return false;
    }
    if (local.partial_size > 0 && !record(local_full, local.partial_size)) return false;
  } else if (local_full == server_full) {
    bool same_tail = local.partial_size > 0 && local.partial_size == server.partial_size &&
                     server.ChecksumAt(local_full) == local.ChecksumAt(local_full);
    if (!same_tail && !record(local_full, local.partial_size)) return false;
  } else if (local.partial_size > 0 && !record(local_full, local.partial_size)) {
    return false;
  }
  return output.Write("$");
}

}  // namespace

bool MakeDelta(std::string_view server_signature, const std::string& local_path,
               const std::string& output_path, std::string* message) {
  message->clear();
  BlockSignature server;
  std::string error = ReadSignature(server_signature, &server);
  if (!error.empty()) {
    *message = error;
    return false;
  }
  std::string local_text;
  if (!MakeSignature(local_path, server.block_size, &local_text, message)) return false;
  BlockSignature local;
  error = ReadSignature(local_text, &local);
  if (!error.empty()) {
    *message = error;
    return false;
  }
  if (server.digest == local.digest) {
    *message = kFilesAreTheSame;
    return true;
  }

  DeltaOutput output;
  if (!output.Create(output_path)) {
    *message = StrFormat("Create Output File failed %d", output.error());
    return false;
  }
  std::string header =
      StrFormat("%" PRId64 ",%" PRId64 ",%" PRId64 ",%" PRId64 ",%" PRId64 ",", server.size,
                local.size, local.block_size, local.full_blocks, local.partial_size);
  header.append(local.digest);
  if (!output.Write(header)) {
    *message = StrFormat("Write Output File failed %d", output.error());
    return false;
  }
  platform::File source = platform::File::Open(local_path, platform::File::Access::kSharedRead);
  if (!source.is_open()) {
    *message = StrFormat("Unable to open file %s %d\n", local_path.c_str(), source.error());
    return false;
  }
  // The records are cut from the file as it was signed; a file that changed size since
  // cannot give them.
  if (source.Size() != local.size) {
    *message = StrFormat("WriteFile Failed file %s %d\n", local_path.c_str(), 0);
    return false;
  }
  if (!WriteRecords(server, local, source, output) || !output.Finish()) {
    *message = StrFormat("WriteFile Failed file %s %d\n", local_path.c_str(), output.error());
    return false;
  }
  return true;
}

}  // namespace nvx
