#include "transfer/file_digest.h"

#include "api/activity_log.h"
#include "platform/text_format.h"
#include "transfer/md5.h"

namespace nvx {

bool GenerateFileMD5(TransferSession& session, platform::File& file) {
  SharedBlock& block = session.block();
  SetStatusMessage(block, StrFormat("Computing file %s verification", block.current_file.c_str()));

  Md5Context context;
  Md5Init(context);
  bool whole = true;
  for (;;) {
    int64_t got = file.Read(session.buffer(), session.buffer_size());
    if (got == 0) break;
    if (got < 0) {
      LogLine(block, kLineError, " Err - GenerateFileMD5 Read Error %d\n", file.error());
      whole = false;
      break;
    }
    Md5Update(context, session.buffer(), static_cast<size_t>(got));
    // A file of gigabytes must not hold up the end of a CNvxapi that is going away.
    if (session.StopRequested()) {
      whole = false;
      break;
    }
  }
  Md5Final(context, block.local_digest.data());
  file.Seek(0);
  return whole;
}

}  // namespace nvx
