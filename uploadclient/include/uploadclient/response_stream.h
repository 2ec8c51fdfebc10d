// The body of an HTTP answer, read piece by piece.
#pragma once

#include <cstdint>

#include "platform/errors.h"

namespace uploadclient {

class ResponseStream {
 public:
  virtual ~ResponseStream() = default;
  // Reads up to `size` bytes; `*got` is 0 at the end of the body.
  virtual platform::ErrorCode read(void* buffer, std::uint32_t size, std::uint32_t* got) = 0;
};

}  // namespace uploadclient
