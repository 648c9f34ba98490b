// The values of the fields that the service answers with and the library reads: the
// space figures (X-NVX-LARCH), the option flags (X-NVX-CRUNCHYFROG), the is-it-there and
// file information answers (X-NVX-LUPIN) and a download's transfer fields (X-NVX-Fang).
// For each form the writer (the service's side) and the reader (the library's side) sit
// together; values only, without the header's name and line end. Readers take the text
// of one header line and never read past it. Pure functions; any thread.
#ifndef NVX_WIRE_REPLY_FIELDS_H_
#define NVX_WIRE_REPLY_FIELDS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nvx {

// A decimal number at the start of `text` (an optional "-", then digits), consumed from
// `text`; none when there are no digits or the number does not fit 64 bits.
std::optional<int64_t> ConsumeDecimal(std::string_view& text);

// X-NVX-LARCH "quota,used" in bytes. The quota is read even without a comma.
struct SpaceFigures {
  int64_t quota = 0;
  std::optional<int64_t> used;
};
std::string SpaceFiguresText(int64_t quota, int64_t used);
SpaceFigures ParseSpaceFiguresValue(std::string_view value);

// X-NVX-CRUNCHYFROG "a,b,c": "1" at value positions 0, 2 and 4 sets option bits 1, 2 and
// 4; any other character (or none) leaves the bit clear. The service sets only the first.
inline constexpr int32_t kOptionEncipher = 1;  // bodies travel enciphered
std::string OptionsText(bool encipher);
int32_t ParseOptionsValue(std::string_view value);

// X-NVX-LUPIN in the answer to the is-it-there test: "digest,size,vid;" of the stored
// bytes, or "x,vid;" of a document the client's file replaces. With a conclusion that
// begins "Replace" only the version id counts (between the first comma and the following
// ";"); otherwise digest, size and version id. `usable` is false when a separator is
// missing.
std::string StoredBytesText(std::string_view digest_base64, int64_t size, int64_t vid);
std::string ReplacementText(int64_t vid);
struct IsItThereLupin {
  bool usable = false;
  std::string digest_base64;
  int64_t size = 0;
  std::string version_id;  // at most kWireVersionIdMax characters
};
IsItThereLupin ParseIsItThereLupinValue(std::string_view value, bool replace_answer);

// X-NVX-LUPIN in the answer to the file information query: "digest,size,[vid,]stamp;name".
// `usable` is false when the first or second comma, the ";" or a non-empty name is
// missing.
std::string FileInfoText(std::string_view digest_base64, int64_t size, int64_t vid,
                         std::string_view date_stamp, std::string_view name);
struct FileInfoLupin {
  bool usable = false;
  std::string digest_base64;
  int64_t size = 0;
  std::optional<std::string> version_id;  // at most kWireVersionIdMax characters
  std::string date_stamp;                 // at most kWireDateStampTextMax characters
  std::string name;
};
FileInfoLupin ParseFileInfoLupinValue(std::string_view value);

// X-NVX-Fang (this letter case) in the answer to a download: the length of the file the
// client ends up with, the key number, and "1" when the body is a compressed archive.
// `complete` is false when a field is missing; the fields read so far are kept.
std::string DownloadFangText(int64_t length, int key_number, bool compressed);
struct DownloadFang {
  bool complete = false;
  int64_t length = 0;
  int64_t key_number = 0;  // as sent; the reader checks it against its key table
  bool compressed = false;
};
DownloadFang ParseDownloadFangValue(std::string_view value);

// X-NVX-RESTART in the answer to a download: the rest of the client's copy follows. Its
// presence counts, not its value.
inline constexpr std::string_view kRestartAnswer = "1";

}  // namespace nvx

#endif  // NVX_WIRE_REPLY_FIELDS_H_
