// The one object of a Dravik run: the start-up options, the upload's
// counters and session id, and the operations that show pages and call the
// submit plug-in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "uploader/pages.h"

namespace platform {
struct System;
class Process;
class File;
}  // namespace platform

class CFileUploadWSProxy;

namespace uploader {

class CUploadSession {
 public:
  // Reads the start-up options and sets debugLevel and messageLevel.
  explicit CUploadSession(platform::System& system);
  CUploadSession(const CUploadSession&) = delete;
  CUploadSession& operator=(const CUploadSession&) = delete;

  void Run();

  // Runs the "-submitdoc" plug-in on the document; false when the document must
  // not be uploaded (the failure has been reported and its page opened).
  bool SubmitDocument(const std::string& documentPath);

  // Opens `url` with the association's command. With a slot the started
  // process is handed over for the wizard watch; without one it is let go.
  bool OpenUrl(std::string_view url, std::unique_ptr<platform::Process>* slot);

  // The page parameters every page of this run shares.
  PageContext Context() const;
  // Builds and opens an error page; a page that can't be opened is reported by
  // OpenUrl and otherwise ignored.
  void OpenErrorPage(ErrorPage page, const ErrorFacts& facts);

  std::uint32_t bytesSent = 0;
  std::uint32_t fileSize = 0;
  std::string server;
  std::string webServicePath;
  std::string wizardPath;
  std::string errorPath;
  std::string sessionId;
  std::string languageCode;
  std::string skinName;

 private:
  // Everything after the plug-in: the FileUploadWS session with its wizard
  // watch, and the clean-up that deletes the document.
  void Upload(const std::string& documentPath);
  // Opens the document and reads its size; false (reported, page opened) when
  // it can't be uploaded at all.
  bool OpenDocument(const std::string& documentPath, std::unique_ptr<platform::File>& document,
                    std::uint64_t& size);
  // From the header probe to the end of the upload session; the caller's
  // clean-up follows whatever happens here.
  void Transfer(const std::string& documentPath, platform::File& document,
                CFileUploadWSProxy& client, std::unique_ptr<platform::Process>& browser);
  // The box, the diagnostic box and the error page of a document that can't
  // be opened or measured.
  void ReportFileFailure(platform::ErrorCode error, const std::string& documentPath,
                         std::string_view caption, ErrorPage page);
  // The box, the diagnostic box and the error page of a failed service call.
  void ReportServiceFailure(CFileUploadWSProxy& client, platform::ErrorCode status,
                            std::string_view caption, ErrorPage page,
                            const std::string& documentPath, const std::string& webServiceUrl);

  platform::System& system_;
};

}  // namespace uploader
