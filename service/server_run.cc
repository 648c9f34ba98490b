#include "service/server_run.h"

#include <atomic>
#include <cstdio>
#include <thread>

#include "platform/clock.h"
#include "platform/shutdown_signal.h"
#include "platform/text_format.h"
#include "platform/tls_server.h"
#include "service/background_services.h"
#include "service/blob_cleanup.h"
#include "service/commands/service_router.h"
#include "service/data_folder.h"
#include "service/http/http_frontend.h"
#include "service/http/request_log.h"
#include "service/measured_store.h"
#include "service/store/blob_store.h"
#include "service/store_opening.h"

namespace nvx::service {

int RunServer(const CommandLine& command, std::string* err) {
  // Before any thread exists, so that every thread inherits the blocked stop signals
  // (and SIGHUP, which re-reads the TLS certificate and key).
  platform::ShutdownSignals signals(command.tls.has_value());
  DataFolder folder;
  std::string error;
  if (!PrepareDataFolder(command.data_folder, &folder, &error)) {
    *err = error;
    return kExitFailed;
  }
  OpenedStore opened;
  if (!OpenStore(command.store, folder, &opened, &error)) {
    *err = "cannot open the store: " + error;
    return kExitFailed;
  }
  Store& store = *opened.store;
  BlobStore blobs(opened.blobs_folder, store.BlobNamePrefix());
  BlobCleanup cleanup(store, blobs, opened.shared, command.store.blob_lease_seconds,
                      command.store.cleanup_every_seconds);
  cleanup.Start();
  // The users' requests reach the store through MeasuredStore, which times each call
  // for the metrics page and wakes the mail delivery when a message is posted.
  ServiceMetrics metrics;
  BackgroundServices background(command, store, metrics);
  MeasuredStore measured(store, metrics.store_latency(),
                         [&background] { background.PostedMessage(); });
  ServiceEnvironment environment{measured, blobs, folder.web, command.store.inline_blob_max};
  ServiceRouter router(environment);
  HttpFrontend frontend([&router](IncomingRequest& request) { return router.Handle(request); },
                        command.connection, &metrics);
  platform::TlsServerCredentials credentials;
  if (command.tls && !credentials.Load(command.tls->cert, command.tls->key, &error)) {
    *err = error;
    return kExitFailed;
  }
  int port = 0;
  int plain_port = 0;
  if (!frontend.Bind(command.listen_host, command.listen_port, &port, &error,
                     command.tls ? &credentials : nullptr) ||
      (command.plain_listen && !frontend.Bind(command.plain_listen->host,
                                              command.plain_listen->port, &plain_port, &error))) {
    *err = error;
    return kExitFailed;
  }
  if (!background.Start(&error)) {
    *err = error;
    return kExitFailed;
  }
  // The plain listener's port beside TLS and the metrics listener's follow on lines of
  // their own, in the same write.
  std::string ports = StrFormat("%d\n", port);
  if (plain_port > 0) ports += StrFormat("%d\n", plain_port);
  if (background.metrics_port() > 0) ports += StrFormat("%d\n", background.metrics_port());
  std::fputs(ports.c_str(), stdout);
  std::fflush(stdout);
  // A process of a shared store says which blob names are its own.
  std::string prefix = store.BlobNamePrefix();
  LogLine(StrFormat("nvxserver serving %s on %s:%d%s%s%s", folder.root.c_str(),
                    command.listen_host.c_str(), port, command.tls ? " (TLS)" : "",
                    prefix.empty() ? "" : ", new blobs ", prefix.c_str()));
  if (plain_port > 0) {
    LogLine(StrFormat("nvxserver serving plain HTTP on %s:%d", command.plain_listen->host.c_str(),
                      plain_port));
  }

  std::atomic<bool> stop_requested{false};
  std::atomic<bool> serve_ended{false};
  std::atomic<bool> serve_failed{false};
  std::thread server_thread([&] {
    if (!frontend.Serve()) serve_failed = true;
    serve_ended = true;
    // A server that ends on its own wakes the main thread as a stop signal would.
    if (!stop_requested.load()) platform::ShutdownSignals::RequestShutdown();
  });
  int signal_number = signals.Wait();
  while (platform::ShutdownSignals::IsReload(signal_number)) {
    // A renewed pair serves the connections accepted from now on; a pair that cannot be
    // used leaves the one in use.
    if (credentials.Load(command.tls->cert, command.tls->key, &error)) {
      LogLine("nvxserver read the TLS certificate and key again");
    } else {
      LogLine("nvxserver keeps the TLS certificate it had: " + error);
    }
    signal_number = signals.Wait();
  }
  stop_requested = true;
  if (!serve_failed.load()) LogLine(StrFormat("nvxserver stopping on signal %d", signal_number));
  // A signal may come before the server thread has begun to listen; a stop request then
  // would be lost, so it waits for the listening to begin (or the thread to end).
  while (!serve_ended.load() && !frontend.listening()) platform::GetClock().SleepMillis(10);
  if (!serve_ended.load()) frontend.RequestStop();
  server_thread.join();
  if (serve_failed.load()) {
    *err = "the server stopped listening";
    return kExitFailed;
  }
  LogLine("nvxserver stopped");
  return kExitOk;
}

}  // namespace nvx::service
