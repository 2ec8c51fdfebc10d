#include "tracing/event_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/testing/fake_system.h"

namespace {

using platform::RegistryRoot;

constexpr const char* kEventLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog";

std::vector<std::uint8_t> stringBytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.c_str(), text.c_str() + text.size() + 1);
}

std::vector<std::uint8_t> dwordBytes(std::uint32_t value) {
  std::vector<std::uint8_t> bytes(4);
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

class EventLogTest : public ::testing::Test {
 protected:
  EventLogTest() { fake_.environment.modulePathText = "/opt/vardo/Dravik"; }

  platform::testing::FakeSystem fake_;
  platform::ScopedSystem scope_{fake_};
  const int anchor_ = 0;
};

TEST_F(EventLogTest, WritesTheSixValuesUnderTheSourceKey) {
  struct Case {
    const char* log;
    std::string key;
  };
  const Case cases[] = {
      {nullptr, std::string(kEventLogKey) + "\\Application\\Dravik"},
      {"", std::string(kEventLogKey) + "\\Application\\Dravik"},
      {"System", std::string(kEventLogKey) + "\\System\\Dravik"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(RegisterEventLogSource("Dravik", c.log, &anchor_), platform::ERROR_SUCCESS);
    struct Expected {
      const char* name;
      std::uint32_t type;
      std::vector<std::uint8_t> bytes;
    };
    const Expected values[] = {
        {"EventMessageFile", platform::REG_EXPAND_SZ, stringBytes("/opt/vardo/Dravik")},
        {"TypesSupported", platform::REG_DWORD, dwordBytes(7)},
        {"CategoryMessageFile", platform::REG_EXPAND_SZ, stringBytes("/opt/vardo/Dravik")},
        {"CategoryCount", platform::REG_DWORD, dwordBytes(1)},
        {"DisplayNameFile", platform::REG_EXPAND_SZ, stringBytes("/opt/vardo/Dravik")},
        {"DisplayNameID", platform::REG_DWORD, dwordBytes(0xFFFF)},
    };
    for (const Expected& e : values) {
      const auto stored = fake_.registry.value(RegistryRoot::LocalMachine, c.key, e.name);
      ASSERT_TRUE(stored.has_value()) << c.key << " " << e.name;
      EXPECT_EQ(stored->type, e.type) << e.name;
      EXPECT_EQ(stored->bytes, e.bytes) << e.name;
    }
  }
}

TEST_F(EventLogTest, ExistingKeyKeepsItsOtherValues) {
  const std::string key = std::string(kEventLogKey) + "\\Application\\Dravik";
  fake_.registry.setDword(RegistryRoot::LocalMachine, key, "TypesSupported", 1);
  fake_.registry.setString(RegistryRoot::LocalMachine, key, "Other", "kept");

  ASSERT_EQ(RegisterEventLogSource("Dravik", nullptr, &anchor_), platform::ERROR_SUCCESS);
  EXPECT_EQ(fake_.registry.value(RegistryRoot::LocalMachine, key, "TypesSupported")->bytes,
            dwordBytes(7));
  EXPECT_EQ(fake_.registry.value(RegistryRoot::LocalMachine, key, "Other")->bytes,
            stringBytes("kept"));
}

TEST_F(EventLogTest, RefusalsWriteNothing) {
  fake_.registry.readOnly = true;
  EXPECT_EQ(RegisterEventLogSource("Dravik", nullptr, &anchor_), platform::ERROR_ACCESS_DENIED);
  fake_.registry.readOnly = false;
  EXPECT_FALSE(fake_.registry.hasKey(RegistryRoot::LocalMachine, kEventLogKey));

  // An empty source would make the log's own key the source.
  for (const char* source : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_EQ(RegisterEventLogSource(source, nullptr, &anchor_), platform::ERROR_INVALID_PARAMETER);
  }
  EXPECT_FALSE(fake_.registry.hasKey(RegistryRoot::LocalMachine, kEventLogKey));

  // Without the module's path the key is made but holds no values.
  fake_.environment.modulePathText.clear();
  fake_.environment.lastErrorValue = platform::ERROR_INSUFFICIENT_BUFFER;
  EXPECT_EQ(RegisterEventLogSource("Dravik", nullptr, &anchor_),
            platform::ERROR_INSUFFICIENT_BUFFER);
  const std::string key = std::string(kEventLogKey) + "\\Application\\Dravik";
  EXPECT_TRUE(fake_.registry.hasKey(RegistryRoot::LocalMachine, key));
  EXPECT_FALSE(
      fake_.registry.value(RegistryRoot::LocalMachine, key, "EventMessageFile").has_value());
}

}  // namespace
