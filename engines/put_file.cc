// The upload's PUT: the header block, then the file's bytes from the resume point, read
// and sent a piece at a time (enciphered when the account asks), then the answer. The
// wire counts in 2048-byte blocks; the system calls move whole pieces.
#include <algorithm>
#include <string>

#include "codec/base64.h"
#include "codec/transfer_cipher.h"
#include "engines/upload_exchanges.h"
#include "engines/upload_rules.h"
#include "platform/clock.h"
#include "platform/text_format.h"
#include "protocol/connection.h"
#include "protocol/credentials.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"
#include "protocol/transfer_answers.h"
#include "protocol/transfer_requests.h"

namespace nvx {
namespace {

constexpr const char* kPutFileExchange = "FormatPutFile";
// Bodies up to this size go out in the same send as the header.
constexpr int64_t kSmallBodyMax = 64 * 1024;

// True when the local file's first `length` bytes have `expected` as their digest. The
// file position is left at `length`.
bool PrefixMatches(FileInFlight& flight, int64_t length, const Md5Digest& expected) {
  platform::File& file = flight.file.file;
  if (!file.Seek(0)) return false;
  Md5Context md5;
  Md5Init(md5);
  int64_t left = length;
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(left, int64_t{256} * 1024));
    const int64_t got = file.ReadFully(flight.piece.data(), want);
    if (got != static_cast<int64_t>(want)) return false;
    Md5Update(md5, flight.piece.data(), want);
    left -= got;
    if (flight.context.StopRequested()) return false;
  }
  Md5Digest digest{};
  Md5Final(md5, digest.data());
  return digest == expected;
}

// The receive time-out while the service works long on what it receives (unpacking a
// work file, applying a delta), and back to normal once its answer header is in.
class SlowServerTimeout {
 public:
  SlowServerTimeout(ServiceLink& link, bool slow) : link_(link), slow_(slow) { Set(slow_); }
  ~SlowServerTimeout() { Set(false); }
  SlowServerTimeout(const SlowServerTimeout&) = delete;
  SlowServerTimeout& operator=(const SlowServerTimeout&) = delete;
  void Restore() { Set(false); }

 private:
  void Set(bool slow) {
    if (Connection* connection = link_.active_connection()) {
      connection->set_receive_timeout_seconds(slow ? kSlowServerReceiveTimeoutSeconds
                                                   : kDefaultReceiveTimeoutSeconds);
    }
  }
  ServiceLink& link_;
  bool slow_;
};

// The header fields of this PUT; decides resume or replacement and fixes server_size.
PutFileFields PutFields(FileInFlight& flight, bool enciphered, int64_t seconds) {
  EngineContext& context = flight.context;
  UploadFileState& file = flight.file;
  PutFileFields fields;
  fields.file_name = file.name;
  if (file.server_size > 0 && file.server_size < file.local_size) {
    if (!PrefixMatches(flight, file.server_size, file.server_digest)) file.server_size = 0;
    fields.resume_offset = file.server_size;
    fields.version_id = file.server_version_id;
  } else {
    if (!file.server_version_id.empty()) {
      fields.version_id = file.server_version_id;
      fields.delta = file.delta_upload;
    }
    file.server_size = 0;
  }
  const int64_t length = file.local_size - file.server_size;
  fields.content_length =
      enciphered ? static_cast<int64_t>(RoundUpToBlock(static_cast<size_t>(length))) : length;
  const int64_t size_before = file.work_file_in_use ? file.uncompressed_size : file.local_size;
  fields.fang = FangFor(enciphered, length, seconds, file.work_file_in_use,
                        context.job().flags.transfer_compress, size_before);
  fields.last_write_time = file.last_write_time;
  // A packed file names its own digest and size when the log traces transfer detail.
  if (file.work_file_in_use && file.local_digest && context.report().Logs(kLogDebug)) {
    fields.nee_digest_base64 = Base64Encode(std::string_view(
        reinterpret_cast<const char*>(file.local_digest->data()), file.local_digest->size()));
    fields.nee_size = file.local_size;
  }
  return fields;
}

// Reads the next `count` bytes of the file into the piece buffer and enciphers them
// when asked: the bytes to send (padded to 8 at the very end), or -1 after a read error
// (logged).
int64_t NextPiece(FileInFlight& flight, size_t count, const TransferCipher* cipher) {
  platform::File& file = flight.file.file;
  const int64_t got = file.ReadFully(flight.piece.data(), count);
  if (got < 0) {
    flight.context.report().LogLine(kLineError, " Err - FormatPutFile ReadFile Error %d\n",
                                    file.error());
    return -1;
  }
  if (got != static_cast<int64_t>(count)) {
    flight.context.report().LogLine(
        kLineError, " Err - FormatPutFile ReadFile BytesReadNoMatch %d\n", static_cast<int>(got));
    return -1;
  }
  if (cipher == nullptr) return got;
  return static_cast<int64_t>(cipher->Encipher(flight.piece.data(), count, flight.piece.data()));
}

// Sends the next `count` bytes of the file, from `position`. Plain bytes go straight
// from the file system's cache to the socket; enciphered ones through the piece buffer.
// False after a read error or a short file (logged; no transport failure) or a send
// failure (the link's communication-failure flag set).
bool SendPiece(FileInFlight& flight, const TransferCipher* cipher, int64_t position, size_t count) {
  ServiceLink& link = flight.context.link();
  if (cipher == nullptr) {
    if (link.SendFileRange(flight.file.file, position, count)) return true;
    if (link.last_send_error() == kErrorFileEnded) {
      flight.context.report().LogLine(kLineError,
                                      " Err - FormatPutFile ReadFile BytesReadNoMatch %d\n", 0);
    } else {
      link.MarkCommunicationFailure();
    }
    return false;
  }
  const int64_t piece = NextPiece(flight, count, cipher);
  if (piece < 0) return false;
  if (link.SendAll(std::string_view(reinterpret_cast<const char*>(flight.piece.data()),
                                    static_cast<size_t>(piece)))) {
    return true;
  }
  link.MarkCommunicationFailure();
  return false;
}

}  // namespace

