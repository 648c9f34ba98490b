// The nvxapi library: the one header a caller includes.
//
// CNvxapi does all the work on the wire. Each object owns a shared block of settings and
// state and one worker thread. Setters copy their values at once, on the caller's thread.
// Long operations post a command to the worker and return at once; the caller polls
// GetStatus (0 idle, 1 busy, 2 succeeded, 3 failed) and reads GetErrorCode,
// GetStatusMsg, GetConclusion and GetHttpResponse. SetServer, Reset and GetStats wait
// until the worker has finished. One thread drives a CNvxapi; settings are changed only
// while no command is busy. Nothing here throws.
//
// Text arguments are zero-terminated and copied; a null pointer reads as the empty text.
// Text results belong to the library and stay valid until the next call that changes
// them; the caller frees nothing.
//
// CNvxauth scrambles passwords and checks scrambled login tokens; it keeps no state and
// may be used from any thread.
#ifndef NVX_API_NVXAPI_H_
#define NVX_API_NVXAPI_H_

#include <cstdint>

#define NVXAPI_EXPORT __attribute__((visibility("default")))

// The progress of the transfer in hand. GetTransferProgress returns a snapshot that the
// library owns and that does not change until the next GetTransferProgress.
struct TransferProgress {
  int32_t sequence;       // number of the file in hand; 0 when a folder pass starts
  int32_t total_blocks;   // transfer blocks of the current file, 0 when unknown
  int32_t block;          // the block being sent or received
  const char* file_name;  // the current file's name, or an empty text
  int32_t waiting;        // 1 while the worker pauses after a file
  int32_t phase;          // 1 upload ... 10 processing changes; anything else: no file
  int32_t files_uploaded;
  int32_t files_upload_updated;
  int32_t files_upload_matched;
  int32_t files_upload_error;
  int32_t files_upload_zero_length;
  int32_t files_uploaded_uncompressed;
  int32_t files_downloaded;
  int32_t files_download_updated;
  int32_t files_download_matched;
  int32_t files_download_error;
  int32_t replacement_count;
  int32_t files_not_found;
};

namespace nvx {
struct SharedBlock;
struct FacadeAccess;

// What GetStatus, GetErrorCode and the progress record's phase report.
enum CommandStatus : int32_t {
  kStatusIdle = 0,
  kStatusBusy = 1,
  kStatusSucceeded = 2,
  kStatusFailed = 3,
};

enum ErrorCode : int32_t {
  kErrorNone = 0,
  kErrorSocketCreate = 1,
  kErrorConnect = 2,
  kErrorQuotaExceeded = 3,
  kErrorUploadRefused = 4,
  kErrorNoFolderList = 5,
  kErrorFolderNotFound = 6,
  kErrorNoLocalFolder = 7,
  kErrorLocalFileOpen = 8,
  kErrorProxyAuth = 9,
  kErrorIdInvalid = 10,
  kErrorPasswordInvalid = 11,
  kErrorTransferConnection = 12,
  kErrorFileMapping = 13,
  kErrorAccountDisabled = 14,
  kErrorPasswordExpired = 15,
};

enum TransferPhase : int32_t {
  kPhaseNone = 0,
  kPhaseUploading = 1,
  kPhaseDownloading = 2,
  kPhaseUpdating = 3,
  kPhaseSkipping = 4,
  kPhaseFileInUse = 5,
  kPhaseServerInformation = 6,
  kPhaseCompressing = 7,
  kPhaseUncompressing = 8,
  kPhaseDeterminingChanges = 9,
  kPhaseProcessingChanges = 10,
};

}  // namespace nvx

class NVXAPI_EXPORT CNvxapi {
 public:
  CNvxapi();
  // Ends the worker and releases the block when this was its last owner. A command that
  // is still busy is asked to stop; the destructor never waits more than a few seconds.
  ~CNvxapi();
  // Copies share one block and one worker; the block ends with its last owner.
  CNvxapi(const CNvxapi& other);
  CNvxapi& operator=(const CNvxapi& other);

  // Server and credentials.
  // A list of servers tried in order, each "https://HOST[:PORT]" (TLS, port 443 by
  // default), "http://HOST[:PORT]" or "HOST[:PORT]" (plain, port 80), separated by commas;
  // empty: the default list.
  void SetServer(const char* host);
  // The PEM file of the authorities a TLS server's certificate must chain to; empty or
  // null: the system's trust store.
  void SetServerCA(const char* pem_file);
  void SetUserAuth(const char* user, const char* password);
  void SetUserAuthEncrypted(const char* user, const char* scrambled_password);
  void SetProxyServer(const char* host, const char* port);
  void SetProxyAuth(const char* id, const char* password);
  void SetProxyAuthEncrypted(const char* id, const char* scrambled_password);

