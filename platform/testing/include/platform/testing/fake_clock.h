// Virtual time: sleeping advances it at once, and only sleeping or the test
// moves it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace platform::testing {

class FakeClock : public Clock {
 public:
  std::uint64_t now = 0;
  // Every sleep asked for, in milliseconds.
  std::vector<std::uint32_t> sleeps;

  void advance(std::uint64_t milliseconds) { now += milliseconds; }

  std::uint32_t tickCount() override { return static_cast<std::uint32_t>(now); }
  std::uint64_t tickCount64() override { return now; }
  void sleep(std::uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    now += milliseconds;
  }
};

}  // namespace platform::testing
