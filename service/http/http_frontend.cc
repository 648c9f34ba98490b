#include "service/http/http_frontend.h"

#include <algorithm>
#include <memory>

#include "codec/transfer_cipher.h"
#include "platform/file.h"
#include "platform/text_format.h"
#include "service/http/request_log.h"

namespace nvx::service {
namespace {

constexpr size_t kFilePieceSize = 65536;
// A plain document goes out in pieces of this many bytes straight from the file system;
// an enciphered one is read, enciphered and sent through a buffer of the second size (a
// multiple of the cipher's block, so that only the last piece is padded).
constexpr int64_t kDocumentSendPieceSize = int64_t{16} << 20;
constexpr size_t kCipherPieceSize = 256 * 1024;
static_assert(kCipherPieceSize % 8 == 0);

void SetFileBody(httplib::Response& response, const Reply& reply) {
  // An empty file is an empty body, which cpp-httplib announces with a length of 0.
  if (reply.body_file_size == 0) return;
  auto file = std::make_shared<platform::File>(
      platform::File::Open(reply.body_file, platform::File::Access::kRead));
  if (!file->is_open()) {
    response.status = 404;
    return;
  }
  response.set_content_provider(static_cast<size_t>(reply.body_file_size), reply.content_type,
                                [file](size_t offset, size_t length, httplib::DataSink& sink) {
                                  std::vector<char> piece(std::min(length, kFilePieceSize));
                                  if (!file->Seek(static_cast<int64_t>(offset))) return false;
                                  int64_t got = file->ReadFully(piece.data(), piece.size());
                                  // A file that shrank since its size was taken cannot fill the
                                  // announced length.
                                  if (got <= 0) return false;
                                  return sink.write(piece.data(), static_cast<size_t>(got));
                                });
}

// Sends a plain document body with sendfile: the bytes never pass through the service's
// memory. cpp-httplib is then handed the count of bytes sent (see SendFileAhead).
bool SendPlainPiece(const FileBody& body, size_t offset, size_t length, httplib::DataSink& sink) {
  ConnectionRequest* connection = CurrentConnectionRequest();
  if (connection == nullptr) return false;
  int64_t piece = std::min(static_cast<int64_t>(length), kDocumentSendPieceSize);
  if (!connection->SendFileAhead(*body.file, body.offset + static_cast<int64_t>(offset), piece)) {
    return false;
  }
  // The data pointer is never read: every byte of the piece is already on its way.
  static const char kSentAhead = 0;
  return sink.write(&kSentAhead, static_cast<size_t>(piece));
}

// Reads, enciphers and sends the next piece of an enciphered body. `offset` counts the
// body's bytes, which are the file's bytes one for one up to the padding of the end.
bool SendEncipheredPiece(const FileBody& body, const TransferCipher& cipher,
                         std::vector<char>& buffer, size_t offset, httplib::DataSink& sink) {
  int64_t left = body.length - static_cast<int64_t>(offset);
  if (left <= 0) return false;
  size_t plain = static_cast<size_t>(std::min<int64_t>(left, kCipherPieceSize));
  if (!body.file->Seek(body.offset + static_cast<int64_t>(offset))) return false;
  if (body.file->ReadFully(buffer.data(), plain) != static_cast<int64_t>(plain)) return false;
  size_t sent = cipher.Encipher(buffer.data(), plain, buffer.data());
  return sink.write(buffer.data(), sent);
}

void SetDocumentBody(httplib::Response& response, const FileBody& body) {
  int64_t wire_length = body.WireLength();
  if (wire_length == 0) return;
  const std::string type = "application/octet-stream";
  if (!body.key_index) {
    response.set_content_provider(static_cast<size_t>(wire_length), type,
                                  [body](size_t offset, size_t length, httplib::DataSink& sink) {
                                    return SendPlainPiece(body, offset, length, sink);
                                  });
    return;
  }
  auto cipher = std::make_shared<TransferCipher>(*body.key_index);
  auto buffer = std::make_shared<std::vector<char>>(kCipherPieceSize);
  response.set_content_provider(
      static_cast<size_t>(wire_length), type,
      [body, cipher, buffer](size_t offset, size_t, httplib::DataSink& sink) {
        return SendEncipheredPiece(body, *cipher, *buffer, offset, sink);
      });
}

// True when the request announces a body.
bool HasBody(const RawHeaders& headers) {
  if (headers.Find("Transfer-Encoding")) return true;
  std::optional<std::string_view> length = headers.Find("Content-Length");
  return length && length->find_first_not_of("0 \t") != std::string_view::npos;
}

// Replies that cpp-httplib makes on its own (a request it could not parse, a body over
// its bound) carry the service's headers too.
httplib::Server::HandlerResponse CompleteErrorReply(const httplib::Request&,
                                                    httplib::Response& response) {
  if (response.has_header(std::string(kConclusionHeader)))
    return httplib::Server::HandlerResponse::Unhandled;
  if (response.status != 400 && response.status != 413 && response.status != 414) {
    return httplib::Server::HandlerResponse::Unhandled;
  }
  ConnectionRequest* connection = CurrentConnectionRequest();
  const char* conclusion = "Error - Bad Request";
  if (response.status != 400 || (connection != nullptr && connection->header_too_large())) {
    conclusion =
        response.status == 413 ? "Error - Request Too Large" : "Error - Request Header Too Large";
  }
  response.set_header(std::string(kConclusionHeader), conclusion);
  response.set_header(std::string(kSpaceHeader), "0,0");
  response.set_header("Connection", "close");
  if (connection != nullptr) connection->CloseAfterReply();
  return httplib::Server::HandlerResponse::Unhandled;
}

}  // namespace

HttpFrontend::HttpFrontend(RequestHandler handler, const ConnectionSettings& settings)
    : server_(settings), handler_(std::move(handler)) {
  auto plain = [this](const httplib::Request& request, httplib::Response& response) {
    Dispatch(request, response, nullptr);
  };
  auto with_body = [this](const httplib::Request& request, httplib::Response& response,
                          const httplib::ContentReader& content_reader) {
    Dispatch(request, response, &content_reader);
  };
  // Every target goes to the one handler, which does its own routing on the raw target.
  server_.Get(".*", plain);
  server_.Options(".*", plain);
  server_.Put(".*", with_body);
  server_.Post(".*", with_body);
  server_.Patch(".*", with_body);
  server_.Delete(".*", with_body);
  server_.set_error_handler(httplib::Server::HandlerWithResponse(CompleteErrorReply));
  server_.set_logger([](const httplib::Request& request, const httplib::Response& response) {
    // A request refused while its headers were read has no address filled in yet.
    ConnectionRequest* connection = CurrentConnectionRequest();
    std::string remote = StrFormat("%s:%d", request.remote_addr.c_str(), request.remote_port);
    if (request.remote_addr.empty() && connection != nullptr) remote = connection->remote();
    LogRequest(remote, request.method, request.target, response.status,
               response.get_header_value(std::string(kConclusionHeader)));
  });
  server_.set_refusal_logger(
      [](const std::string& remote, int status, std::string_view conclusion) {
        LogRequest(remote, "-", "-", status, conclusion);
      });
}

bool HttpFrontend::Bind(const std::string& host, int port, int* bound_port, std::string* error) {
  int bound = -1;
  if (port == 0) {
    bound = server_.bind_to_any_port(host);
  } else if (server_.bind_to_port(host, port)) {
    bound = port;
  }
  if (bound <= 0 || !server_.LengthenListenQueue()) {
    *error = StrFormat("cannot listen on %s:%d", host.c_str(), port);
    return false;
  }
  *bound_port = bound;
  return true;
}

bool HttpFrontend::Serve() {
  return server_.listen_after_bind();
}

void HttpFrontend::RequestStop() {
  server_.RequestStop();
}

void HttpFrontend::Dispatch(const httplib::Request& request, httplib::Response& response,
                            const httplib::ContentReader* content_reader) {
  ConnectionRequest* connection = CurrentConnectionRequest();
  IncomingRequest incoming;
  incoming.method = request.method;
  incoming.target = request.target;
  incoming.headers =
      RawHeaders(connection != nullptr ? connection->header_block() : std::string_view());
  incoming.remote = StrFormat("%s:%d", request.remote_addr.c_str(), request.remote_port);
  bool body_read = false;
  if (content_reader != nullptr) {
    incoming.read_body = [content_reader, &body_read](const BodyPieceSink& sink) {
      body_read =
          (*content_reader)([&sink](const char* data, size_t size) { return sink(data, size); });
      return body_read;
    };
  }
  Reply reply = handler_(incoming);
  // A body left (partly) unread would be taken for the next request. Requests without a
  // body reader (GET, HEAD) never have their body read.
  bool body_left = content_reader != nullptr ? !body_read : HasBody(incoming.headers);
  if (reply.close_connection || body_left) {
    reply.SetHeader("Connection", "close");
    if (connection != nullptr) connection->CloseAfterReply();
  }
  response.status = reply.status;
  for (const auto& [name, value] : reply.headers) response.set_header(name, value);
  if (reply.file_body) {
    SetDocumentBody(response, *reply.file_body);
  } else if (!reply.body_file.empty()) {
    SetFileBody(response, reply);
  } else if (!reply.body.empty()) {
    response.set_content(reply.body, reply.content_type);
  }
}

}  // namespace nvx::service