  // Long operations: they post a command and return at once.
  void VerifyId();
  void GetNVXFolderList();
  void UploadFile();
  // Sends the activity log: false (nothing posted) when no log is open.
  bool SendLog(int32_t purpose);
  void CleanNVX();
  void VerifyNVXPath(const char* server_path);
  void DeleteEmptyNVXFolders();
  void DownloadFile();
  void EmailStats(bool to_user, bool to_administrator);
  void EmailSend(bool to_user, bool to_administrator, const char* subject, const char* body);
  void EmailSendJustText(bool to_user, bool to_administrator, const char* subject,
                         const char* body);
  void ResetSpace();
  // Fetch the service's version file ("version.txt") and the help file of this release.
  // The help file is written to the work directory (the current folder when none is set)
  // as "norrvaulthelp-1.0.8.chm". A file the server does not deliver fails the command
  // (status 3) with the reason in GetStatusMsg.
  void FetchVersionFile();
  void FetchHelpFile();
  // The figures and the note of the last version file fetched; all 0 and empty before.
  void GetVersion(int32_t* major, int32_t* minor, int32_t* build);
  const char* GetVersionNote();

  // Synchronous operations: they return when the worker has finished.
  void Reset();
  // The statistics text of the last transfer job.
  const char* GetStats();

  void SetStartTime();
  void SetStopTime();
  void SetResultsType(const char* results_type);

  // Looks a server path up in the loaded folder list and maps it. False with error code
  // 5 when no list is loaded, 6 when the path is not in it.
  bool MapNVXPath(const char* server_path);
  void DumpStats();
  void ResetStats();

  int32_t GetStatus();
  int32_t GetErrorCode();
  const char* GetConclusion();
  const char* GetHttpResponse();
  const char* GetStatusMsg();

  // Activity log and results report.
  void SetLogDirectory(const char* folder);
  void SetLogLevel(int32_t level);
  void WriteResult(const char* text);
  void PendAndCloseResult(const char* head, const char* details_header, const char* extra,
                          const char* notes_header, const char* note1, const char* note2);
  const char* GetLogFileName();

  // Job settings.
  void SetLocalDirectory(const char* folder);
  // True when the account is over its quota.
  bool TestOverQuota();
  void SetWorkDirectory(const char* folder);
  void SetLocalFile(const char* file_or_pattern);
  void SetNVXFolder(const char* server_folder);
  void SetNVXFile(const char* file_or_pattern);
  void SetVerification(bool verify);
  void UseNvxDate(bool use_server_date);
  void DuplicateFiles(bool duplicates);
  void SetFileCompare(int32_t mode);
  void SetDoSubFolder(bool include_subfolders);
  void SetMoveFile(bool move);
  void SetCompress(bool compress);
  void SetTransferCompress(bool transfer_compress);
  void SetSkipFolder(const char* folder_name);
  void SetExcludeExtension(const char* extension);
  // Files an upload keeps in flight at once, each on a connection of its own (1 to 8;
  // other values are brought into that range). Reset sets 1 again. Results, notes and
  // counts come out in the same order whatever the number.
  void SetTransfers(int32_t files_in_flight);

  // Pausing after each file.
  void SetSyncFileAccess(bool pause_after_each_file);
  void SyncFileAccess();
  void SyncFileAccessNext();

  // The mapped server folder; false (or a null name) when none is mapped.
  bool FolderNoShow();
  bool FolderNoAccess();
  bool FolderWriteAccess();
  const char* FolderName();

  TransferProgress* GetTransferProgress();
  // Blocks until the transfer's progress changed since the last call returned (a file
  // began, the worker pauses after a file, the command ended) or `milliseconds` passed,
  // whichever comes first. True when a change was seen. Lets a caller that watches a
  // transfer release each pause as soon as it begins instead of polling for it.
  bool WaitTransferChange(int32_t milliseconds);

 private:
  friend struct nvx::FacadeAccess;
  nvx::SharedBlock* block_;
};

class NVXAPI_EXPORT CNvxauth {
 public:
  CNvxauth();
  ~CNvxauth();
  CNvxauth& operator=(const CNvxauth& other);

  // Writes the scrambled login token of `user` and `password` into `output` (at least
  // 256 bytes).
  void GenerateAuthData(const char* user, const char* password, char* output);
  // Writes the scrambled form of `text` into `output` (at least 256 bytes).
  void GenerateEncryptData(const char* text, char* output);
  // True when `token` deciphers to a login token of `user` (letter case ignored).
  bool VerifyAuthId(const char* user, const char* token);

 private:
  void* reserved_;
};

// Kept for callers built against earlier releases; nothing creates them.
class CNvxfile {
 public:
  NVXAPI_EXPORT CNvxfile& operator=(const CNvxfile& other);

 private:
  void* handle_ = nullptr;
};

class CNvxfolder {
 public:
  NVXAPI_EXPORT CNvxfolder& operator=(const CNvxfolder& other);

 private:
  void* handle_ = nullptr;
};

#endif  // NVX_API_NVXAPI_H_
