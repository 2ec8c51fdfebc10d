#include "uploader/program.h"

#include "platform/system.h"
#include "uploader/upload_session.h"

namespace uploader {

int RunProgram(platform::System& system, bool hasArgumentText) {
  if (!hasArgumentText) {
    system.desktop.messageBox(kUsageText, kUsageCaption,
                              platform::MB_ICONINFORMATION | platform::MB_OK);
    return 0;
  }
  CUploadSession session(system);
  session.Run();
  return 0;
}

}  // namespace uploader
