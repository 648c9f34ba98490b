// The bounds of the service stand-in (nvxserver): request sizes, names, connections, and
// the guards against clients that hold connections, deep folder chains and floods of
// e-mail texts. Each is the value the server runs with unless its command line says
// otherwise (the time-outs and connection counts may be set per run, so tests need not
// wait them out). Constants only; any thread.
#ifndef NVX_SERVICE_STORE_SERVICE_LIMITS_H_
#define NVX_SERVICE_STORE_SERVICE_LIMITS_H_

#include <cstddef>
#include <cstdint>

#include "wire/wire_limits.h"

namespace nvx {

// Prepared statements one database connection keeps for reuse; further ones (none of the
// store's own: it has fewer texts) are prepared for each use.
inline constexpr size_t kServiceKeptStatementsMax = 128;
// A request's line and header block together; a longer block is refused.
inline constexpr size_t kServiceHeaderBlockMax = 16384;
// The text of one e-mail PUT, padding included.
inline constexpr size_t kServiceEmailTextMax = 65536;
// A folder or document name, in bytes.
inline constexpr size_t kServiceNameMax = 255;
// A version id, in characters: as many as the library keeps.
inline constexpr size_t kServiceVersionIdMax = kWireVersionIdMax;
// The path of a static file below the web folder, in bytes.
inline constexpr size_t kServiceStaticPathMax = 1024;
// Connections served at once; a further one is answered "503" and closed at once.
inline constexpr size_t kServiceConnectionsMax = 256;
// How long a connection may wait for the next bytes of a request body, in milliseconds:
// as long as the library waits for an answer.
inline constexpr int kServiceReadTimeoutMillis = 180000;

}  // namespace nvx

namespace nvx::service {

// --- Connections, time-outs, folder depth and the outbox (hardening) ---

// A request line longer than this, its line end included, is answered "414"; a header
// line longer than this makes the request "400". Both lie within kServiceHeaderBlockMax.
inline constexpr size_t kServiceRequestLineMax = 8192;
inline constexpr size_t kServiceHeaderLineMax = 8192;

// Connections the kernel keeps waiting to be accepted. The accepting thread takes them
// at once, but a burst of clients must not find the queue full (their connects would
// stall for a second or more).
inline constexpr int kServiceListenQueueLength = 1024;
// The share of the connections that one client address may hold at once.
inline constexpr size_t kServiceConnectionsPerAddressMax = 32;
// A request's whole header block must arrive within this time of its first byte.
inline constexpr int kServiceHeaderTimeoutMillis = 30000;
// A connection that carries no request (a new one, or one kept alive after a reply) is
// closed after this time.
inline constexpr int kServiceIdleTimeoutMillis = 15000;
// Folder levels an account may have: "MyFiles" and the other top-level folders are level
// 0, so the deepest folder is at level kServiceFolderLevelsMax - 1.
inline constexpr int kServiceFolderLevelsMax = 256;
// Messages and bytes (message files as written) that one account may have waiting in the
// outbox, or refused by the mail relay and kept for the operator.
inline constexpr size_t kServiceOutboxMessagesMax = 100;
inline constexpr int64_t kServiceOutboxBytesMax = int64_t{4} << 20;

// A resumable upload is made durable (flushed, and recorded as an incomplete document)
// each time this many more bytes of it arrived, so a crash of the server loses at most
// this much of it.
inline constexpr int64_t kServiceUploadCheckpointBytes = int64_t{4} << 20;

// Documents up to this size are kept inside a store that can keep them (the embedded one)
// instead of a blob file each, unless the command line says otherwise: one transaction
// then records a small document and its bytes, without a file to create, sync and name.
inline constexpr int64_t kServiceInlineBlobMaxDefault = int64_t{64} << 10;
// The most the command line may set (the bytes travel through memory whole).
inline constexpr int64_t kServiceInlineBlobMaxLimit = int64_t{1} << 20;
static_assert(kServiceInlineBlobMaxLimit < kServiceUploadCheckpointBytes);

// --- The shared store (several service processes on one database) ---

// Connections one service process keeps to the shared database at most; store calls wait
// for a free one beyond that, so that the front ends together stay within what the
// database server accepts.
inline constexpr size_t kServiceDatabaseConnectionsMax = 24;
// How long a claim of an upload in flight holds room without being renewed (its process
// renews it every quarter of this while the upload lasts), in seconds.
inline constexpr int kServiceClaimLeaseSeconds = 600;

// --- Mail delivery over SMTP ---

// One message file as the delivery reads it: the largest text and its header lines. A
// larger file is no message of the service's and is never sent.
inline constexpr size_t kServiceOutboxMessageFileMax = kServiceEmailTextMax + 4096;
// Messages one delivery round takes from the outbox.
inline constexpr size_t kServiceMailBatchMax = 100;
// One line of a relay's reply (the protocol allows 512 bytes with CR LF; some relays send
// more), and the lines of one reply; a relay that sends more is cut off.
inline constexpr size_t kServiceSmtpReplyLineMax = 2048;
inline constexpr size_t kServiceSmtpReplyLinesMax = 64;
// How long the service waits for a relay's reply, or for the relay to take its bytes.
inline constexpr int kServiceSmtpReplyTimeoutMillis = 120000;
// The pause after a temporary failure (a relay that cannot be reached, a cut connection,
// a 4xx answer), doubled after each further one up to the maximum.
inline constexpr int64_t kServiceMailRetryFirstMillis = 30000;
inline constexpr int64_t kServiceMailRetryMaxMillis = 3600000;
// How often the delivery looks into the outbox for new messages.
inline constexpr int kServiceMailPollMillis = 2000;
// How long a message listed for delivery stays with the process that listed it, in a
// store that several processes share (Store::ListPendingMessages): far longer than a
// delivery round takes, so that only a process that died leaves its messages to others.
inline constexpr int64_t kServiceOutboxClaimSeconds = 900;

// --- Metrics ---

// Connections the metrics listener serves at once; scrapers are few.
inline constexpr size_t kServiceMetricsConnectionsMax = 8;

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_SERVICE_LIMITS_H_
