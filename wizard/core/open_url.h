// OpenUrl: a plain HTTP GET of the web host through QNetworkAccessManager, with the agent
// "VB OpenUrl", no cache (every fetch reaches the network) and a time-out on silence.
// The body is either taken whole (texts such as the version notice) or streamed into an
// open file (components), each up to a bound. The call waits in a local event loop, so
// the pages stay painted; it needs a QCoreApplication. GUI thread.
#ifndef NVX_WIZARD_CORE_OPEN_URL_H_
#define NVX_WIZARD_CORE_OPEN_URL_H_

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include "wizard/core/update_limits.h"

namespace nvx::wizard {

inline constexpr char kOpenUrlAgent[] = "VB OpenUrl";

// How one fetch went.
struct UrlAnswer {
  int status = 0;                // the HTTP status; 0 when no answer came
  qint64 announced_length = -1;  // Content-Length; -1 when the answer announced none
  qint64 received = 0;           // body bytes taken
  QString error;                 // network, size or file failure; empty when none

  // The whole body arrived: no failure and, when a length was announced, all of it.
  bool Complete() const {
    return error.isEmpty() && (announced_length < 0 || announced_length == received);
  }
  // A complete "200" answer.
  bool Succeeded() const { return status == 200 && Complete(); }
};

// The whole body of `url` (at most kOpenUrlTextMax bytes) in *body, with how it went.
// On a failure *body holds whatever was read.
UrlAnswer FetchUrl(const QString& url, QByteArray* body, int timeout_ms = kOpenUrlTimeoutMs);

// The body of `url` written to `file` (open for writing) as it arrives, at most
// `max_bytes`. The caller decides from the answer whether the file is any good.
UrlAnswer FetchUrlToFile(const QString& url, QIODevice* file, qint64 max_bytes,
                         int timeout_ms = kOpenUrlTimeoutMs);

// The whole body of `url`, or whatever was read when the fetch failed (often nothing).
QByteArray OpenUrl(const QString& url, int timeout_ms = kOpenUrlTimeoutMs);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_OPEN_URL_H_
