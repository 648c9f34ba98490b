#include "engines/compression.h"

#include <array>
#include <cctype>

#include "codec/hidden_work_file.h"
#include "codec/zip_archive.h"
#include "engines/file_digest.h"
#include "platform/file_system.h"
#include "platform/text_format.h"

namespace nvx {
namespace {

// Types that are already compressed: packing them again gains nothing.
constexpr std::array<std::string_view, 20> kNoCompressionTypes = {
    "arc", "bz2", "dss", "gif",  "gz",  "gzip", "jpeg", "jpg", "mov", "mp1",
    "mp2", "mp3", "mp4", "mpeg", "mpg", "png",  "rar",  "sit", "wma", "zip",
};

constexpr std::string_view kTravelSuffix = ".zip";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Packing failed: the file travels as it is, counted and noted as such.
bool SendUncompressed(EngineContext& context, UploadFileState& file) {
  context.progress().Count(FileCount::kUploadedUncompressed);
  context.report().SetStatusMessage(StrFormat(" File %s Compress Failed", file.name.c_str()));
  context.progress().SetFileName("");
  // The note reads the size of the file in hand from the progress record.
  context.progress().BeginFile(file.local_size, 0);
  context.report().AddFileNote(file.full_path, kNoteUploadedUncompressed, true, 0);
  return true;
}

}  // namespace

bool IsCompressedType(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view type = name.substr(dot + 1);
  for (std::string_view known : kNoCompressionTypes) {
    if (EqualsIgnoringCase(type, known)) return true;
  }
  return false;
}

bool CompressForUpload(EngineContext& context, UploadFileState& file) {
  file.work_file_in_use = false;
  file.uncompressed_size = 0;
  file.work_path.clear();
  if (IsCompressedType(file.name)) return true;

  Reporter& report = context.report();
  const std::string& work_directory = context.job().work_directory;
  const std::string& folder = work_directory.empty() ? file.local_folder : work_directory;
  std::string work_path;
  int error = 0;
  // The work file's own handle holds its lock while it is in use; it is what travels.
  platform::File packed_file =
      CreateHiddenWorkFile(folder, file.full_path, kZipWorkSuffix, &work_path, &error);
  const bool packed = packed_file.is_open() && ZipOneFile(file.full_path, work_path, &error);
  if (!packed) {
    report.LogLine(kLineError, " Compress File for upload failed %d %s\n", error,
                   work_path.empty() ? file.full_path.c_str() : work_path.c_str());
    // A hidden work file that cannot be removed is swept as stale by a later walk.
    if (!work_path.empty()) platform::RemoveFile(work_path);
    return SendUncompressed(context, file);
  }
  const int check = VerifyZip(work_path);
  if (check != kZipOk) {
    report.LogLine(kLineError, " Compress File for upload verify zip failed %d %s\n", check,
                   work_path.c_str());
    platform::RemoveFile(work_path);  // swept later when it stays, as above
    return SendUncompressed(context, file);
  }

  file.file.Close();
  file.uncompressed_size = file.local_size;
  file.local_size = packed_file.Size();
  if (file.local_size <= 0) {
    platform::RemoveFile(work_path);  // swept later when it stays, as above
    packed_file.Close();
    report.SetStatusMessage(StrFormat(" CompressedFile %s has no length", file.name.c_str()));
    context.progress().SetFileName("");
    report.LogLine(kLineError, " Compressed UploadFile File Zero Length  %s\n", work_path.c_str());
    return false;
  }
  file.file = std::move(packed_file);
  file.name += kTravelSuffix;
  file.work_file_in_use = true;
  file.work_path = std::move(work_path);
  file.local_digest.reset();
  if (report.Logs(kLogDebug)) {
    Md5Digest digest{};
    if (DigestFileInHand(context, file.shown_name, file.file, &digest)) file.local_digest = digest;
  }
  return true;
}

void DeleteWorkFile(EngineContext& context, UploadFileState& file) {
  if (!file.work_file_in_use) return;
  // The name goes while the handle still holds the lock, so that no other run takes
  // the file for a stale one and removes it first; then the handle goes. A name that
  // stays is swept as stale by a later walk.
  platform::RemoveFile(file.work_path);
  file.file.Close();
  context.report().LogLine(kLineTrace, " Delete Compress work file %s\n", file.work_path.c_str());
  file.work_file_in_use = false;
  file.work_path.clear();
  const size_t kept = file.name.size() - kTravelSuffix.size();
  if (file.name.size() >= kTravelSuffix.size() &&
      EqualsIgnoringCase(std::string_view(file.name).substr(kept), kTravelSuffix)) {
    file.name.resize(kept);
  }
}

}  // namespace nvx
