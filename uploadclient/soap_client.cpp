#include "uploadclient/soap_client.h"

#include <cstdio>

namespace {

using platform::ErrorCode;

constexpr char kAgent[] = "VCSoapClient";
constexpr char kContentTypeLine[] = "Content-Type: text/xml; charset=utf-8\r\n";
constexpr std::uint32_t kDefaultBudgetMs = 30'000;
constexpr std::uint32_t kRetryPauseMs = 2'000;
// The reason phrase is read into a buffer of this size, terminator included.
constexpr std::size_t kStatusTextCapacity = 256;
constexpr std::size_t kDebugLineCapacity = 1024;
constexpr std::uint32_t kPromptFlags = platform::FLAGS_ERROR_UI_FILTER_FOR_ERRORS |
                                       platform::FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                       platform::FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::uint16_t defaultPort(std::string_view scheme) {
  struct Entry {
    std::string_view scheme;
    std::uint16_t port;
  };
  static constexpr Entry kSchemes[] = {{"ftp", 21}, {"gopher", 70}, {"http", 80},  {"https", 443},
                                       {"file", 0}, {"news", 0},    {"mailto", 0}, {"socks", 1080}};
  for (const Entry& e : kSchemes) {
    if (equalsNoCase(e.scheme, scheme)) return e.port;
  }
  return 0;
}

bool splitUrl(std::string_view text, CFixedSoapWininetClient::Url& out) {
  std::size_t colon = text.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  std::string_view scheme = text.substr(0, colon);
  for (char c : scheme) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '+' || c == '-' || c == '.';
    if (!ok) return false;
  }
  std::string_view rest = text.substr(colon + 1);
  if (rest.substr(0, 2) != "//") return false;
  rest.remove_prefix(2);

  std::size_t authorityEnd = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view tail =
      authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
  std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);

  std::string_view host;
  std::string_view portText;
  bool hasPort = false;
  if (!authority.empty() && authority.front() == '[') {
    std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    host = authority.substr(1, close - 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return false;
      hasPort = true;
      portText = after.substr(1);
    }
  } else {
    std::size_t portColon = authority.find(':');
    host = authority.substr(0, portColon);
    if (portColon != std::string_view::npos) {
      hasPort = true;
      portText = authority.substr(portColon + 1);
    }
  }
  if (host.empty()) return false;

  std::uint32_t port = defaultPort(scheme);
  if (hasPort) {
    if (portText.empty() || portText.size() > 5) return false;
    port = 0;
    for (char c : portText) {
      if (c < '0' || c > '9') return false;
      port = port * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (port > 0xFFFF) return false;
  }

  std::size_t question = tail.find('?');
  out.scheme = std::string(scheme);
  out.host = std::string(host);
  out.port = static_cast<std::uint16_t>(port);
  out.path = std::string(tail.substr(0, question));
  out.query =
      question == std::string_view::npos ? std::string() : std::string(tail.substr(question));
  return true;
}

}  // namespace

CFixedSoapWininetClient::CFixedSoapWininetClient(platform::System& system)
    : CFixedSoapWininetClient(system, system.internet) {}

CFixedSoapWininetClient::CFixedSoapWininetClient(platform::System& system,
                                                 platform::Internet& internet)
    : system_(system), internet_(internet) {}

CFixedSoapWininetClient::~CFixedSoapWininetClient() {
  ResetForRequest();
  CloseAll();
}

ErrorCode CFixedSoapWininetClient::SetUrl(std::string_view url) {
  CloseAll();
  Url split;
  if (!splitUrl(url, split)) return platform::E_FAIL;
  url_ = std::move(split);
  objectPath_ = url_.path + url_.query;
  return platform::ERROR_SUCCESS;
}

void CFixedSoapWininetClient::ResetForRequest() {
  requestBody_.clear();
  CloseRequest();
  faultInfo.clear();
  errorState = SoapClientState::Success;
}

void CFixedSoapWininetClient::ClearStatus() {
  errorState = SoapClientState::Success;
  lastError = platform::ERROR_SUCCESS;
  statusText_.clear();
  failedStepText_.clear();
}

