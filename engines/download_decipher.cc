// The local file work of a download that needs no connection: deciphering the work file
// in place, and copying a target to the work file before a resume appends to it. Both
// stream through one piece buffer, so memory does not grow with the file, and neither
// opens a file through a link planted at its name.
#include <algorithm>
#include <cerrno>
#include <vector>

#include "codec/transfer_cipher.h"
#include "engines/download_exchange.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace nvx {

int DecipherDownloaded(const DecipherJob& job) {
  if (!job.enciphered) return 0;
  platform::File file =
      platform::File::OpenRegular(job.work_path, platform::File::Access::kReadWrite);
  if (!file.is_open()) return file.error();
  int64_t size = file.Size();
  if (size < 0) return file.error();
  if (size == 0) {
    file.Close();
    // An empty work file that stays is offered as nothing next time: the whole file comes.
    if (job.incomplete) platform::RemoveFile(job.work_path);
    return 0;
  }
  int64_t true_length = job.true_length;
  if (job.incomplete) {
    // A resume must start on a whole block: whatever follows the last one goes.
    const int64_t whole = size - size % kDownloadCipherBlock;
    if (whole != size && !file.Truncate(whole)) return file.error();
    size = whole;
    true_length = whole;
  }

  const int64_t first_block = job.restart ? job.offered_size / kDownloadCipherBlock : 0;
  const TransferCipher cipher = CipherForDownload(job.key_value);
  std::vector<uint8_t> piece(kDownloadPieceSize);
  for (int64_t position = first_block * kDownloadCipherBlock; position < size;) {
    const auto count = static_cast<size_t>(std::min<int64_t>(size - position, kDownloadPieceSize));
    if (!file.Seek(position)) return file.error();
    if (file.ReadFully(piece.data(), count) != static_cast<int64_t>(count)) {
      return file.error() != 0 ? file.error() : EIO;
    }
    // A last piece that is not whole cipher blocks is deciphered as if zero-padded; only
    // its own bytes go back.
    cipher.Decipher(piece.data(), piece.data(), count);
    if (!file.Seek(position) || !file.WriteAll(piece.data(), count)) return file.error();
    position += static_cast<int64_t>(count);
  }
  // The cipher's padding goes; a length that would make the file longer is no length.
  if (true_length >= 0 && true_length < size && !file.Truncate(true_length)) return file.error();
  return 0;
}

int CopyWholeFile(const std::string& from, const std::string& to) {
  platform::File source = platform::File::OpenRegular(from, platform::File::Access::kRead);
  if (!source.is_open()) return source.error();
  platform::File copy = platform::File::OpenRegular(to, platform::File::Access::kCreateTruncate);
  if (!copy.is_open()) return copy.error();
  std::vector<uint8_t> piece(kDownloadPieceSize);
  for (;;) {
    const int64_t got = source.Read(piece.data(), piece.size());
    if (got < 0) return source.error();
    if (got == 0) return 0;
    if (!copy.WriteAll(piece.data(), static_cast<size_t>(got))) return copy.error();
  }
}

}  // namespace nvx
