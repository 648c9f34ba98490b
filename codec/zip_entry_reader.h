// Reading the first entry of a ZIP archive with its true 64-bit sizes. The archive
// library locates the entry; its bytes are then streamed out of the archive here, through
// zlib, with the CRC checked against the whole entry. The sizes of ZIP64 entries are
// taken from the entry's ZIP64 extra field here too, so that an entry of 4 GiB or more
// is read whole. Any thread; no shared state.
#ifndef NVX_CODEC_ZIP_ENTRY_READER_H_
#define NVX_CODEC_ZIP_ENTRY_READER_H_

#include <minizip/unzip.h>

#include <cstdint>
#include <span>
#include <string>

#include "platform/file.h"

namespace nvx {

struct ZipEntryLocation {
  uint64_t data_offset = 0;  // where the entry's stored bytes start in the archive
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  uint32_t crc = 0;
  bool deflated = false;  // else stored
};

// Locates the current entry of `unzip`. False for an entry that cannot be read here
// (enciphered, a method other than stored or deflated, a broken header).
[[nodiscard]] bool LocateCurrentEntry(unzFile unzip, ZipEntryLocation* entry);

// Locates the first entry of the archive at `zip_path`, as LocateCurrentEntry does. False
// when the file is no archive or its first entry cannot be read here.
[[nodiscard]] bool LocateFirstEntry(const std::string& zip_path, ZipEntryLocation* entry);

// Applies a ZIP64 extra field (id 1) to sizes that the 32-bit fields mark as 0xFFFFFFFF.
// `extra` is the whole extra-field text of a central directory record; it is never read
// past its end.
void ApplyZip64Sizes(std::span<const uint8_t> extra, uint64_t* uncompressed, uint64_t* compressed);

// Streams the entry out of the archive at `zip_path` into `target`. True when every byte
// was written, the data held exactly the sizes announced and the CRC matched. Never
// writes more than the entry's announced uncompressed size: data that unpacks to more
// fails at the first piece beyond it, so what the target receives is bounded before a
// byte is unpacked.
[[nodiscard]] bool ExtractEntry(const std::string& zip_path, const ZipEntryLocation& entry,
                                platform::File& target);

}  // namespace nvx

#endif  // NVX_CODEC_ZIP_ENTRY_READER_H_