ErrorCode CFixedSoapWininetClient::CreateFaultReader(
    std::unique_ptr<uploadclient::NamespaceSaxReader>& out) {
  out = std::make_unique<uploadclient::NamespaceSaxReader>();
  return platform::ERROR_SUCCESS;
}

ErrorCode CFixedSoapWininetClient::ParseFault(uploadclient::ResponseStream* stream,
                                              uploadclient::NamespaceSaxReader* reader) {
  if (stream == nullptr) return platform::E_INVALIDARG;
  std::unique_ptr<uploadclient::NamespaceSaxReader> created;
  if (reader == nullptr) {
    if (CreateFaultReader(created) != platform::ERROR_SUCCESS || created == nullptr) {
      return platform::E_FAIL;
    }
    reader = created.get();
  }
  return uploadclient::readSoapFault(*stream, *reader, faultInfo);
}

bool CFixedSoapWininetClient::ConnectToServer() {
  if (connection_ != nullptr) return true;
  ErrorCode error = internet_.open(kAgent, session_);
  if (error != platform::ERROR_SUCCESS) {
    lastError = error;
    failedStepText_ = "InternetOpen failed";
    CloseAll();
    return false;
  }
  if (timeout != 0) {
    session_->setTimeout(platform::InternetTimeout::Connect, timeout);
    session_->setTimeout(platform::InternetTimeout::Receive, timeout);
    session_->setTimeout(platform::InternetTimeout::Send, timeout);
  }
  error = session_->connect(url_.host, url_.port, connection_);
  if (error != platform::ERROR_SUCCESS) {
    lastError = error;
    failedStepText_ = "InternetConnect failed";
    CloseAll();
    return false;
  }
  return true;
}

bool CFixedSoapWininetClient::SendHttpRequest(std::string_view headers) {
  const std::uint32_t budget = timeout != 0 ? timeout : kDefaultBudgetMs;
  const std::uint32_t start = system_.clock.tickCount();
  for (;;) {
    ClearStatus();
    if (request_ == nullptr) {
      platform::InternetRequestOptions options;
      options.verb = "POST";
      options.objectPath = objectPath_;
      options.version = "HTTP/1.0";
      options.acceptTypes = {"text/*"};
      options.keepConnection = true;
      options.secure = equalsNoCase(url_.scheme, "https");
      ErrorCode error = connection_->openRequest(options, request_);
      if (error != platform::ERROR_SUCCESS) {
        request_.reset();
        lastError = error;
        failedStepText_ = "HttpOpenRequest failed";
        Debug("CFixedSoapWininetClient::SendHttpRequest() HttpOpenRequest failed with error %d\n",
              error);
        return false;
      }
    }

    ErrorCode error = platform::ERROR_SUCCESS;
    bool brokeDown = false;
    try {
      error = request_->send(headers, requestBody_);
    } catch (...) {
      brokeDown = true;
    }
    if (brokeDown) {
      // No code was recorded, so the retry rule has nothing to go by.
      failedStepText_ = "HttpSendRequest failed";
      system_.debugOutput.write(
          "Unexpected exception in CFixedSoapWininetClient::SendHttpRequest()\n");
      return false;
    }
    if (error == platform::ERROR_SUCCESS) return true;

    lastError = error;
    failedStepText_ = "HttpSendRequest failed";
    // Unsigned difference: right across the tick counter's wrap.
    const std::uint32_t elapsed = system_.clock.tickCount() - start;
    if (error == platform::ERROR_INTERNET_CANNOT_CONNECT && budget >= kRetryPauseMs &&
        elapsed <= budget - kRetryPauseMs) {
      CloseRequest();
      Debug(
          "CFixedSoapWininetClient::SendHttpRequest() attempt failed with error %d, retrying...\n",
          error);
      system_.clock.sleep(kRetryPauseMs);
      continue;
    }
    Debug("CFixedSoapWininetClient::SendHttpRequest() all attempts failed with error %d\n", error);
    return false;
  }
}

