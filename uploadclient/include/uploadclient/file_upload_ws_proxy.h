// The FileUploadWS service: StartUpload, UploadChunk and EndUpload as SOAP 1.1
// requests, and what the uploader reads from their answers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "uploadclient/soap_client.h"

class CFileUploadWSProxy : public CFixedSoapWininetClient {
 public:
  // The session id travels in a text field of this many bytes, terminator
  // included; a longer one is refused rather than cut.
  static constexpr std::size_t kSessionHeaderIdCapacity = 1024;

  explicit CFileUploadWSProxy(platform::System& system);
  CFileUploadWSProxy(platform::System& system, platform::Internet& internet);

  // Opens an upload session for `filename` (ANSI text) of `filesize` bytes.
  // `result` receives the session id of the pages when the answer carries it.
  platform::ErrorCode StartUpload(const char* filename, std::int32_t filesize,
                                  std::u16string* result);
  // Sends the next `count` bytes of the file.
  platform::ErrorCode UploadChunk(std::uint32_t count, const void* data);
  platform::ErrorCode EndUpload();

  // From the last StartUpload answer that had one; sent with every later
  // request.
  const std::string& sessionHeaderId() const { return sessionHeaderId_; }

 private:
  template <typename WriteBody>
  platform::ErrorCode Run(std::string_view soapActionLine, bool withSessionHeader,
                          WriteBody writeBody, std::u16string* result);

  std::string sessionHeaderId_;
  std::string chunkText_;
  std::string responseText_;
};
