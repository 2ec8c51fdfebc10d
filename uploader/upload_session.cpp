#include "uploader/upload_session.h"

#include <array>
#include <cstdlib>
#include <limits>
#include <span>

#include "platform/system.h"
#include "uploadclient/file_upload_ws_proxy.h"
#include "uploader/browser.h"
#include "uploader/header_probe.h"
#include "uploader/messages.h"
#include "uploader/options.h"

namespace uploader {

namespace {

// The upload client's readers need COM on Windows for the client's whole
// life; the readers of the other systems need nothing, so the bracket is
// empty there.
class ComApartment {
 public:
  ComApartment() = default;
  ~ComApartment() = default;
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

// The one buffer that holds document data: a chunk at a time.
class ChunkBuffer {
 public:
  // A size the file reads can't take counts as memory that can't be had.
  explicit ChunkBuffer(std::uint64_t size) {
    if (size == 0 || size > std::numeric_limits<std::uint32_t>::max()) return;
    bytes_.reset(static_cast<std::byte*>(std::malloc(static_cast<std::size_t>(size))));
    if (bytes_ != nullptr) size_ = static_cast<std::uint32_t>(size);
  }

  bool valid() const { return bytes_ != nullptr; }
  std::byte* data() { return bytes_.get(); }
  std::uint32_t size() const { return size_; }
  void release() {
    bytes_.reset();
    size_ = 0;
  }

