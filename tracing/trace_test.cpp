#include "tracing/trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing/fake_system.h"
#include "testing/trace_double.h"

namespace {

using platform::RegistryRoot;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kDefaultPath = "/usr/lib/vardo/Vardo Shared/VardoLog.so";
constexpr const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";

class TraceFrontEndTest : public ::testing::Test {
 protected:
  TraceFrontEndTest() {
    *trace_double_control() = TraceDoubleControl();
    symbols_ = traceDoubleSymbols();
  }

  // Installs the double where the front-end looks for the library.
  void install(const std::vector<std::string>& missing = {}) {
    auto symbols = symbols_;
    for (const auto& name : missing) symbols.erase(name);
    fake_.libraries.add(kDefaultPath, symbols);
  }

  TraceDoubleControl& control() { return *trace_double_control(); }
  std::string module() { return traceDoublePointer(tracing::ownModule()); }

  platform::testing::FakeSystem fake_;
  platform::ScopedSystem scope_{fake_};
  tracing::TraceFrontEnd frontEnd_;
  tracing::ScopedTraceFrontEnd traceScope_{frontEnd_};
  std::map<std::string, void*> symbols_;
};

TEST_F(TraceFrontEndTest, WithoutLibraryFailsOnceAndAnswersByLevelNumber) {
  EXPECT_EQ(TraceInit(), kTraceErrorLoadFailed);
  EXPECT_THAT(fake_.debugOutput.lines,
              ElementsAre("[TRACE subsytem] : TraceInit FAILED 80000012\n"));

  // Without a library, only level 2 is unwanted, and nothing is ever reloaded.
  struct Case {
    std::uint32_t level;
    bool wanted;
  };
  for (const Case& c : {Case{kTraceLevelError2, false}, Case{kTraceLevelInformation2, false},
                        Case{0x1000001u, true}, Case{0x3u, true}, Case{0x0u, true}}) {
    EXPECT_EQ(TraceIsEnabled(kTraceCategoryXml, c.level), c.wanted) << std::hex << c.level;
  }
  EXPECT_EQ(TraceInit(), platform::ERROR_SUCCESS);
  EXPECT_THAT(fake_.libraries.loads, ElementsAre(kDefaultPath));
  EXPECT_EQ(fake_.debugOutput.lines.size(), 1u);

  CTraceRecord record(kTraceCategoryXml, 0x3u, "ignored");
  EXPECT_FALSE(record.addNumber(1).addText("x").isActive());
}

TEST_F(TraceFrontEndTest, LibraryPathComesFromTheCommonFilesFolder) {
  struct Case {
    const char* value;  // null: no value
    std::uint32_t type;
    const char* path;
  };
  const Case cases[] = {
      {nullptr, platform::REG_SZ, kDefaultPath},
      {"/opt/common", platform::REG_SZ, "/opt/common/Vardo Shared/VardoLog.so"},
      {"/opt/common/", platform::REG_EXPAND_SZ, "/opt/common/Vardo Shared/VardoLog.so"},
      {"", platform::REG_SZ, kDefaultPath},
  };
  for (const Case& c : cases) {
    platform::testing::FakeSystem fake;
    platform::ScopedSystem scope(fake);
    tracing::TraceFrontEnd frontEnd;
    if (c.value != nullptr) {
      fake.registry.setString(RegistryRoot::LocalMachine, kCurrentVersion, "CommonFilesDir",
                              c.value, c.type);
    }
    frontEnd.init();
    EXPECT_THAT(fake.libraries.loads, ElementsAre(c.path)) << (c.value ? c.value : "(none)");
  }

  // A number is not a folder.
  platform::testing::FakeSystem fake;
  platform::ScopedSystem scope(fake);
  tracing::TraceFrontEnd frontEnd;
  fake.registry.setDword(RegistryRoot::LocalMachine, kCurrentVersion, "CommonFilesDir", 5);
  frontEnd.init();
  EXPECT_THAT(fake.libraries.loads, ElementsAre(kDefaultPath));
}

TEST_F(TraceFrontEndTest, BindingNeedsEveryEntryPointButTheFiveOptionalOnes) {
  struct Case {
    std::vector<std::string> missing;
    platform::ErrorCode result;
  };
  const Case cases[] = {
      {{}, platform::ERROR_SUCCESS},
      {{"trc_context_setDBRecord", "trc_dump_blocks", "trc_fix_shmem", "trc_write_param4",
        "trc_are_traces_activated"},
       platform::ERROR_SUCCESS},
      {{"trc_write_id"}, kTraceErrorLoadFailed},
      {{"snmp_stop_agent_impl"}, kTraceErrorLoadFailed},
      {{"trc_initialize"}, kTraceErrorLoadFailed},
  };
  for (const Case& c : cases) {
    platform::testing::FakeSystem fake;
    platform::ScopedSystem scope(fake);
    tracing::TraceFrontEnd frontEnd;
    auto symbols = symbols_;
    for (const auto& name : c.missing) symbols.erase(name);
    fake.libraries.add(kDefaultPath, symbols);
    control().calls.clear();

    EXPECT_EQ(frontEnd.init(), c.result) << ::testing::PrintToString(c.missing);
    EXPECT_EQ(frontEnd.isLibraryLoaded(), c.result == platform::ERROR_SUCCESS);
    EXPECT_EQ(fake.libraries.loadedCount(), c.result == platform::ERROR_SUCCESS ? 1 : 0);
    if (c.result != platform::ERROR_SUCCESS) {
      // Binding failed before anything in the library was called.
      EXPECT_THAT(control().calls, IsEmpty());
    }
  }
}

TEST_F(TraceFrontEndTest, AFailingStartCallUnloadsTheLibraryWithItsCode) {
  struct Case {
    int TraceDoubleControl::*result;
    const char* name;  // what the descriptor holds when the call fails
    std::vector<std::string> calls;
  };
  const std::string m = module();
  const Case cases[] = {
      {&TraceDoubleControl::initializeResult, "", {"trc_initialize()"}},
      {&TraceDoubleControl::createResult, "Dravik", {"trc_initialize()", "trc_createA(" + m + ")"}},
      {&TraceDoubleControl::sharedConfigurationResult,
       "Dravik",
       {"trc_initialize()", "trc_createA(" + m + ")", "trc_get_shared_configuration(7)"}},
      {&TraceDoubleControl::openContextResult,
       "Dravik",
       {"trc_initialize()", "trc_createA(" + m + ")", "trc_get_shared_configuration(7)",
        "trc_open_contextExA(7, Dravik, (nil), (nil), 0, " + m + ", 0, 0, 3)"}},
  };
  for (const Case& c : cases) {
    platform::testing::FakeSystem fake;
    platform::ScopedSystem scope(fake);
    tracing::TraceFrontEnd frontEnd;
    fake.libraries.add(kDefaultPath, symbols_);
    control() = TraceDoubleControl();
    control().descriptorName = "Dravik";
    control().openContext = 1;
    control().contextArgument = 3;
    control().*c.result = 0x57;

    EXPECT_EQ(frontEnd.init(), 0x57u);
    EXPECT_EQ(control().calls, c.calls);
    EXPECT_FALSE(frontEnd.isLibraryLoaded());
    EXPECT_EQ(fake.libraries.loadedCount(), 0);
    EXPECT_THAT(fake.debugOutput.lines, ElementsAre("[TRACE subsytem] " + std::string(c.name) +
                                                    ": TraceInit FAILED 00000057\n"));
    // Tracing is off for the rest of the run, whatever the level.
    EXPECT_FALSE(frontEnd.isEnabled(kTraceCategoryXml, kTraceLevelError2));
    EXPECT_EQ(fake.libraries.loads.size(), 1u);
  }
}

TEST_F(TraceFrontEndTest, ZeroedDescriptorStartsWithoutConfigurationAndWritesNothing) {
  install();
  EXPECT_FALSE(TraceIsEnabled(kTraceCategoryXml, kTraceLevelError2));
  EXPECT_THAT(fake_.debugOutput.lines, ElementsAre("TraceInit OK ", "", "\n"));
  EXPECT_THAT(control().calls, ElementsAre("trc_initialize()", "trc_createA(" + module() + ")"));
  // No name, so no event source; nothing was written to the registry.
  EXPECT_FALSE(frontEnd_.eventSourceOpen());
  EXPECT_FALSE(fake_.registry.hasKey(RegistryRoot::LocalMachine,
                                     "SYSTEM\\CurrentControlSet\\Services\\EventLog"));

  EXPECT_EQ(TraceInit(), platform::ERROR_SUCCESS);
  EXPECT_TRUE(TraceIsEnabled(kTraceCategoryXml, 0x1000003u));
  EXPECT_EQ(control().calls.size(), 2u);
  EXPECT_EQ(fake_.libraries.loads.size(), 1u);
}

TEST_F(TraceFrontEndTest, OpenContextReplacesTheHandleAndTheConfigurationFilters) {
  install();
  control().descriptorName = std::string(68, 'n');  // fills the field, no terminator
  control().openContext = 1;
  control().contextArgument = 44;
  control().configuration[1] = 0x3000002u;  // errors and warnings up to level 2
  control().configuration[2] = 0x40000000u;

  EXPECT_EQ(TraceInit(), platform::ERROR_SUCCESS);
  const std::string name(68, 'n');
  EXPECT_THAT(control().calls, ElementsAre("trc_initialize()", "trc_createA(" + module() + ")",
                                           "trc_get_shared_configuration(7)",
                                           "trc_open_contextExA(7, " + name +
                                               ", (nil), (nil), 0, " + module() + ", 0, 0, 44)"));
  EXPECT_THAT(fake_.debugOutput.lines, ElementsAre("TraceInit OK ", name, "\n"));

  struct Case {
    std::uint32_t category;
    std::uint32_t level;
    bool wanted;
  };
  const Case cases[] = {
      {kTraceCategoryXml, kTraceLevelError2, true},
      {kTraceCategoryXml, kTraceLevelWarning2, true},
      {kTraceCategoryXml, kTraceLevelInformation2, false},  // severity not configured
      {kTraceCategoryXml, 0x0000002u, true},                // no severity counts as all
      {kTraceCategoryXml, 0x4000001u, true},                // lower level, any severity
      {kTraceCategoryXml, 0x1000003u, false},               // above the configured level
      {0x1u, 0x1000001u, false},                            // category not enabled
      {0x1u, 0x4000000u, true},                             // level 0 ignores categories
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TraceIsEnabled(c.category, c.level), c.wanted)
        << std::hex << c.category << " " << c.level;
  }
}