ErrorCode CFixedSoapWininetClient::SendRequest(std::string_view soapActionLine) {
  // Nothing of an earlier request's failure may describe this one.
  ClearStatus();
  if (!ConnectToServer()) {
    errorState = SoapClientState::ConnectError;
    return platform::E_FAIL;
  }
  headers_.assign(soapActionLine);
  headers_ += kContentTypeLine;

  for (;;) {
    ClearStatus();
    if (SendHttpRequest(headers_)) {
      responseStream_.request = request_.get();
      std::uint32_t status = 0;
      if (request_->statusCode(&status) != platform::ERROR_SUCCESS) status = 0;
      if (status == 200) return platform::ERROR_SUCCESS;
      if (status == 401 || status == 407) {
        ErrorCode answer = request_->errorPrompt(platform::ERROR_SUCCESS, kPromptFlags);
        if (answer == platform::ERROR_INTERNET_FORCE_RETRY) continue;
        errorState = SoapClientState::SendError;
        SetStatusText(status);
        if (answer == platform::ERROR_SUCCESS || answer == platform::ERROR_CANCELLED) {
          failedStepText_ = "InternetErrorDlg cancelled by user";
        } else {
          lastError = answer;
          failedStepText_ = "InternetErrorDlg failed";
        }
        return platform::E_FAIL;
      }
      if (status == 500) {
        errorState = SoapClientState::SoapFault;
        std::unique_ptr<uploadclient::NamespaceSaxReader> reader;
        if (CreateFaultReader(reader) == platform::ERROR_SUCCESS && reader != nullptr) {
          if (ParseFault(&responseStream_, reader.get()) != platform::ERROR_SUCCESS) {
            errorState = SoapClientState::FaultParseError;
          }
        }
        SetStatusText(status);
        return platform::E_FAIL;
      }
      Debug("CFixedSoapWininetClient::SendRequest(): The server returned HTTP Error %d\n", status);
      errorState = SoapClientState::ServerError;
      SetStatusText(status);
      return platform::E_FAIL;
    }

    switch (request_ != nullptr ? lastError : platform::ERROR_SUCCESS) {
      case platform::ERROR_INTERNET_INCORRECT_PASSWORD:
      case platform::ERROR_INTERNET_SEC_CERT_DATE_INVALID:
      case platform::ERROR_INTERNET_SEC_CERT_CN_INVALID:
      case platform::ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR:
      case platform::ERROR_INTERNET_POST_IS_NON_SECURE:
      case platform::ERROR_INTERNET_INVALID_CA: {
        ErrorCode answer = request_->errorPrompt(lastError, kPromptFlags);
        if (answer == platform::ERROR_SUCCESS || answer == platform::ERROR_INTERNET_FORCE_RETRY) {
          continue;
        }
        errorState = SoapClientState::SendError;
        if (answer == platform::ERROR_CANCELLED) {
          failedStepText_ = "InternetErrorDlg cancelled by user";
        } else {
          lastError = answer;
          failedStepText_ = "InternetErrorDlg failed";
        }
        return platform::E_FAIL;
      }
      default:
        Debug("CFixedSoapWininetClient::SendRequest(): SendHttpRequest failed with error %d\n",
              lastError);
        errorState = SoapClientState::SendError;
        return platform::E_FAIL;
    }
  }
}

void CFixedSoapWininetClient::SetStatusText(std::uint32_t status) {
  statusText_ = std::to_string(static_cast<int>(status)) + " ";
  std::string reason;
  if (request_ != nullptr && request_->statusText(&reason) == platform::ERROR_SUCCESS) {
    if (reason.size() >= kStatusTextCapacity) reason.resize(kStatusTextCapacity - 1);
    statusText_ += reason;
  }
}

void CFixedSoapWininetClient::CloseRequest() {
  responseStream_.request = nullptr;
  request_.reset();
}

void CFixedSoapWininetClient::CloseAll() {
  CloseRequest();
  connection_.reset();
  session_.reset();
}

void CFixedSoapWininetClient::Debug(const char* format, long long value) {
  char line[kDebugLineCapacity];
  std::snprintf(line, sizeof line, format, static_cast<int>(value));
  system_.debugOutput.write(line);
}

ErrorCode CFixedSoapWininetClient::Stream::read(void* buffer, std::uint32_t size,
                                                std::uint32_t* got) {
  *got = 0;
  if (request == nullptr) return platform::ERROR_INVALID_HANDLE;
  return request->read(buffer, size, got);
}
