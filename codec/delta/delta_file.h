// The delta writer: compares the service's signature of its copy with the local file's
// and writes a delta file that holds the local file's header and only the blocks that
// differ. Layout:
//   header   "server size,local size,block size,local full blocks,local partial,MD5"
//   records  ",index," followed by the raw bytes of that block of the local file: a
//            whole block for an index below the full-block count, the partial size
//            (possibly 0, which marks where the file ends) for the index equal to it
//   end      "$"
// Pure code: no shared state, any thread.
#ifndef NVX_CODEC_DELTA_DELTA_FILE_H_
#define NVX_CODEC_DELTA_DELTA_FILE_H_

#include <string>
#include <string_view>

namespace nvx {

// The message MakeDelta gives when the two copies have the same digest.
inline constexpr std::string_view kFilesAreTheSame = "Files are the same";
// The fixed names, in the process's current folder, of the upload's delta work files.
inline constexpr const char* kSignatureWorkFile = "temp.crc~";
inline constexpr const char* kSignatureFile = "temp.crc";
inline constexpr const char* kDeltaFile = "diff.crc";

// Writes the delta of the local file at `local_path` against the server copy described
// by `server_signature` into `output_path` (replaced when present). Returns true with
// `*message` "Files are the same" (nothing written) when the digests are equal, true
// with an empty message when the delta was written, false with the reason in `*message`
// (an "Invalid CRC File" text for a bad signature, or a file error). A failed write
// removes the partial output. The local file is read in pieces, with 64-bit offsets.
[[nodiscard]] bool MakeDelta(std::string_view server_signature, const std::string& local_path,
                             const std::string& output_path, std::string* message);

}  // namespace nvx

#endif  // NVX_CODEC_DELTA_DELTA_FILE_H_
