// HTTP in the handle model of the Windows Internet API: a session (agent,
// proxy settings, time-outs), a connection to one host and port, and requests
// on that connection that are sent, then answer with a status, a reason phrase
// and a body read piece by piece. A failed step returns a WinINet-numbered code
// (ERROR_INTERNET_CANNOT_CONNECT for a refused connection, ...) so that the
// transport's retry and prompt rules read the same on every system.
//
// Handles close when their objects go. A request must go before its
// connection, and a connection before its session.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace platform {

class Desktop;
class Environment;

// Codes of the handle model that errors.h does not name.
inline constexpr ErrorCode ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
inline constexpr ErrorCode ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

// Flags of the interactive error prompt (InternetErrorDlg).
inline constexpr std::uint32_t FLAGS_ERROR_UI_FILTER_FOR_ERRORS = 0x01;
inline constexpr std::uint32_t FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS = 0x02;
inline constexpr std::uint32_t FLAGS_ERROR_UI_FLAGS_GENERATE_DATA = 0x04;

enum class InternetTimeout { Connect, Receive, Send };

struct InternetRequestOptions {
  std::string verb = "POST";
  // Path and query sent on the request line; empty asks for "/".
  std::string objectPath;
  std::string version = "HTTP/1.0";
  std::vector<std::string> acceptTypes;
  // Asks the server to keep the connection open for the next request.
  bool keepConnection = false;
  // TLS (an https URL).
  bool secure = false;
};

class InternetRequest {
 public:
  virtual ~InternetRequest() = default;

  // Sends the request with `headers` (complete lines, each ending in CR LF)
  // and `body`, and waits for the answer's status line and headers. The body
  // is only read during the call, never kept. May be called again to resend,
  // for instance after the prompt asked for it.
  virtual ErrorCode send(std::string_view headers, std::string_view body) = 0;

  // The status code and reason phrase of the last answer.
  virtual ErrorCode statusCode(std::uint32_t* code) = 0;
  virtual ErrorCode statusText(std::string* text) = 0;

  // Reads up to `size` bytes of the answer's body; `*got` is 0 at its end.
  virtual ErrorCode read(void* buffer, std::uint32_t size, std::uint32_t* got) = 0;

  // The interactive error prompt for `error` on this request (credentials,
  // certificate decisions). With error 0 and FLAGS_ERROR_UI_FILTER_FOR_ERRORS
  // the last answer's status decides: 401 and 407 ask for credentials, any
  // other status answers ERROR_SUCCESS without asking. Answers
  // ERROR_INTERNET_FORCE_RETRY or ERROR_SUCCESS when the request should be
  // sent again (with what the user supplied or accepted), ERROR_CANCELLED when
  // the user declined or nobody can be asked, or another code when the prompt
  // itself failed.
  virtual ErrorCode errorPrompt(ErrorCode error, std::uint32_t flags) = 0;
};

class InternetConnection {
 public:
  virtual ~InternetConnection() = default;
  virtual ErrorCode openRequest(const InternetRequestOptions& options,
                                std::unique_ptr<InternetRequest>& out) = 0;
};

class InternetSession {
 public:
  virtual ~InternetSession() = default;

  // Applies to connections and requests opened afterwards.
  virtual ErrorCode setTimeout(InternetTimeout which, std::uint32_t milliseconds) = 0;

  // Names the server; a port of 0 means the default port of the request's
  // scheme. Nothing goes over the network until a request is sent.
  virtual ErrorCode connect(std::string_view host, std::uint16_t port,
                            std::unique_ptr<InternetConnection>& out) = 0;
};

class Internet {
 public:
  virtual ~Internet() = default;

  // Opens a session that uses the system's proxy settings.
  virtual ErrorCode open(std::string_view agent, std::unique_ptr<InternetSession>& out) = 0;
};

// The system's own backend. Its prompts ask the user through `desktop` when
// `environment` shows a display to show them on, and otherwise cancel.
std::unique_ptr<Internet> createNativeInternet(Desktop& desktop, Environment& environment);

}  // namespace platform
