// Time: a millisecond tick count and sleeping.
#pragma once

#include <cstdint>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds since an arbitrary start; wraps like GetTickCount.
  virtual std::uint32_t tickCount() = 0;
  // The same without wrapping.
  virtual std::uint64_t tickCount64() = 0;
  virtual void sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace platform
