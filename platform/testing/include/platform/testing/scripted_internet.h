// HTTP as the test scripts it: every send takes the next scripted exchange
// (a failure code, or an answer with status, reason and body), every prompt
// the next scripted answer; everything the code under test did is recorded,
// handle closings included, in one event list.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/internet.h"

namespace platform::testing {

struct ScriptedExchange {
  // Non-zero: the send fails with this code and nothing else below applies.
  ErrorCode error = ERROR_SUCCESS;
  std::uint32_t status = 200;
  std::string reason = "OK";
  std::string body;
  // When set, reads fail with this code once `readErrorAt` body bytes have
  // been read.
  ErrorCode readError = ERROR_SUCCESS;
  std::size_t readErrorAt = 0;
  // When set, asking for the status code or the reason phrase fails.
  ErrorCode statusCodeError = ERROR_SUCCESS;
  ErrorCode statusTextError = ERROR_SUCCESS;
  // Virtual time the attempt takes, handed to `ScriptedInternet::elapse`.
  std::uint32_t durationMs = 0;
  // The send breaks down with an exception, as a faulty backend might.
  bool throws = false;

  static ScriptedExchange answer(std::uint32_t status, std::string reason, std::string body = {});
  static ScriptedExchange failure(ErrorCode error, std::uint32_t durationMs = 0);
};

class ScriptedInternet : public Internet {
 public:
  struct Send {
    std::string headers;
    std::string body;
    std::size_t request;  // index into `requests`
  };
  struct Prompt {
    ErrorCode error;
    std::uint32_t flags;
    std::size_t request;
  };

  // Script. When `exchanges` is empty a send answers 200 "OK" with no body;
  // when `promptAnswers` is empty a prompt answers ERROR_CANCELLED.
  std::deque<ScriptedExchange> exchanges;
  std::deque<ErrorCode> promptAnswers;
  // Failures of the opening steps, in force while set.
  ErrorCode openError = ERROR_SUCCESS;
  ErrorCode connectError = ERROR_SUCCESS;
  ErrorCode openRequestError = ERROR_SUCCESS;
  // Called with each exchange's duration, so a fake clock can move along.
  std::function<void(std::uint32_t)> elapse;

  // Record.
  std::vector<std::string> agents;
  std::vector<std::string> hosts;
  std::vector<std::uint16_t> ports;
  std::vector<InternetRequestOptions> requests;
  std::vector<Send> sends;
  std::vector<Prompt> prompts;
  // "open <agent>", "timeout connect|receive|send <ms>", "connect <host>:<port>",
  // "request <verb> <path>", "send", "prompt <error>", "close request",
  // "close connection", "close session"; in the order they happened.
  std::vector<std::string> events;
  int liveSessions = 0;
  int liveConnections = 0;
  int liveRequests = 0;

  ErrorCode open(std::string_view agent, std::unique_ptr<InternetSession>& out) override;
};

}  // namespace platform::testing
