#include "platform/testing/fake_system_messages.h"

#include "message_table.h"

namespace platform::testing {

FakeSystemMessages::FakeSystemMessages() {
  detail::forEachOwnMessage(
      [](ErrorCode code, std::string_view text, void* context) {
        static_cast<FakeSystemMessages*>(context)->texts.emplace(code, std::string(text));
      },
      this);
}

std::optional<std::string> FakeSystemMessages::message(ErrorCode code) {
  if (const auto it = texts.find(code); it != texts.end()) return it->second;
  // An HRESULT that only wraps a Win32 code reads as that code.
  if ((code & 0xFFFF0000u) == 0x80070000u) return message(code & 0xFFFFu);
  return std::nullopt;
}

}  // namespace platform::testing
