#include "platform/testing/scripted_internet.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace platform::testing {
namespace {

class ScriptedRequest final : public InternetRequest {
 public:
  ScriptedRequest(ScriptedInternet& owner, std::size_t index) : owner_(owner), index_(index) {
    ++owner_.liveRequests;
  }
  ~ScriptedRequest() override {
    --owner_.liveRequests;
    owner_.events.push_back("close request");
  }

  ErrorCode send(std::string_view headers, std::string_view body) override {
    owner_.events.push_back("send");
    owner_.sends.push_back({std::string(headers), std::string(body), index_});
    ScriptedExchange next;
    if (!owner_.exchanges.empty()) {
      next = std::move(owner_.exchanges.front());
      owner_.exchanges.pop_front();
    }
    if (next.durationMs != 0 && owner_.elapse) owner_.elapse(next.durationMs);
    answered_ = false;
    if (next.throws) throw std::runtime_error("scripted breakdown");
    if (next.error != ERROR_SUCCESS) return next.error;
    current_ = std::move(next);
    offset_ = 0;
    answered_ = true;
    return ERROR_SUCCESS;
  }

  ErrorCode statusCode(std::uint32_t* code) override {
    if (!answered_) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    if (current_.statusCodeError != ERROR_SUCCESS) return current_.statusCodeError;
    *code = current_.status;
    return ERROR_SUCCESS;
  }

  ErrorCode statusText(std::string* text) override {
    if (!answered_) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    if (current_.statusTextError != ERROR_SUCCESS) return current_.statusTextError;
    *text = current_.reason;
    return ERROR_SUCCESS;
  }

  ErrorCode read(void* buffer, std::uint32_t size, std::uint32_t* got) override {
    *got = 0;
    if (!answered_) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    std::size_t end = current_.body.size();
    if (current_.readError != ERROR_SUCCESS) {
      end = std::min(end, current_.readErrorAt);
      if (offset_ >= end) return current_.readError;
    }
    std::size_t n = std::min<std::size_t>(size, end - offset_);
    if (n != 0) std::memcpy(buffer, current_.body.data() + offset_, n);
    offset_ += n;
    *got = static_cast<std::uint32_t>(n);
    return ERROR_SUCCESS;
  }

  ErrorCode errorPrompt(ErrorCode error, std::uint32_t flags) override {
    owner_.events.push_back("prompt " + std::to_string(error));
    owner_.prompts.push_back({error, flags, index_});
    if (owner_.promptAnswers.empty()) return ERROR_CANCELLED;
    ErrorCode answer = owner_.promptAnswers.front();
    owner_.promptAnswers.pop_front();
    return answer;
  }

 private:
  ScriptedInternet& owner_;
  std::size_t index_;
  ScriptedExchange current_;
  std::size_t offset_ = 0;
  bool answered_ = false;
};

class ScriptedConnection final : public InternetConnection {
 public:
  explicit ScriptedConnection(ScriptedInternet& owner) : owner_(owner) { ++owner_.liveConnections; }
  ~ScriptedConnection() override {
    --owner_.liveConnections;
    owner_.events.push_back("close connection");
  }

  ErrorCode openRequest(const InternetRequestOptions& options,
                        std::unique_ptr<InternetRequest>& out) override {
    if (owner_.openRequestError != ERROR_SUCCESS) return owner_.openRequestError;
    owner_.events.push_back("request " + options.verb + " " + options.objectPath);
    owner_.requests.push_back(options);
    out = std::make_unique<ScriptedRequest>(owner_, owner_.requests.size() - 1);
    return ERROR_SUCCESS;
  }

 private:
  ScriptedInternet& owner_;
};

class ScriptedSession final : public InternetSession {
 public:
  explicit ScriptedSession(ScriptedInternet& owner) : owner_(owner) { ++owner_.liveSessions; }
  ~ScriptedSession() override {
    --owner_.liveSessions;
    owner_.events.push_back("close session");
  }

  ErrorCode setTimeout(InternetTimeout which, std::uint32_t milliseconds) override {
    const char* name = which == InternetTimeout::Connect   ? "connect"
                       : which == InternetTimeout::Receive ? "receive"
                                                           : "send";
    owner_.events.push_back(std::string("timeout ") + name + " " + std::to_string(milliseconds));
    return ERROR_SUCCESS;
  }

  ErrorCode connect(std::string_view host, std::uint16_t port,
                    std::unique_ptr<InternetConnection>& out) override {
    if (owner_.connectError != ERROR_SUCCESS) return owner_.connectError;
    owner_.events.push_back("connect " + std::string(host) + ":" + std::to_string(port));
    owner_.hosts.emplace_back(host);
    owner_.ports.push_back(port);
    out = std::make_unique<ScriptedConnection>(owner_);
    return ERROR_SUCCESS;
  }

 private:
  ScriptedInternet& owner_;
};

}  // namespace

ScriptedExchange ScriptedExchange::answer(std::uint32_t status, std::string reason,
                                          std::string body) {
  ScriptedExchange e;
  e.status = status;
  e.reason = std::move(reason);
  e.body = std::move(body);
  return e;
}

ScriptedExchange ScriptedExchange::failure(ErrorCode error, std::uint32_t durationMs) {
  ScriptedExchange e;
  e.error = error;
  e.durationMs = durationMs;
  return e;
}

ErrorCode ScriptedInternet::open(std::string_view agent, std::unique_ptr<InternetSession>& out) {
  if (openError != ERROR_SUCCESS) return openError;
  events.push_back("open " + std::string(agent));
  agents.emplace_back(agent);
  out = std::make_unique<ScriptedSession>(*this);
  return ERROR_SUCCESS;
}

}  // namespace platform::testing
