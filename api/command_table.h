// The command table: per command code its name, its routine and how the worker treats
// it (whether the caller waits on the sync event, whether the connection stays open,
// whether it is a transfer). The worker is mechanism only; what differs from code to
// code lives in the rows. The default table names the library's routines; tests hand
// the worker a table of their own.
#ifndef NVX_API_COMMAND_TABLE_H_
#define NVX_API_COMMAND_TABLE_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace nvx {

class TransferSession;

// The command codes that the facade posts to the worker.
enum CommandCode : int32_t {
  kCmdNone = 0,
  kCmdFolderList = 1,
  kCmdUpload = 2,
  kCmdVerifyId = 3,
  kCmdHelpFile = 4,
  kCmdVersionFile = 5,
  kCmdFolderFileList = 6,
  kCmdFileInfo = 7,
  kCmdDownload = 8,
  kCmdExit = 9,
  kCmdResetSpace = 10,
  kCmdReset = 11,
  kCmdEmailStats = 12,
  kCmdDeleteEmptyFolders = 13,
  kCmdEmailSend = 14,
  kCmdVerifyPath = 15,
  kCmdGetStats = 16,
  kCmdEmailSendJustText = 17,
  kCmdClean = 18,
  kCmdSetServer = 19,
};
inline constexpr int32_t kFirstCommandCode = 1;
inline constexpr int32_t kLastCommandCode = 19;

// A worker routine: runs one command on the worker's session; false means it gave up.
using Routine = bool (*)(TransferSession& session);

struct CommandRow {
  const char* name = nullptr;
  // Null: the code is not a command of this library; posting it fails (status 3).
  Routine routine = nullptr;
  // The facade call blocks on the sync event until the routine is done.
  bool signals_sync_event = false;
  // The connection stays open after the routine; every other command closes it.
  bool keeps_connection = false;
  // A transfer: posting it records the code as the transfer kind that the statistics
  // and the reports read.
  bool is_transfer = false;
};

struct CommandTable {
  std::array<CommandRow, kLastCommandCode + 1> rows{};

  // The row of `code`, or null when the code is out of range or has no routine.
  [[nodiscard]] const CommandRow* Find(int32_t code) const {
    if (code < kFirstCommandCode || code > kLastCommandCode) return nullptr;
    const CommandRow& row = rows[static_cast<size_t>(code)];
    return row.routine != nullptr ? &row : nullptr;
  }
};

// The library's commands.
[[nodiscard]] CommandTable DefaultCommandTable();

}  // namespace nvx

#endif  // NVX_API_COMMAND_TABLE_H_
