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
  return std::nullopt;
}

}  // namespace platform::testing
