#include "fuzz/reply_feeds.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "codec/md5.h"
#include "engines/upload_rules.h"
#include "protocol/folder_tree.h"
#include "protocol/header_reader.h"
#include "protocol/protocol_state.h"
#include "protocol/reply_body.h"
#include "protocol/response_headers.h"
#include "protocol/server_file_list.h"
#include "protocol/transfer_answers.h"
#include "protocol/url_escape.h"
#include "protocol/web_files.h"
#include "wire/date_stamp.h"

namespace nvx::fuzz {
namespace {

// Keeps results alive so the optimiser cannot drop the parsing.
volatile size_t g_sink = 0;

void Sink(size_t value) {
  g_sink = g_sink + value;
}

// The upload's answers: parsed, then decided for local sizes around what the answer
// names, with and without a local digest; texts for the log.
void FeedTransferAnswers(std::string_view text) {
  const TransferAnswer answer = ParseIsItThereAnswer(text);
  const int64_t named = answer.lupin ? answer.lupin->size : 0;
  const int64_t past_named = named < INT64_MAX ? named + 1 : named;
  for (int64_t local_size : {int64_t{0}, int64_t{1}, named, past_named, INT64_MAX}) {
    for (const std::optional<Md5Digest>& digest :
         {std::optional<Md5Digest>(), std::optional<Md5Digest>(Md5Digest{})}) {
      IsItThereDecision decision = DecideIsItThere(answer, local_size, digest);
      Sink(static_cast<size_t>(decision.server_size) + decision.version_id.size());
    }
  }
  const TransferAnswer put = ParsePutAnswer(text);
  Sink(put.conclusion ? put.conclusion->size() : 0);
  Sink(TextForLog(text).size());

  const DownloadAnswer download = ParseDownloadAnswer(text);
  Sink(download.already_current + download.restart + download.status_ok);
  if (download.fang) {
    const int64_t body = download.body_length.value_or(0);
    for (int64_t offered : {int64_t{0}, int64_t{2048}, INT64_MAX}) {
      for (int64_t work_size : {body, offered, INT64_MAX}) {
        Sink(static_cast<size_t>(
            EncipheredFinalLength(download.restart, offered, work_size, download.fang->length)
                .value_or(0)));
      }
    }
  }
}

}  // namespace

void FeedFolderList(std::string_view bytes) {
  FolderListParse parsed = ParseFolderList(bytes);
  Sink(parsed.message.size());
  if (!parsed.tree) return;
  FolderTree& tree = *parsed.tree;
  // Paths made of the reply's own names and of slices of the input.
  std::string path;
  for (const FolderRecord& record : tree.records) {
    path += record.name;
    path += '\\';
    Sink(FolderPath(record).size());
    if (const FolderRecord* found = FindFolder(record.name, *tree.root())) Sink(found->name.size());
  }
  if (const FolderRecord* found = FindFolder(path, *tree.root())) Sink(found->level);
  if (const FolderRecord* found = FindFolder(bytes.substr(0, 64), *tree.root())) Sink(found->level);
  FolderRecord* created = tree.NewRecord();
  created->name = std::string(bytes.substr(0, 16));
  Sink(LinkNewFolder(*created, MyFilesFolder(*tree.root())));
  Sink(FolderPath(*created).size());
}

void FeedServerFileList(std::string_view bytes) {
  const ServerFileList list = ParseServerFileList(bytes);
  // Cut short, the list never yields an entry that the whole list does not hold.
  const ServerFileList cut = ParseServerFileList(bytes.substr(0, bytes.size() / 2));
  for (size_t i = 0; i < list.entries.size(); ++i) {
    const ServerFileEntry& entry = list.entries[i];
    if (TextForLog(entry.name, entry.name.size()) != entry.name ||
        (i < cut.entries.size() && cut.entries[i].name != entry.name)) {
      abort();
    }
    Sink(entry.name.size() + entry.date.size() + entry.version_id.size());
    Sink(ParseDateStamp(entry.date).value_or(0) != 0);
  }
  if (cut.entries.size() > list.entries.size()) abort();
}

void FeedResponseHeader(std::string_view bytes) {
  HeaderAccumulator accumulator;
  for (char byte : bytes) {
    if (accumulator.Feed(byte)) break;
  }
  std::string_view header = accumulator.text();
  for (std::string_view text : {header, bytes}) {
    Sink(IsInterimResponse(text) + IsProxyRefusal(text, true) + SaysConnectionClose(text));
    Sink(ResponseLineOf(text).size());
    if (auto conclusion = ParseConclusion(text)) Sink(conclusion->size());
    if (auto larch = ParseLarch(text)) Sink(static_cast<size_t>(larch->quota));
    if (auto bits = ParseCrunchyfrog(text)) Sink(static_cast<size_t>(*bits));
    if (auto length = ParseContentLength(text)) Sink(static_cast<size_t>(length->length));
    if (auto lupin = ParseIsItThereLupin(text, true)) Sink(lupin->version_id.size());
    if (auto lupin = ParseIsItThereLupin(text, false)) Sink(lupin->digest_base64.size());
    if (auto info = ParseFileInfoLupin(text)) Sink(info->name.size() + info->date_stamp.size());
    if (auto fang = ParseDownloadFang(text)) Sink(static_cast<size_t>(fang->key_number));
    Sink(HasRestartHeader(text));
    FeedTransferAnswers(text);
  }
  Sink(DecipherReplyBody(bytes).size());
  Sink(static_cast<size_t>(ParseDateStamp(bytes.substr(0, 20)).value_or(0)));
  Sink(UrlEscape(bytes.substr(0, 256)).size());
  VersionFigures version;
  ParseVersionText(version, bytes.substr(0, 2031));
  Sink(version.note.size());
}

void FeedAny(const uint8_t* data, size_t size) {
  if (size == 0) return;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      FeedFolderList(bytes);
      break;
    case 1:
      FeedServerFileList(bytes);
      break;
    default:
      FeedResponseHeader(bytes);
      break;
  }
}

}  // namespace nvx::fuzz
