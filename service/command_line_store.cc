#include "service/command_line_store.h"

#include "platform/text_format.h"
#include "wire/request_fields.h"

namespace nvx::service {
namespace {

constexpr std::string_view kUrlSchemes[] = {"postgresql://", "postgres://"};
constexpr size_t kUrlMax = 4096;

bool IsDatabaseUrl(std::string_view url) {
  if (url.size() > kUrlMax) return false;
  for (char c : url) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  for (std::string_view scheme : kUrlSchemes) {
    if (url.substr(0, scheme.size()) == scheme) return true;
  }
  return false;
}

}  // namespace

bool IsStoreOption(std::string_view option, bool* serving_only) {
  *serving_only =
      option == "--blob-lease" || option == "--cleanup-every" || option == "--inline-max";
  return *serving_only || option == "--database" || option == "--blobs";
}

std::string ParseStoreOption(std::string_view option, std::string_view value,
                             StoreOptions* options) {
  if (option == "--database") {
    if (!IsDatabaseUrl(value)) return "--database takes a URL postgresql://...";
    options->database_url = std::string(value);
  } else if (option == "--blobs") {
    if (value.empty()) return "--blobs takes a folder";
    options->blobs_folder = std::string(value);
  } else if (option == "--inline-max") {
    std::optional<int64_t> bytes = ParseDecimal(value);
    if (!bytes || *bytes < 0 || *bytes > kServiceInlineBlobMaxLimit) {
      return StrFormat("--inline-max takes a number of bytes from 0 to %lld",
                       static_cast<long long>(kServiceInlineBlobMaxLimit));
    }
    options->inline_blob_max = *bytes;
  } else {
    std::optional<int64_t> seconds = ParseDecimal(value);
    if (!seconds || *seconds < 1 || *seconds > 365 * 86400) {
      return std::string(option) + " takes a number of seconds from 1";
    }
    (option == "--blob-lease" ? options->blob_lease_seconds : options->cleanup_every_seconds) =
        *seconds;
  }
  return {};
}

bool IsMigrateCommand(const std::vector<std::string>& words, size_t at) {
  return at < words.size() && words[at] == "migrate";
}

std::string ParseMigrateCommand(const std::vector<std::string>& words, size_t at,
                                StoreOptions* options) {
  for (size_t i = at + 1; i < words.size(); i += 2) {
    const std::string& option = words[i];
    if (i + 1 >= words.size()) return "option " + option + " needs a value";
    const std::string& value = words[i + 1];
    bool serving_only = false;
    if (option == "--from") {
      if (value.empty()) return "--from takes the data folder of the embedded store";
      options->migrate_from = value;
    } else if (IsStoreOption(option, &serving_only) && !serving_only) {
      std::string error = ParseStoreOption(option, value, options);
      if (!error.empty()) return error;
    } else {
      return "unknown option " + option;
    }
  }
  if (options->migrate_from.empty()) return "migrate needs --from DATA_DIR";
  if (options->database_url.empty()) return "migrate needs --database postgresql://...";
  return {};
}

std::string StoreUsageText() {
  return "  nvxserver ... [--database postgresql://...] [--blobs DIR]"
         " [--blob-lease S] [--cleanup-every S] [--inline-max BYTES]\n"
         "  nvxserver migrate --from DATA_DIR --database postgresql://... [--blobs DIR]\n";
}

}  // namespace nvx::service
