#include "uploader/upload_session.h"

#include "platform/system.h"
#include "uploader/browser.h"
#include "uploader/messages.h"
#include "uploader/options.h"

namespace uploader {

namespace {

std::string valueOrDefault(platform::Environment& environment, const OptionSpec& option,
                           std::string_view fallback) {
  std::string value = LookUpOption(environment, option);
  if (value.empty()) value = fallback;
  return value;
}

}  // namespace

CUploadSession::CUploadSession(platform::System& system)
    : server(LookUpOption(system.environment, kServerOption)),
      webServicePath(valueOrDefault(system.environment, kWebServiceOption, kDefaultWebServicePath)),
      wizardPath(valueOrDefault(system.environment, kWizardOption, kDefaultWizardPath)),
      errorPath(valueOrDefault(system.environment, kErrorOption, kDefaultErrorPath)),
      languageCode(LookUpOption(system.environment, kLangOption)),
      skinName(LookUpOption(system.environment, kSkinOption)),
      system_(system) {
  debugLevel = ParseLeadingDigits(LookUpOption(system.environment, kDebugOption));
  messageLevel = debugLevel;
}

void CUploadSession::Run() {
  bool pathCut = false;
  const std::string documentPath = LookUpOption(system_.environment, kFileOption, &pathCut);
  if (documentPath.empty()) {
    ShowSystemError(system_, platform::ERROR_BAD_ARGUMENTS, system_.environment.commandLine());
    ShowMessage(system_, 1, "Dravik(1): file option missing", "-file", platform::MB_ICONWARNING);
    OpenErrorPage(ErrorPage::MissingFileOption, {});
    return;
  }
  if (pathCut) {
    // A path cut to its buffer names another file, which the plug-in would
    // rewrite and the upload delete: it fails the way the system fails to
    // open a path that long.
    const platform::ErrorCode error = platform::ERROR_FILENAME_EXCED_RANGE;
    ShowSystemError(system_, error, documentPath);
    ShowMessage(system_, 1, "CreateFile failed", documentPath, platform::MB_ICONWARNING);
    ErrorFacts facts;
    facts.filePath = documentPath;
    facts.systemError = FormatSystemError(system_, error);
    OpenErrorPage(ErrorPage::CannotOpenFile, facts);
    return;
  }
  if (!SubmitDocument(documentPath)) {
    ShowMessage(system_, 1, "Dravik(1): invalid document", documentPath, platform::MB_ICONWARNING);
    return;
  }
  Upload(documentPath);
}

void CUploadSession::Upload(const std::string& documentPath) {
  // The transfer needs the FileUploadWS client; until that is linked in, a run
  // ends here, with the document checked, rewritten by the plug-in and kept.
  static_cast<void>(documentPath);
}

bool CUploadSession::OpenUrl(std::string_view url, std::unique_ptr<platform::Process>* slot) {
  const std::string association = LookUpOption(system_.environment, kAssociationOption);
  const std::string caption = MessageCaption(system_);
  std::unique_ptr<platform::Process> process =
      LaunchAssociation(system_, caption, url, association);
  if (!process) {
    ShowMessage(system_, 2, "Dravik(2): OpenURL", "Browse failed", platform::MB_ICONWARNING);
    return false;
  }
  if (slot != nullptr) *slot = std::move(process);
  return true;
}

PageContext CUploadSession::Context() const {
  return PageContext{server, sessionId, languageCode, skinName};
}

void CUploadSession::OpenErrorPage(ErrorPage page, const ErrorFacts& facts) {
  OpenUrl(ErrorPageUrl(Context(), errorPath, page, facts), nullptr);
}

}  // namespace uploader
