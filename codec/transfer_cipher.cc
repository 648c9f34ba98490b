#include "codec/transfer_cipher.h"

#include <cstring>
#include <optional>

#include "codec/key_table.h"
#include "codec/secure_wipe.h"

namespace nvx {
namespace {

// `value` modulo `count` as a non-negative index, also for negative values.
size_t IndexModulo(int64_t value, int64_t count) {
  int64_t index = value % count;
  return static_cast<size_t>(index < 0 ? index + count : index);
}

// The key schedule of the table key at `key_index` (below kKeyMaterialSize), from this
// thread's two most recent: keying costs about as much as enciphering 8 KiB, and every
// request of one second (its login token, its body) uses the same key.
Blowfish KeyedSchedule(size_t key_index) {
  struct Slot {
    size_t index = 0;
    std::optional<Blowfish> schedule;
  };
  thread_local Slot slots[2];
  for (const Slot& slot : slots) {
    if (slot.schedule && slot.index == key_index) return *slot.schedule;
  }
  slots[1] = slots[0];
  slots[0].index = key_index;
  slots[0].schedule.emplace(TransferKeyAt(key_index).data(), kTransferKeyLength);
  return *slots[0].schedule;
}

}  // namespace

TransferCipher::TransferCipher(size_t key_index)
    : key_index_(key_index % kKeyMaterialSize), blowfish_(KeyedSchedule(key_index_)) {}

size_t TransferCipher::Apply(BlockOperation operation, const void* data, size_t count,
                             void* out) const {
  const auto* in = static_cast<const uint8_t*>(data);
  auto* to = static_cast<uint8_t*>(out);
  size_t whole = count / Blowfish::kBlockSize;
  (blowfish_.*operation)(in, to, whole);
  size_t done = whole * Blowfish::kBlockSize;
  if (done < count) {
    // The trailing part block, padded with zeros.
    uint8_t last[Blowfish::kBlockSize] = {};
    std::memcpy(last, in + done, count - done);
    (blowfish_.*operation)(last, to + done, 1);
    SecureWipe(last, sizeof last);
  }
  return RoundUpToBlock(count);
}

size_t TransferCipher::Encipher(const void* data, size_t count, void* out) const {
  return Apply(&Blowfish::EncryptBlocks, data, count, out);
}

size_t TransferCipher::Decipher(const void* data, void* out, size_t count) const {
  return Apply(&Blowfish::DecryptBlocks, data, count, out);
}

size_t UploadKeyIndex(int64_t seed) {
  return IndexModulo(seed, kUploadKeyIndexCount);
}

size_t DownloadKeyIndex(int64_t value) {
  return IndexModulo(value, kDownloadKeyIndexCount);
}

TransferCipher CipherForUpload(int64_t seed) {
  return TransferCipher(UploadKeyIndex(seed));
}

TransferCipher CipherForDownload(int64_t value) {
  return TransferCipher(DownloadKeyIndex(value));
}

}  // namespace nvx