 private:
  struct Free {
    void operator()(std::byte* bytes) const { std::free(bytes); }
  };
  std::unique_ptr<std::byte, Free> bytes_;
  std::uint32_t size_ = 0;
};

// "-chunksize" in kilobytes. 0 (also a value without digits) would read
// nothing and close the session as if the document were empty, which then
// deletes it unsent: it takes the default instead.
std::uint64_t ChunkSizeKilobytes(platform::System& system) {
  const std::string value = LookUpOption(system.environment, kChunkSizeOption);
  const std::uint32_t kilobytes = value.empty() ? kDefaultChunkSizeKilobytes : ParseDigits(value);
  return kilobytes != 0 ? kilobytes : kDefaultChunkSizeKilobytes;
}

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
  std::unique_ptr<platform::File> document;
  std::uint64_t size = 0;
  if (!OpenDocument(documentPath, document, size)) return;
  {
    [[maybe_unused]] const ComApartment com;
    CFileUploadWSProxy client(system_);
    {
      std::unique_ptr<platform::Process> browser;
      Transfer(documentPath, *document, client, browser);
    }
    // Closed before the delete: a document still open could not go on
    // systems that lock open files.
    document.reset();
    if (!IsSwitchedOff(LookUpOption(system_.environment, kDeleteOption))) {
      // The print driver's spool file is temporary; a file that is already
      // gone is not worth a box.
      system_.files.remove(documentPath);
    }
  }
}

bool CUploadSession::OpenDocument(const std::string& documentPath,
                                  std::unique_ptr<platform::File>& document, std::uint64_t& size) {
  platform::FileOpenOptions options;
  options.access = platform::kAccessRead;
  options.share = platform::kShareRead;
  options.disposition = platform::FileDisposition::OpenExisting;
  options.sequentialScan = true;
  if (const platform::ErrorCode error = system_.files.open(documentPath, options, document)) {
    ReportFileFailure(error, documentPath, "CreateFile failed", ErrorPage::CannotOpenFile);
    return false;
  }
  if (const platform::ErrorCode error = document->size(&size)) {
    ReportFileFailure(error, documentPath, "GetFileSize failed", ErrorPage::CannotGetFileSize);
    return false;
  }
  fileSize = static_cast<std::uint32_t>(size);
  const auto high = static_cast<std::uint32_t>(size >> 32);
  if (high != 0) {
    ShowSystemError(system_, platform::ERROR_INVALID_DATA, documentPath);
    ShowMessage(system_, 1, "File too large", documentPath, platform::MB_ICONWARNING);
    ErrorFacts facts;
    facts.fileSize = FormatSize64(fileSize, high);
    facts.filePath = documentPath;
    OpenErrorPage(ErrorPage::FileTooLarge, facts);
    return false;
  }
  return true;
}

void CUploadSession::ReportFileFailure(platform::ErrorCode error, const std::string& documentPath,
                                       std::string_view caption, ErrorPage page) {
  ShowSystemError(system_, error, documentPath);
  ShowMessage(system_, 1, caption, documentPath, platform::MB_ICONWARNING);
  ErrorFacts facts;
  facts.filePath = documentPath;
  facts.systemError = FormatSystemError(system_, error);
  OpenErrorPage(page, facts);
}

void CUploadSession::Transfer(const std::string& documentPath, platform::File& document,
                              CFileUploadWSProxy& client,
                              std::unique_ptr<platform::Process>& browser) {
  if (const std::string timeout = LookUpOption(system_.environment, kTimeoutOption);
      !timeout.empty()) {
    client.timeout = ParseDigits(timeout) * 1000u;
  }
  const std::uint64_t chunkBytes = ChunkSizeKilobytes(system_) * std::uint64_t{1024};

  std::array<std::byte, kHeaderProbeSize> header{};
  HeaderStatistics statistics;
  std::uint32_t got = 0;
  if (document.read(header.data(), kHeaderProbeSize, &got) == platform::ERROR_SUCCESS) {
    document.seek(0, platform::SeekOrigin::Begin);
    statistics = ProbeHeader(std::span(header).first(got));
  }

  const std::string webServiceUrl = WebServiceUrl(server, webServicePath);
  client.SetUrl(webServiceUrl);

  std::u16string returnedId;
  if (const platform::ErrorCode status = client.StartUpload(
          documentPath.c_str(), static_cast<std::int32_t>(fileSize), &returnedId);
      status != platform::ERROR_SUCCESS) {
    ReportServiceFailure(client, status, "StartUpload failed", ErrorPage::StartUploadFailed,
                         documentPath, webServiceUrl);
    return;
  }
  system_.codePages.fromUtf16(platform::CP_ACP, returnedId, &sessionId);

  const bool watchWizard = !IsSwitchedOff(LookUpOption(system_.environment, kCheckWizardOption));
  const std::string size = FormatNumber(static_cast<std::int32_t>(fileSize));
  const std::string compressionRate =
      statistics.compressionRate != 0 ? FormatNumber(statistics.compressionRate) : std::string();
  const std::string pageCount =
      statistics.pageCount != 0 ? FormatNumber(statistics.pageCount) : std::string();
  const std::string wizardUrl =
      WizardPageUrl(Context(), wizardPath,
                    WizardFacts{FileNameOf(documentPath), size, compressionRate, pageCount});
  if (!OpenUrl(wizardUrl, watchWizard ? &browser : nullptr)) {
    ShowMessage(system_, 1, "Dravik(1): Cannot browse to the wizard page", wizardUrl,
                platform::MB_ICONWARNING);
    return;
  }

  ChunkBuffer chunk(chunkBytes);
  bool chunkFailed = false;
  for (bool stop = false; !stop;) {
    platform::ErrorCode error = chunk.valid() ? document.read(chunk.data(), chunk.size(), &got)
                                              : platform::ERROR_NOT_ENOUGH_MEMORY;
    if (error != platform::ERROR_SUCCESS) {
      ShowSystemError(system_, error, documentPath);
      ErrorFacts facts;
      facts.filePath = documentPath;
      facts.fileSize = size;
      facts.fileOffset = FormatNumber(static_cast<std::int32_t>(bytesSent));
      facts.systemError = FormatSystemError(system_, error);
      OpenErrorPage(ErrorPage::CannotReadFile, facts);
      stop = true;
    } else if (got == 0) {
      stop = true;
    } else if (browser != nullptr && browser->hasEnded()) {
      ShowSystemError(system_, platform::ERROR_CANCELLED, wizardUrl);
      stop = true;
      ShowMessage(system_, 1, "Dravik(1): UploadChunk aborted", "The wizzard has been cancelled",
                  platform::MB_ICONWARNING);
    } else if (const platform::ErrorCode status = client.UploadChunk(got, chunk.data());
               status != platform::ERROR_SUCCESS) {
      chunkFailed = true;
      ReportServiceFailure(client, status, "Dravik(1): UploadChunk failed",
                           ErrorPage::UploadChunkFailed, documentPath, webServiceUrl);
      stop = true;
    } else {
      bytesSent += got;
    }
  }
  chunk.release();

  if (chunkFailed) return;
  if (const platform::ErrorCode status = client.EndUpload(); status != platform::ERROR_SUCCESS) {
    ReportServiceFailure(client, status, "EndUpload failed", ErrorPage::EndUploadFailed,
                         documentPath, webServiceUrl);
  }
}

void CUploadSession::ReportServiceFailure(CFileUploadWSProxy& client, platform::ErrorCode status,
                                          std::string_view caption, ErrorPage page,
                                          const std::string& documentPath,
                                          const std::string& webServiceUrl) {
  const platform::ErrorCode code =
      client.lastError != platform::ERROR_SUCCESS ? client.lastError : status;
  const auto state = static_cast<std::int32_t>(client.errorState);
  ShowSystemError(system_, code, webServiceUrl);
  ShowMessage(system_, 1, caption,
              FormatSoapError(system_.codePages, state, client.faultInfo.detail),
              platform::MB_ICONWARNING);
  ErrorFacts facts;
  facts.failure = FormatSoapError(system_.codePages, state, std::nullopt);
  system_.codePages.fromUtf16(platform::CP_ACP, client.faultInfo.detail, &facts.errorDetail);
  facts.fileName = FileNameOf(documentPath);
  facts.fileSize = FormatNumber(static_cast<std::int32_t>(fileSize));
  facts.fileOffset = FormatNumber(static_cast<std::int32_t>(bytesSent));
  facts.url = webServiceUrl;
  facts.connection = client.GetFailedStepText();
  facts.status = client.GetStatusText();
  facts.systemError = FormatSystemError(system_, code);
  OpenErrorPage(page, facts);
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
