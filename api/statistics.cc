#include "api/statistics.h"

#include "platform/mutex.h"
#include "platform/text_format.h"

namespace nvx {

std::string BuildStatisticsText(SharedBlock& block) {
  ProgressRecord counters;
  {
    nvx::platform::MutexLock lock(block.state_lock);
    counters = block.reported.live_progress;
  }
  std::string text = "Local Folder: " + block.job.texts.local_directory + "\r\n";
  if (!block.job.texts.local_file.empty())
    text += "Local File(s): " + block.job.texts.local_file + "\r\n";
  text += "Norrvault Folder: " + block.job.texts.server_folder + "\r\n";
  text += "Results: \r\n";
  if (block.control.transfer_kind == kCmdUpload) {
    text += StrFormat("Uploaded %d Files \r\n", counters.files_uploaded);
    text += StrFormat("Matched %d Files \r\n", counters.files_upload_matched);
    text += StrFormat("Updated %d Files \r\n", counters.files_upload_updated);
    if (counters.files_upload_zero_length != 0) {
      text += StrFormat("Ignored %d Zero Length Files \r\n", counters.files_upload_zero_length);
    }
    if (counters.files_uploaded_uncompressed != 0) {
      text += StrFormat("%d File(s) Uploaded Without Compression  \r\n",
                        counters.files_uploaded_uncompressed);
    }
    text += StrFormat("Errors %d  \r\n", counters.files_upload_error);
  } else {
    text += StrFormat("Downloaded %d Files \r\n", counters.files_downloaded);
    text += StrFormat("Matched %d Files \r\n", counters.files_download_matched);
    text += StrFormat("Updated %d Files \r\n", counters.files_download_updated);
    text += StrFormat("Errors %d  \r\n", counters.files_download_error);
    text += StrFormat("Files Not Found %d  \r\n", counters.files_not_found);
  }
  return FitToWidth(text, kStatisticsTextMax + 1);
}

std::string FormatReportTime(const platform::LocalTime& time) {
  return StrFormat("%2.2d/%2.2d/%4.4d  %2.2d:%2.2d:%2.2d", time.month, time.day, time.year,
                   time.hour, time.minute, time.second);
}

std::string BuildEmailSendText(SharedBlock& block) {
  std::string text = block.job.texts.email_subject + "\r\n";
  text += "NVX " + block.job.results_type + " Job Started at " +
          FormatReportTime(block.start_time) + "\r\n";
  text += "ID: " + block.job.link.user + "\r\n";
  if (!block.job.texts.local_directory.empty())
    text += "LocalPath: " + block.job.texts.local_directory + "\r\n";
  if (!block.job.texts.server_folder.empty())
    text += "NVXPath: " + block.job.texts.server_folder + "\r\n";
  if (!block.log_file_name.empty()) {
    text += "Details on PC in " + block.log_file_name + ". \r\n\r\n";
  } else {
    text += "No Log File generated. \r\n\r\n";
  }
  text += block.job.texts.email_body;
  return text;
}

std::string BuildEmailJustText(SharedBlock& block) {
  return FitToWidth(block.job.texts.email_subject + "\r\n" + block.job.texts.email_body,
                    kEmailJustTextMax + 1);
}

}  // namespace nvx
