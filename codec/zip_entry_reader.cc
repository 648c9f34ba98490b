#include "codec/zip_entry_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <vector>

#include "codec/zip_archive.h"
#include "codec/zip_file_io.h"

namespace nvx {
namespace {

constexpr uint32_t kSizeInExtraField = 0xFFFFFFFF;
constexpr uint16_t kZip64ExtraId = 1;
constexpr unsigned kEncipheredFlag = 1;
constexpr unsigned kMethodStored = 0;

uint64_t ReadLittleEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

using Piece = std::array<uint8_t, kZipCopyBufferSize>;

// Reads the next piece of stored bytes, at most `*remaining`. The count read; 0 when the
// archive ends early or a read fails.
size_t ReadStored(platform::File& archive, Piece& piece, uint64_t* remaining) {
  const size_t want = static_cast<size_t>(std::min<uint64_t>(*remaining, piece.size()));
  const int64_t got = archive.ReadFully(piece.data(), want);
  if (got <= 0) return 0;
  *remaining -= static_cast<uint64_t>(got);
  return static_cast<size_t>(got);
}

// Copies stored bytes, never more than `limit`; *written and *crc follow what went to the
// target.
bool CopyStored(platform::File& archive, platform::File& target, uint64_t remaining, uint64_t limit,
                uint64_t* written, uLong* crc) {
  Piece piece;
  while (remaining > 0) {
    const size_t got = ReadStored(archive, piece, &remaining);
    if (got == 0 || got > limit - *written || !target.WriteAll(piece.data(), got)) return false;
    *crc = crc32(*crc, piece.data(), static_cast<uInt>(got));
    *written += got;
  }
  return true;
}

// Inflates the deflated bytes, never more than `limit` of output; *written and *crc follow
// what went to the target.
bool Inflate(platform::File& archive, platform::File& target, uint64_t remaining, uint64_t limit,
             uint64_t* written, uLong* crc) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  Piece in;
  Piece out;
  bool ok = false;
  for (;;) {
    if (stream.avail_in == 0 && remaining > 0) {
      const size_t got = ReadStored(archive, in, &remaining);
      if (got == 0) break;
      stream.next_in = in.data();
      stream.avail_in = static_cast<uInt>(got);
    }
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_NO_FLUSH);
    const size_t produced = out.size() - stream.avail_out;
    if (produced > 0) {
      // Data that unpacks to more than the entry announced is broken; none of its excess
      // reaches the disk.
      if (produced > limit - *written || !target.WriteAll(out.data(), produced)) break;
      *crc = crc32(*crc, out.data(), static_cast<uInt>(produced));
      *written += produced;
    }
    if (result == Z_STREAM_END) {
      ok = true;
      break;
    }
    // No progress possible: the data is broken or ended before the stream did.
    if (result != Z_OK && !(result == Z_BUF_ERROR && (stream.avail_in > 0 || remaining > 0))) {
      break;
    }
  }
  inflateEnd(&stream);
  return ok;
}

}  // namespace

void ApplyZip64Sizes(std::span<const uint8_t> extra, uint64_t* uncompressed, uint64_t* compressed) {
  size_t at = 0;
  while (extra.size() - at >= 4) {
    const auto id = static_cast<uint16_t>(ReadLittleEndian(&extra[at], 2));
    const auto size = static_cast<size_t>(ReadLittleEndian(&extra[at + 2], 2));
    at += 4;
    if (size > extra.size() - at) return;
    if (id == kZip64ExtraId) {
      const std::span<const uint8_t> data = extra.subspan(at, size);
      size_t field = 0;
      for (uint64_t* value : {uncompressed, compressed}) {
        if (*value != kSizeInExtraField) continue;
        if (data.size() - field < 8) return;
        *value = ReadLittleEndian(&data[field], 8);
        field += 8;
      }
      return;
    }
    at += size;
  }
}

bool LocateCurrentEntry(unzFile unzip, ZipEntryLocation* entry) {
  unz_file_info64 info{};
  if (unzGetCurrentFileInfo64(unzip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return false;
  }
  std::vector<uint8_t> extra(info.size_file_extra);
  if (!extra.empty() &&
      unzGetCurrentFileInfo64(unzip, &info, nullptr, 0, extra.data(),
                              static_cast<uLong>(extra.size()), nullptr, 0) != UNZ_OK) {
    return false;
  }
  if ((info.flag & kEncipheredFlag) != 0) return false;
  if (info.compression_method != kMethodStored && info.compression_method != Z_DEFLATED) {
    return false;
  }
  entry->uncompressed_size = info.uncompressed_size;
  entry->compressed_size = info.compressed_size;
  ApplyZip64Sizes(extra, &entry->uncompressed_size, &entry->compressed_size);
  entry->crc = static_cast<uint32_t>(info.crc);
  entry->deflated = info.compression_method == Z_DEFLATED;

  // Opening the entry raw checks its local header and finds where its bytes start.
  int method = 0;
  int level = 0;
  if (unzOpenCurrentFile2(unzip, &method, &level, 1) != UNZ_OK) return false;
  entry->data_offset = unzGetCurrentFileZStreamPos64(unzip);
  unzCloseCurrentFile(unzip);
  return entry->data_offset > 0;
}

bool LocateFirstEntry(const std::string& zip_path, ZipEntryLocation* entry) {
  ZipFileIo io;
  unzFile unzip = unzOpen2_64(zip_path.c_str(), io.functions());
  if (unzip == nullptr) return false;
  const bool located = unzGoToFirstFile(unzip) == UNZ_OK && LocateCurrentEntry(unzip, entry);
  return unzClose(unzip) == UNZ_OK && located;
}

bool ExtractEntry(const std::string& zip_path, const ZipEntryLocation& entry,
                  platform::File& target) {
  platform::File archive = platform::File::Open(zip_path, platform::File::Access::kRead);
  if (!archive.is_open() || !archive.Seek(static_cast<int64_t>(entry.data_offset))) return false;
  uint64_t written = 0;
  uLong crc = crc32(0, nullptr, 0);
  const uint64_t limit = entry.uncompressed_size;
  const bool whole =
      entry.deflated ? Inflate(archive, target, entry.compressed_size, limit, &written, &crc)
                     : CopyStored(archive, target, entry.compressed_size, limit, &written, &crc);
  return whole && written == entry.uncompressed_size && crc == entry.crc;
}

}  // namespace nvx
