#include "wizard/core/open_url.h"

#include <functional>

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace nvx::wizard {
namespace {

// Takes a chunk of the body; false (with the reason) stops the fetch.
using BodySink = std::function<bool(const QByteArray& chunk, QString* error)>;

// Replies are read in pieces of this size, so a large component never sits in memory.
constexpr qint64 kReadBufferSize = 64 * 1024;

QNetworkRequest MakeRequest(const QString& url, int timeout_ms) {
  QNetworkRequest request{QUrl(url)};
  request.setHeader(QNetworkRequest::UserAgentHeader, kOpenUrlAgent);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setRawHeader("Cache-Control", "no-cache");
  request.setRawHeader("Pragma", "no-cache");
  // The body's length is compared with Content-Length, which holds only for the bytes
  // as sent.
  request.setRawHeader("Accept-Encoding", "identity");
  request.setTransferTimeout(timeout_ms);
  return request;
}

UrlAnswer Fetch(const QString& url, qint64 max_bytes, int timeout_ms, const BodySink& sink) {
  UrlAnswer answer;
  QUrl parsed(url);
  if (!parsed.isValid() || parsed.scheme() != "http" || parsed.host().isEmpty()) {
    answer.error = "not a web address: " + url;
    return answer;
  }
  QNetworkAccessManager manager;
  manager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
  QNetworkReply* reply = manager.get(MakeRequest(url, timeout_ms));
  reply->setReadBufferSize(kReadBufferSize);
  QEventLoop loop;
  auto take = [&] {
    while (answer.error.isEmpty() && reply->bytesAvailable() > 0) {
      QByteArray chunk = reply->read(kReadBufferSize);
      if (answer.received + chunk.size() > max_bytes) {
        answer.error = QString("the answer is larger than %1 bytes").arg(max_bytes);
      } else if (sink(chunk, &answer.error)) {
        answer.received += chunk.size();
      }
      if (!answer.error.isEmpty()) reply->abort();
    }
  };
  QObject::connect(reply, &QNetworkReply::readyRead, &loop, take);
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  if (!reply->isFinished()) loop.exec();
  take();
  QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (status.isValid()) answer.status = status.toInt();
  QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
  if (length.isValid()) answer.announced_length = length.toLongLong();
  // A 4xx or 5xx status is an answer, told by `status`; anything else the network layer
  // reports (refused, cut, timed out) is a failure.
  bool http_error = reply->error() >= QNetworkReply::ContentAccessDenied &&
                    reply->error() <= QNetworkReply::UnknownServerError && answer.status >= 400;
  if (answer.error.isEmpty() && reply->error() != QNetworkReply::NoError && !http_error) {
    answer.error = reply->errorString();
  }
  if (answer.error.isEmpty() && answer.announced_length >= 0 &&
      answer.announced_length != answer.received) {
    answer.error = QString("the answer ended after %1 of %2 bytes")
                       .arg(answer.received)
                       .arg(answer.announced_length);
  }
  delete reply;
  return answer;
}

}  // namespace

UrlAnswer FetchUrl(const QString& url, QByteArray* body, int timeout_ms) {
  body->clear();
  return Fetch(url, kOpenUrlTextMax, timeout_ms, [body](const QByteArray& chunk, QString*) {
    body->append(chunk);
    return true;
  });
}

UrlAnswer FetchUrlToFile(const QString& url, QIODevice* file, qint64 max_bytes, int timeout_ms) {
  return Fetch(url, max_bytes, timeout_ms, [file](const QByteArray& chunk, QString* error) {
    if (file->write(chunk) == chunk.size()) return true;
    *error = "cannot write the download: " + file->errorString();
    return false;
  });
}

QByteArray OpenUrl(const QString& url, int timeout_ms) {
  QByteArray body;
  FetchUrl(url, &body, timeout_ms);
  return body;
}

}  // namespace nvx::wizard
