#include "reg_text.h"

#include <gtest/gtest.h>

namespace platform::detail {
namespace {

struct Read {
  ErrorCode code;
  std::uint32_t type = 0;
  std::string data;
};

Read query(RegistryTree& tree, RegistryRoot root, std::string_view key, std::string_view name) {
  std::unique_ptr<RegistryKey> open;
  Read result{tree.open(root, key, false, open)};
  if (result.code != ERROR_SUCCESS) return result;
  char buffer[256];
  std::uint32_t size = sizeof buffer;
  result.code = open->queryValue(name, &result.type, buffer, &size);
  if (result.code == ERROR_SUCCESS) result.data.assign(buffer, size);
  return result;
}

using namespace std::string_literals;

TEST(RegText, ReadsEveryKindOfEntry) {
  RegistryTree tree;
  const auto result = applyRegText(
      "\xEF\xBB\xBF"
      "REGEDIT4\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_CLASSES_ROOT\\.htm]\r\n"
      "@=\"htmlfile\"\r\n"
      "\r\n"
      "[HKCR\\htmlfile\\shell\\open\\command]\r\n"
      "@=\"\\\"C:\\\\Program Files\\\\b.exe\\\" \\\"%1\\\"\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KOVAL\\Vennel]\n"
      "\"PreferredXMLParser\"=\"expat\"\n"
      "\"Count\"=dword:0000001F\n"
      "\"Path\"=hex(2):25,54,45,4d,\\\n"
      "  50,25,00\n"
      "\"Raw\"=hex:01,ff\n"
      "\"Gone\"=\"x\"\n"
      "\"Gone\"=-\n"
      "[HKEY_CURRENT_CONFIG\\Ignored]\n"
      "\"a\"=\"b\"\n",
      tree);
  EXPECT_EQ(result.code, ERROR_SUCCESS);
  EXPECT_EQ(result.firstBadLine, 0u);

  const struct {
    RegistryRoot root;
    const char* key;
    const char* name;
    std::uint32_t type;
    std::string data;
  } cases[] = {
      {RegistryRoot::ClassesRoot, ".HTM", "", REG_SZ, "htmlfile\0"s},
      {RegistryRoot::ClassesRoot, "HTMLFile\\Shell\\Open\\Command", "", REG_SZ,
       "\"C:\\Program Files\\b.exe\" \"%1\"\0"s},
      {RegistryRoot::LocalMachine, "software\\koval\\vennel", "preferredxmlparser", REG_SZ,
       "expat\0"s},
      {RegistryRoot::LocalMachine, "SOFTWARE\\KOVAL\\Vennel", "Count", REG_DWORD, "\x1F\0\0\0"s},
      {RegistryRoot::LocalMachine, "SOFTWARE\\KOVAL\\Vennel", "Path", REG_EXPAND_SZ, "%TEMP%\0"s},
      {RegistryRoot::LocalMachine, "SOFTWARE\\KOVAL\\Vennel", "Raw", REG_BINARY, "\x01\xFF"s},
  };
  for (const auto& c : cases) {
    const Read read = query(tree, c.root, c.key, c.name);
    EXPECT_EQ(read.code, ERROR_SUCCESS) << c.key << " " << c.name;
    EXPECT_EQ(read.type, c.type) << c.key << " " << c.name;
    EXPECT_EQ(read.data, c.data) << c.key << " " << c.name;
  }
  EXPECT_EQ(query(tree, RegistryRoot::LocalMachine, "SOFTWARE\\KOVAL\\Vennel", "Gone").code,
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(tree.find(RegistryRoot::ClassesRoot, "Ignored"), nullptr);
}

TEST(RegText, TheNewerFormatHoldsStringDataAsUtf16) {
  RegistryTree tree;
  // "é%" as UTF-16LE, then the terminator.
  const std::string text =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n"
      "\"E\"=hex(2):e9,00,25,00,00,00\n"
      "\"Name \\\"quoted\\\"\"=\"caf\xC3\xA9\"\n";
  EXPECT_EQ(applyRegText(text, tree).code, ERROR_SUCCESS);
  EXPECT_EQ(query(tree, RegistryRoot::CurrentUser, "K", "E").data, "\xC3\xA9%\0"s);
  EXPECT_EQ(query(tree, RegistryRoot::CurrentUser, "K", "Name \"quoted\"").data, "caf\xC3\xA9\0"s);

  // The same file as the editor saves it: UTF-16LE with its mark.
  std::string utf16 = "\xFF\xFE";
  for (char c :
       std::string("Windows Registry Editor Version 5.00\r\n[HKEY_USERS\\U]\r\n@=\"v\"\r\n")) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  EXPECT_EQ(applyRegText(utf16, tree).code, ERROR_SUCCESS);
  EXPECT_EQ(query(tree, RegistryRoot::Users, "U", "").data, "v\0"s);
}

TEST(RegText, RefusesAFileWithoutHeaderAndSkipsBadLines) {
  RegistryTree tree;
  const auto noHeader = applyRegText("[HKEY_CURRENT_USER\\K]\n@=\"v\"\n", tree);
  EXPECT_EQ(noHeader.code, ERROR_INVALID_DATA);
  EXPECT_EQ(tree.find(RegistryRoot::CurrentUser, "K"), nullptr);
  EXPECT_EQ(applyRegText("", tree).code, ERROR_INVALID_DATA);

  const auto bad = applyRegText(
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=dword:123456789\n\"b\"=hex:1,2\n"
      "\"c\"=\"unclosed\n\"d\" \"e\"\n\"ok\"=\"yes\"\n[HKEY_CURRENT_USER\\Broken\n",
      tree);
  EXPECT_EQ(bad.code, ERROR_INVALID_DATA);
  EXPECT_EQ(bad.firstBadLine, 3u);
  EXPECT_EQ(query(tree, RegistryRoot::CurrentUser, "K", "ok").data, "yes\0"s);
  for (const char* name : {"a", "b", "c", "d"}) {
    EXPECT_EQ(query(tree, RegistryRoot::CurrentUser, "K", name).code, ERROR_FILE_NOT_FOUND) << name;
  }
}

TEST(RegText, AKeyDeletionRemovesTheWholeSubtree) {
  RegistryTree tree;
  applyRegText("REGEDIT4\n[HKCU\\A\\B\\C]\n@=\"x\"\n[HKCU\\A\\D]\n", tree);
  applyRegText("REGEDIT4\n[-HKEY_CURRENT_USER\\A\\B]\n", tree);
  EXPECT_EQ(tree.find(RegistryRoot::CurrentUser, "A\\B"), nullptr);
  EXPECT_NE(tree.find(RegistryRoot::CurrentUser, "A\\D"), nullptr);
}

TEST(RegistryTree, QueriesFollowTheRegQueryValueRules) {
  RegistryTree tree;
  applyRegText("REGEDIT4\n[HKCU\\K]\n@=\"hello\"\n", tree);
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(tree.open(RegistryRoot::CurrentUser, "K", false, key), ERROR_SUCCESS);
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(key->queryValue("", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  char small[3] = {'x', 'x', 'x'};
  size = sizeof small;
  EXPECT_EQ(key->queryValue("", &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(key->queryValue("", &type, small, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(key->queryValue("missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  std::unique_ptr<RegistryKey> sub;
  EXPECT_EQ(key->openSubKey("nothing", sub), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key->createSubKey("new", sub), ERROR_ACCESS_DENIED);
  EXPECT_EQ(key->setValue("v", REG_SZ, "a", 2), ERROR_ACCESS_DENIED);
}

}  // namespace
}  // namespace platform::detail
