#include <memory>

#include "platform/system.h"
#include "uploader/messages.h"
#include "uploader/options.h"
#include "uploader/plugin_contract.h"
#include "uploader/upload_session.h"

namespace uploader {

bool CUploadSession::SubmitDocument(const std::string& documentPath) {
  bool pathCut = false;
  const std::string libraryPath = LookUpOption(system_.environment, kSubmitDocOption, &pathCut);
  if (libraryPath.empty()) return true;

  // A library path cut to its buffer names another library; that one is never
  // loaded and run.
  std::unique_ptr<platform::Library> library;
  if (const platform::ErrorCode error = pathCut ? platform::ERROR_FILENAME_EXCED_RANGE
                                                : system_.libraries.load(libraryPath, library);
      error != platform::ERROR_SUCCESS) {
    ShowSystemError(system_, error, libraryPath);
    ErrorFacts facts;
    facts.libraryPath = libraryPath;
    facts.systemError = FormatSystemError(system_, error);
    OpenErrorPage(ErrorPage::CannotLoadLibrary, facts);
    ShowMessage(system_, 1, "Dravik(1): SubmitDoc cannot load library", libraryPath,
                platform::MB_ICONWARNING);
    return false;
  }

  if (const auto initialize = library->function<InitializeAProc>(kInitializeProcName);
      initialize != nullptr && initialize(0, 0) == 0) {
    ShowSystemError(system_, platform::ERROR_DLL_INIT_FAILED, libraryPath);
    ErrorFacts facts;
    facts.libraryPath = libraryPath;
    OpenErrorPage(ErrorPage::CannotInitializeLibrary, facts);
    ShowMessage(system_, 1, "Dravik(1): SubmitDoc initialisation failed", libraryPath,
                platform::MB_ICONWARNING);
    // A library that refused to start up is not asked to shut down.
    return false;
  }
  const auto uninitialize = library->function<UninitializeProc>(kUninitializeProcName);

  ErrorPage refusal;
  ErrorFacts facts;
  facts.libraryPath = libraryPath;
  platform::ErrorCode error = platform::ERROR_SUCCESS;
  const auto submitDoc = library->function<SubmitDocAProc>(kSubmitDocProcName, &error);
  if (submitDoc == nullptr) {
    ShowSystemError(system_, error, kSubmitDocProcName);
    refusal = ErrorPage::CannotRetrieveProcedure;
    facts.systemError = FormatSystemError(system_, error);
  } else if (submitDoc(nullptr, documentPath.c_str(), -1, 0) != 0) {
    if (uninitialize != nullptr) uninitialize();
    return true;
  } else {
    ShowSystemError(system_, platform::ERROR_FUNCTION_FAILED, kSubmitDocProcName);
    refusal = ErrorPage::SubmitDocFailed;
    facts.filePath = documentPath;
  }

  OpenErrorPage(refusal, facts);
  ShowMessage(system_, 1, "Dravik(1): SubmitDoc failed", documentPath, platform::MB_ICONWARNING);
  if (uninitialize != nullptr) uninitialize();
  return false;
}

}  // namespace uploader
