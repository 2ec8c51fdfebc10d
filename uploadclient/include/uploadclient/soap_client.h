// The SOAP transport: one HTTP/1.0 POST per request over a kept-alive
// connection, a bounded retry while the server cannot be reached, the
// interactive prompts for credentials and certificates, SOAP faults read out of
// status 500 answers, and an error state the caller inspects after a failure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/internet.h"
#include "platform/system.h"
#include "uploadclient/response_stream.h"
#include "uploadclient/sax_reader.h"
#include "uploadclient/soap_fault.h"

enum class SoapClientState : std::int32_t {
  Success = 0,
  InitializeError = 1,
  OutOfMemory = 2,
  GenerateError = 3,
  ConnectError = 4,
  SendError = 5,
  ServerError = 6,
  SoapFault = 7,
  FaultParseError = 8,
  ReadError = 9,
  ParseError = 10,
};

class CFixedSoapWininetClient {
 public:
  // The service URL split into its parts.
  struct Url {
    std::string scheme;
    std::string host;
    std::uint16_t port = 0;
    std::string path;
    std::string query;  // from the "?" on, as given
  };

  explicit CFixedSoapWininetClient(platform::System& system);
  CFixedSoapWininetClient(platform::System& system, platform::Internet& internet);
  virtual ~CFixedSoapWininetClient();
  CFixedSoapWininetClient(const CFixedSoapWininetClient&) = delete;
  CFixedSoapWininetClient& operator=(const CFixedSoapWininetClient&) = delete;

  // Closes every handle and takes a new service URL. E_FAIL when the URL
  // cannot be split; the previous target then stays.
  platform::ErrorCode SetUrl(std::string_view url);

  // Starts a request afresh: no body, no open request, no fault, Success.
  void ResetForRequest();
  // Forgets the last failure: state, last error and both texts.
  void ClearStatus();

  // Sends the request body with the SOAPAction header line (ending in CR LF).
  // 0 when the server answered 200; otherwise E_FAIL with the error state,
  // last error, texts and fault record telling why.
  platform::ErrorCode SendRequest(std::string_view soapActionLine);

  // Reads the body of the answer to the last successful send.
  uploadclient::ResponseStream& GetResponseStream() { return responseStream_; }

  std::string GetStatusText() const { return statusText_; }
  std::string GetFailedStepText() const { return failedStepText_; }

  // Creates the reader that ParseFault uses.
  virtual platform::ErrorCode CreateFaultReader(
      std::unique_ptr<uploadclient::NamespaceSaxReader>& out);

  // Reads a fault document into `faultInfo`; 0 when it was readable. Without a
  // reader one is created with CreateFaultReader.
  platform::ErrorCode ParseFault(uploadclient::ResponseStream* stream,
                                 uploadclient::NamespaceSaxReader* reader);

  const Url& url() const { return url_; }
  const std::string& objectPath() const { return objectPath_; }

  // Milliseconds; 0 leaves the connection's own time-outs and gives the
  // retry rule a budget of 30 seconds.
  std::uint32_t timeout = 0;
  SoapClientState errorState = SoapClientState::Success;
  // System or WinINet code of the last failed step; 0 when none.
  platform::ErrorCode lastError = platform::ERROR_SUCCESS;
  CSoapFaultInfo faultInfo;

 protected:
  // The proxy writes its documents here; it is sent as it stands.
  std::string& requestBody() { return requestBody_; }
  platform::System& system() { return system_; }

 private:
  class Stream final : public uploadclient::ResponseStream {
   public:
    platform::ErrorCode read(void* buffer, std::uint32_t size, std::uint32_t* got) override;
    platform::InternetRequest* request = nullptr;
  };

  bool ConnectToServer();
  bool SendHttpRequest(std::string_view headers);
  void SetStatusText(std::uint32_t status);
  void CloseRequest();
  void CloseAll();
  void Debug(const char* format, long long value);

  platform::System& system_;
  platform::Internet& internet_;
  Url url_;
  std::string requestBody_;
  Stream responseStream_;
  std::string objectPath_;
  std::string statusText_;
  std::string failedStepText_;
  std::string headers_;
  std::unique_ptr<platform::InternetSession> session_;
  std::unique_ptr<platform::InternetConnection> connection_;
  std::unique_ptr<platform::InternetRequest> request_;
};
