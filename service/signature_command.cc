// DownLoadX: the stored document's block signature.
#include "service/service_commands.h"

namespace nvx::service {

void SignatureDownloadCommand(CommandContext& context) {
  if (!DownloadableDocument(context)) return;
  context.reply.SetConclusion(kServiceFailure);
}

}  // namespace nvx::service