TEST(TraceFilterTest, ConfiguredSeveritySetIsTheWholeTopByte) {
  // Bits above the severity nibble of the configuration still take part.
  EXPECT_TRUE(tracing::traceFilterAccepts(1, 0x4000005u, 0x00000005u, 1));  // 0 means all
  EXPECT_FALSE(tracing::traceFilterAccepts(1, 0x4000005u, 0x10000005u, 1));
  EXPECT_TRUE(tracing::traceFilterAccepts(1, 0x4000005u, 0x14000005u, 1));
}

TEST_F(TraceFrontEndTest, RecordCallsCarryTheirArgumentsInOrder) {
  install();
  control().openContext = 1;
  control().configuration[1] = 0x7000005u;
  control().configuration[2] = 0xFFFFFFFFu;
  ASSERT_EQ(TraceInit(), platform::ERROR_SUCCESS);

  struct Case {
    int beginResult;
    int writeRawResult;
    int param2Result;
    std::vector<std::string> calls;
  };
  const std::string m = module();
  const std::vector<std::string> all = {
      "trc_begin(9, 0x40000000, 0x1000002)",
      "trc_write_rawA(9, line %1!d!, column %2!d!: %3, " + m + ", 5)",
      "trc_write_param2(9, 12, 5)",
      "trc_write_param2(9, -4, 5)",
      "trc_write_param1A(9, <>, 5)",
      "trc_end(9, 1, 5)"};
  const Case cases[] = {
      {0, 0, 0, all},
      {4, 0, 0, all},
      {1, 0, 0, {all[0]}},
      {0, 1, 0, {all[0], all[1]}},
      // A failed parameter closes the record: nothing more, no end.
      {0, 0, 1, {all[0], all[1], all[2]}},
  };
  for (const Case& c : cases) {
    control().calls.clear();
    control().beginResult = c.beginResult;
    control().writeRawResult = c.writeRawResult;
    control().writeParam2Result = c.param2Result;
    {
      CTraceRecord record(kTraceCategoryXml, kTraceLevelError2, "line %1!d!, column %2!d!: %3", 5);
      record.addNumber(12).addNumber(-4).addText(nullptr);
    }
    EXPECT_EQ(control().calls, c.calls) << c.beginResult << c.writeRawResult << c.param2Result;
  }
}

