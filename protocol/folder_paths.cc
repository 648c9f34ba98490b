#include "protocol/folder_paths.h"

#include <vector>

#include "platform/error_text.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "protocol/library_limits.h"
#include "protocol/service_commands.h"

namespace nvx {
namespace {

std::vector<std::string_view> Components(std::string_view path, char separator) {
  std::vector<std::string_view> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(separator, start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// A name as the log and the report may show it: control bytes become "?".
std::string Printable(std::string_view name) {
  std::string shown(name);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return shown;
}

void RefuseName(Reporter& report, const FolderRecord& folder) {
  std::string name = Printable(folder.name);
  std::string path = Printable(FolderPath(folder));
  report.LogLine(kLineError, " Err - LocalFolderFor - Folder name not usable locally: '%s' (%s)\n",
                 name.c_str(), path.c_str());
  report.WriteResultText("\r\n" + name + "\r\n   in Norrvault folder: " + path +
                         "\r\n   was not transfered because the folder name cannot be a "
                         "local folder name.\r\n");
}

// Creates the missing folders of `path`, level by level from the root (or from the
// current folder for a relative path). Returns 0 or the error of the first level that
// is not a folder and cannot be made one.
int CreateMissingFolders(const std::string& path) {
  std::string level = path.starts_with("/") ? "/" : "";
  for (std::string_view name : Components(path, '/')) {
    if (!level.empty() && level.back() != '/') level += '/';
    level += name;
    if (platform::IsDirectory(level)) continue;
    int error = 0;
    if (!platform::MakeDirectory(level, &error) && !platform::IsDirectory(level)) return error;
  }
  return 0;
}

}  // namespace

bool IsUsableLocalName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

bool VerifyServerPath(ServiceSession& session, FolderTree* folder_list, std::string_view path) {
  if (path.empty()) return true;
  if (folder_list == nullptr) {
    session.report().SetStatusMessage("No Folder List");
    session.report().SetErrorCode(error::kNoFolderList);
    return false;
  }
  FolderTree& tree = *folder_list;
  std::string_view rest(path);
  if (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
  std::string prefix;
  FolderRecord* parent = nullptr;
  for (std::string_view component : Components(rest, '\\')) {
    if (!prefix.empty()) prefix += '\\';
    prefix += component;
    if (FolderRecord* found = FindFolder(prefix, *tree.root())) {
      parent = found;
      continue;
    }
    // A first component goes below "MyFiles"; the request names it as the parent.
    FolderRecord* link_parent = parent != nullptr ? parent : MyFilesFolder(*tree.root());
    const std::string parent_id = link_parent != nullptr ? link_parent->folder_id : "";
    const std::string name(component.substr(0, kFolderNameMax));
    ExchangeResult<std::string> created = FolderCreate(session, parent_id, name);
    if (!created.ok()) return false;
    FolderRecord* record = tree.NewRecord();
    record->name = name;
    record->write_access = true;
    record->folder_id = std::move(created.value);
    // Without a "MyFiles" folder a new first folder stays out of the tree; the folders
    // below it are still created on the service, below the id it was given.
    (void)LinkNewFolder(*record, link_parent);
    parent = record;
  }
  return true;
}

int LocalFolderFor(Reporter& report, FolderRecord& record, std::string_view local_directory,
                   std::string_view pattern, std::string* local_folder) {
  const bool has_separator = local_directory.find('/') != std::string_view::npos;
  std::string_view tidied = local_directory;
  while (!tidied.empty() && tidied.back() == '/') tidied.remove_suffix(1);
  const size_t last_slash = tidied.rfind('/');
  std::string_view last_component =
      last_slash == std::string_view::npos ? tidied : tidied.substr(last_slash + 1);
  std::string result(tidied);

  if (record.download_base_mark) {
    if (has_separator && !EqualsIgnoreCase(last_component, record.name)) {
      if (!pattern.empty()) {
        record.base_name_given_mark = true;
      } else {
        if (!IsUsableLocalName(record.name)) {
          RefuseName(report, record);
          return platform::kErrorInvalidName;
        }
        result += "/" + record.name;
      }
    }
  } else {
    std::vector<const FolderRecord*> chain;  // from the record up to, not including, the base
    const FolderRecord* base = nullptr;
    for (const FolderRecord* folder = &record; folder != nullptr && folder->level >= 0;
         folder = folder->parent) {
      if (folder->download_base_mark) {
        base = folder;
        break;
      }
      chain.push_back(folder);
    }
    for (const FolderRecord* folder : chain) {
      if (!IsUsableLocalName(folder->name)) {
        RefuseName(report, *folder);
        return platform::kErrorInvalidName;
      }
    }
    if (has_separator) {
      if (base != nullptr && !EqualsIgnoreCase(last_component, base->name) &&
          !base->base_name_given_mark) {
        if (!IsUsableLocalName(base->name)) {
          RefuseName(report, *base);
          return platform::kErrorInvalidName;
        }
        result += "/" + base->name;
      }
      for (auto folder = chain.rbegin(); folder != chain.rend(); ++folder) {
        result += "/" + (*folder)->name;
      }
    }
  }

  if (int error = CreateMissingFolders(result); error != 0) return error;
  *local_folder = result + "/";
  return 0;
}

}  // namespace nvx
