#include "service/commands/email_command.h"

#include "codec/key_table.h"
#include "codec/transfer_cipher.h"
#include "service/store/email_outbox.h"
#include "service/store/service_limits.h"
#include "wire/request_fields.h"

namespace nvx::service {
namespace {

constexpr std::string_view kTextTooLarge = "Error - Request Too Large";
constexpr std::string_view kTextBroken = "Error - Text Incomplete";
constexpr std::string_view kNoAddress = "Error - No E-mail Address";
constexpr std::string_view kOutboxFull = "Error - Outbox Full";

// Reads the whole body, at most kServiceEmailTextMax bytes.
bool ReadText(CommandContext& context, std::string* text) {
  if (!context.request.read_body) return false;
  bool too_large = false;
  bool complete = context.request.read_body([&](const char* data, size_t size) {
    if (text->size() + size > kServiceEmailTextMax) {
      too_large = true;
      return false;
    }
    text->append(data, size);
    return true;
  });
  if (too_large) context.reply.SetConclusion(kTextTooLarge);
  return complete && !too_large;
}

// Deciphers an enciphered text in place and cuts the padding off. False when the fields
// do not describe the body.
bool DecipherText(std::string_view fang, std::string* text) {
  std::optional<FangFields> fields = ParseFangFields(fang);
  if (!fields) return false;
  int64_t length = fields->content_length_or_filler;
  int64_t key_code = fields->key_code_or_filler;
  if (key_code < 0 || key_code > 0xFFFF) return false;
  size_t key_index = KeyIndexOfCode(static_cast<uint16_t>(key_code));
  if (key_index >= kKeyMaterialSize || length < 0 || static_cast<size_t>(length) > text->size() ||
      text->size() % Blowfish::kBlockSize != 0) {
    return false;
  }
  TransferCipher(key_index).Decipher(text->data(), text->data(), text->size());
  text->resize(static_cast<size_t>(length));
  return true;
}

}  // namespace

void EmailCommand(CommandContext& context) {
  std::optional<EmailRouting> routing = ParseEmailRouting(HeaderOrEmpty(context, kEmailHeader));
  if (!routing) {
    context.reply.SetConclusion(kBadRequest);
    return;
  }
  if (std::optional<int64_t> length = ParseDecimal(HeaderOrEmpty(context, "Content-Length"));
      length && *length > static_cast<int64_t>(kServiceEmailTextMax)) {
    context.reply.SetConclusion(kTextTooLarge);
    return;
  }
  std::string text;
  if (!ReadText(context, &text)) {
    if (context.reply.conclusion().empty()) context.reply.SetConclusion(kTextBroken);
    return;
  }
  if (context.account.encrypt && !DecipherText(HeaderOrEmpty(context, kTransferHeader), &text)) {
    context.reply.SetConclusion(kBadRequest);
    return;
  }
  OutboxMessage message;
  if (routing->to_user && !context.account.email.empty()) {
    message.recipients.push_back(context.account.email);
  }
  if (routing->to_admin && !context.account.admin_email.empty()) {
    message.recipients.push_back(context.account.admin_email);
  }
  if (message.recipients.empty()) {
    context.reply.SetConclusion(kNoAddress);
    return;
  }
  message.subject = SubjectOf(text);
  message.account = context.account.id;
  message.results_type = routing->results_type;
  message.text = std::move(text);
  std::string file_name;
  switch (context.service.store.PostMessage(message, &file_name)) {
    case OutboxResult::kWritten:
      context.reply.SetConclusion(kSuccessful);
      return;
    case OutboxResult::kFull:
      context.reply.SetConclusion(kOutboxFull);
      return;
    case OutboxResult::kFailed:
      context.reply.SetConclusion(kServiceFailure);
      return;
  }
}

}  // namespace nvx::service