TEST_F(TraceFrontEndTest, RecordLeavesTheCallersLastErrorAlone) {
  install();
  ASSERT_EQ(TraceInit(), platform::ERROR_SUCCESS);
  static platform::testing::FakeEnvironment* environment;
  environment = &fake_.environment;
  control().onCall = [] { environment->setLastError(platform::ERROR_ACCESS_DENIED); };

  fake_.environment.lastErrorValue = platform::ERROR_FILE_NOT_FOUND;
  {
    CTraceRecord record(kTraceCategoryXml, kTraceLevelError2, "text");
    record.addText("a").addNumber(1);
    EXPECT_THAT(control().calls, Contains("trc_write_param1A(7, a, 0)"));
  }
  EXPECT_THAT(control().calls, Contains("trc_end(7, 1, 0)"));
  EXPECT_EQ(fake_.environment.lastErrorValue, platform::ERROR_FILE_NOT_FOUND);
}

TEST_F(TraceFrontEndTest, NamedModuleGetsNoEventSourceOnThisSystem) {
  install();
  control().descriptorName = "Dravik";
  ASSERT_EQ(TraceInit(), platform::ERROR_SUCCESS);
  EXPECT_FALSE(frontEnd_.eventSourceOpen());
  EXPECT_FALSE(fake_.registry.hasKey(RegistryRoot::LocalMachine,
                                     "SYSTEM\\CurrentControlSet\\Services\\EventLog"));
  EXPECT_THAT(control().calls, Not(IsEmpty()));
}

}  // namespace
