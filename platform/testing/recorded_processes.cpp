#include "platform/testing/recorded_processes.h"

#include "platform/testing/fake_clock.h"

namespace platform::testing {
namespace {

class RecordedProcess final : public Process {
 public:
  RecordedProcess(std::shared_ptr<FakeProcess> state, FakeClock* clock)
      : state_(std::move(state)), clock_(clock) {}
  ~RecordedProcess() override { state_->handleClosed = true; }

  bool hasEnded() override {
    ++state_->checks;
    if (state_->endOnCheck && state_->checks >= *state_->endOnCheck) state_->ended = true;
    return state_->ended;
  }

  bool waitForEnd(std::uint32_t milliseconds) override {
    if (!state_->ended && clock_ != nullptr) clock_->advance(milliseconds);
    return state_->ended;
  }

  std::uint32_t exitCode() override {
    return state_->ended ? state_->exitCode : static_cast<std::uint32_t>(-1);
  }

 private:
  std::shared_ptr<FakeProcess> state_;
  FakeClock* clock_;
};

}  // namespace

ErrorCode RecordedProcesses::start(std::string_view commandLine, std::unique_ptr<Process>& out) {
  commandLines.emplace_back(commandLine);
  if (nextFailure_ != ERROR_SUCCESS) {
    const ErrorCode code = nextFailure_;
    nextFailure_ = ERROR_SUCCESS;
    return code;
  }
  auto state = std::make_shared<FakeProcess>();
  state->commandLine = std::string(commandLine);
  started.push_back(state);
  out = std::make_unique<RecordedProcess>(std::move(state), clock_);
  return ERROR_SUCCESS;
}

}  // namespace platform::testing
