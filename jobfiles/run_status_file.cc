#include "jobfiles/run_status_file.h"

#include <charconv>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text_format.h"

namespace nvx::jobfiles {
namespace {

constexpr std::string_view kRunning = "running";
constexpr std::string_view kFinished = "finished";

std::string Escape(std::string_view value) {
  if (value.size() > kMaxRunStatusValueBytes) value = value.substr(0, kMaxRunStatusValueBytes);
  std::string text;
  text.reserve(value.size());
  for (char c : value) {
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else {
      text += c;
    }
  }
  return text;
}

std::string Unescape(std::string_view value) {
  std::string text;
  text.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      text += value[i];
      continue;
    }
    const char next = value[++i];
    text += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return text;
}

template <typename Number>
void ReadNumber(std::string_view value, Number& field) {
  Number number{};
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error == std::errc() && end == value.data() + value.size()) field = number;
}

void Line(std::string& text, std::string_view key, std::string_view value) {
  text += key;
  text += '=';
  text += Escape(value);
  text += '\n';
}

void Line(std::string& text, std::string_view key, int64_t value) {
  Line(text, key, std::to_string(value));
}

// One key of the file into `status`; unknown keys change nothing.
void ApplyKey(std::string_view key, std::string_view raw, RunStatus& status, bool* has_state) {
  const std::string value = Unescape(raw);
  if (key == "state") {
    if (value == kRunning || value == kFinished) {
      status.state = value == kRunning ? RunState::kRunning : RunState::kFinished;
      *has_state = true;
    }
  } else if (key == "pid") {
    ReadNumber(raw, status.pid);
  } else if (key == "results_type") {
    status.results_type = value;
  } else if (key == "started") {
    ReadNumber(raw, status.started);
  } else if (key == "updated") {
    ReadNumber(raw, status.updated);
  } else if (key == "job") {
    ReadNumber(raw, status.job);
  } else if (key == "jobs") {
    ReadNumber(raw, status.jobs);
  } else if (key == "phase") {
    status.phase = value;
  } else if (key == "files_done") {
    ReadNumber(raw, status.files_done);
  } else if (key == "files_total") {
    ReadNumber(raw, status.files_total);
  } else if (key == "bytes_done") {
    ReadNumber(raw, status.bytes_done);
  } else if (key == "bytes_total") {
    ReadNumber(raw, status.bytes_total);
  } else if (key == "rate") {
    ReadNumber(raw, status.rate);
  } else if (key == "seconds_left") {
    ReadNumber(raw, status.seconds_left);
  } else if (key == "current_file") {
    status.current_file = value;
  } else if (key == "notify") {
    status.notify = value;
  } else if (key == "last_success") {
    ReadNumber(raw, status.last_success);
  } else if (key == "exit_code") {
    ReadNumber(raw, status.exit_code);
  } else if (key == "report") {
    status.report = value == "yes";
  } else if (key == "errors") {
    status.errors = value == "yes";
  } else if (key == "subject") {
    status.subject = value;
  } else if (key == "email") {
    status.email = value;
  } else if (key == "ended") {
    ReadNumber(raw, status.ended);
  }
}

}  // namespace

std::string RunStatusFileName(std::string_view results_type) {
  return std::string(results_type) + ".status";
}

std::string FormatRunStatus(const RunStatus& status) {
  const bool finished = status.state == RunState::kFinished;
  std::string text = "# NVXbackup run status\n";
  Line(text, "state", finished ? kFinished : kRunning);
  Line(text, "pid", status.pid);
  Line(text, "results_type", status.results_type);
  Line(text, "started", status.started);
  Line(text, "updated", status.updated);
  Line(text, "job", status.job);
  Line(text, "jobs", status.jobs);
  Line(text, "phase", status.phase);
  Line(text, "files_done", status.files_done);
  Line(text, "files_total", status.files_total);
  Line(text, "bytes_done", status.bytes_done);
  Line(text, "bytes_total", status.bytes_total);
  Line(text, "rate", status.rate);
  Line(text, "seconds_left", status.seconds_left);
  Line(text, "current_file", status.current_file);
  Line(text, "notify", status.notify);
  Line(text, "last_success", status.last_success);
  if (finished) {
    Line(text, "exit_code", status.exit_code);
    Line(text, "report", status.report ? "yes" : "no");
    Line(text, "errors", status.errors ? "yes" : "no");
    Line(text, "subject", status.subject);
    Line(text, "email", status.email);
    Line(text, "ended", status.ended);
  }
  return text;
}

std::optional<RunStatus> ParseRunStatus(std::string_view text) {
  if (text.size() > kMaxRunStatusFileBytes) return std::nullopt;
  RunStatus status;
  bool has_state = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    ApplyKey(line.substr(0, equals), line.substr(equals + 1), status, &has_state);
  }
  if (!has_state) return std::nullopt;
  return status;
}

bool WriteRunStatusFile(const std::string& path, const RunStatus& status) {
  const std::string scratch = path + ".tmp";
  platform::File file = platform::File::Open(scratch, platform::File::Access::kCreateTruncate);
  const bool written = file.is_open() && file.Write(FormatRunStatus(status));
  file.Close();
  if (!written || !platform::RenameFile(scratch, path)) {
    platform::RemoveFile(scratch);
    return false;
  }
  return true;
}

std::optional<RunStatus> ReadRunStatusFile(const std::string& path) {
  platform::File file = platform::File::Open(path, platform::File::Access::kRead);
  if (!file.is_open()) return std::nullopt;
  std::string text(kMaxRunStatusFileBytes + 1, '\0');
  const int64_t count = file.ReadFully(text.data(), text.size());
  if (count < 0) return std::nullopt;
  text.resize(static_cast<size_t>(count));
  return ParseRunStatus(text);
}

std::string ByteSizeText(int64_t bytes) {
  constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  return StrFormat("%.1f %s", value, kUnits[unit]);
}

std::string DurationText(int64_t seconds) {
  const auto whole = [](int64_t value) { return static_cast<long long>(value); };
  if (seconds >= 3600)
    return StrFormat("%lld h %lld min", whole(seconds / 3600), whole(seconds % 3600 / 60));
  if (seconds >= 60) return StrFormat("%lld min %lld s", whole(seconds / 60), whole(seconds % 60));
  return StrFormat("%lld s", whole(seconds));
}

}  // namespace nvx::jobfiles