ExchangeOutcome FormatPutFile(FileInFlight& flight) {
  EngineContext& context = flight.context;
  Reporter& report = context.report();
  ServiceLink& link = context.link();
  UploadFileState& file = flight.file;
  const JobFlags& flags = context.job().flags;
  report.SetConclusion("");
  flight.put_conclusion.clear();
  link.ClearCommunicationFailure();
  const bool enciphered = (context.account().service_options & kOptionEncipher) != 0;
  const int64_t seconds = platform::GetClock().NowSeconds();
  const PutFileFields fields = PutFields(flight, enciphered, seconds);
  const TransferCipher cipher = CipherForUpload(seconds);
  const TransferCipher* body_cipher = enciphered ? &cipher : nullptr;
  if (!file.file.Seek(file.server_size)) {
    report.LogLine(kLineError, " Err - FormatPutFile SetFilePointer Error %d\n", file.file.error());
    return ExchangeOutcome::kLocalFailure;
  }
  // After the resume point's digest, which may take long: the connection is looked at
  // just before use.
  if (!link.PrepareExchange()) return link.FailTransport();
  SlowServerTimeout timeout(link, flags.compress || flags.transfer_compress || file.delta_upload);
  TransferRequestBase base{link.Route(), LoginToken(context.job().link), flight.folder_id};
  std::string request = FormatPutFile(base, fields);
  TraceProtocolLine(context, ">> ", request);

  const int64_t length = file.local_size - file.server_size;
  int64_t block = file.server_size / kUploadBlockSize;
  context.progress().SetBlock(static_cast<int32_t>(block));
  int64_t left = length;
  // A small body travels in the header's send.
  if (length <= kSmallBodyMax) {
    const int64_t piece = NextPiece(flight, static_cast<size_t>(length), body_cipher);
    if (piece < 0) return ExchangeOutcome::kLocalFailure;  // nothing is out yet
    request.append(reinterpret_cast<const char*>(flight.piece.data()), static_cast<size_t>(piece));
    left = 0;
  }
  if (!link.SendAll(request)) {
    report.LogLine(kLineError, "Err - %s - Error Sending Header to server\n", file.name.c_str());
    return link.FailTransport();
  }
  const size_t piece_size = flight.piece.size() - flight.piece.size() % kUploadBlockSize;
  int64_t position = file.server_size + (length - left);
  while (left > 0) {
    const auto count = static_cast<size_t>(std::min<int64_t>(left, piece_size));
    if (!SendPiece(flight, body_cipher, position, count)) {
      const bool transport = link.communication_failure();
      if (transport) {
        report.LogLine(
            kLineError, "Err - %s - Error %d Sending Data to server  fs=%lld ss=%lld cs=%lld \n",
            file.name.c_str(), link.last_send_error(), static_cast<long long>(file.local_size),
            static_cast<long long>(length), static_cast<long long>(block));
      }
      // Part of the body is out: the connection cannot carry another request.
      link.MarkCloseAfterExchange();
      return transport ? ExchangeOutcome::kTransportFailure : ExchangeOutcome::kLocalFailure;
    }
    position += static_cast<int64_t>(count);
    left -= static_cast<int64_t>(count);
    block += BlockCount(static_cast<int64_t>(count));
    context.progress().SetBlock(static_cast<int32_t>(block));
    if (context.StopRequested()) return link.FailTransport();
  }
  if (length <= kSmallBodyMax) {
    context.progress().SetBlock(static_cast<int32_t>(BlockCount(file.local_size)));
  }

  ResponseHeader header = link.ReadResponseHeaderSkippingInterim();
  timeout.Restore();
  if (!header.complete) {
    report.LogLine(kLineError, "Err - %s - Error %d Receiving header from server\n",
                   file.name.c_str(), header.receive_error);
    return link.FailTransport();
  }
  if (!AcceptAnswerStatus(context, kPutFileExchange, header.text)) return ExchangeOutcome::kRefused;
  const std::string conclusion = TakeAnswerHeaders(context, header.text, /*seed_estimate=*/true);
  const bool refused = conclusion.find("Error") != std::string::npos;
  // An answer other than 200 is a refusal too, whatever its conclusion says.
  if (refused || !StatusIs(header.text, "HTTP/1.1 200")) {
    flight.put_conclusion = conclusion.empty() ? ResponseLineOf(header.text) : conclusion;
    report.LogLine(kLineError, "Err - %s - Error Conclusion from server - %s\n", file.name.c_str(),
                   TextForLog(flight.put_conclusion).c_str());
    link.MarkCloseAfterExchange();
    return ExchangeOutcome::kRefused;
  }
  std::optional<std::string> answer_body;  // the answer is its conclusion
  if (!ReceiveAnswerBody(context, kPutFileExchange, header.text, &answer_body)) {
    return link.communication_failure() ? ExchangeOutcome::kTransportFailure
                                        : ExchangeOutcome::kRefused;
  }
  if (file.server_version_id.empty()) {
    context.progress().Count(FileCount::kUploaded);
  } else {
    context.progress().Count(FileCount::kUploadUpdated);
    context.progress().Count(FileCount::kReplacement);
  }
  file.server_version_id.clear();
  link.CloseIfMarked();
  return ExchangeOutcome::kOk;
}

}  // namespace nvx
