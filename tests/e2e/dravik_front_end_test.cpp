// The real Dravik program up to the point where the upload begins: the usage
// box, the missing "-file" page opened through a .reg association that names
// the recorder as the browser, and real plug-ins loaded by path, whose
// document is then uploaded to the reference server.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

using e2e::ChildResult;
using e2e::TemporaryFolder;

constexpr const char* kDravik = VARDO_DRAVIK_PATH;
constexpr const char* kRecorder = VARDO_RECORDER_PATH;
constexpr const char* kServerProgram = VARDO_UPLOADWS_SERVER_PATH;
const std::string kPluginDir = VARDO_TEST_PLUGIN_DIR;
const std::string kServer = "http://127.0.0.1:9";
const std::string kErrorPage = kServer + "/tolvane/webaccess/uploaderror.aspx";

class DravikFrontEnd : public ::testing::Test {
 protected:
  DravikFrontEnd() {
    // The recorder is the association's command, as a browser would be on a
    // user's machine.
    const std::string command = "\\\"" + std::string(kRecorder) + "\\\" --log \\\"" +
                                pagesLog().string() + "\\\" \\\"%1\\\"";
    std::ofstream(registryPath()) << "Windows Registry Editor Version 5.00\n\n"
                                  << "[HKEY_CLASSES_ROOT\\.htm]\n@=\"htmlfile\"\n\n"
                                  << "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\n"
                                  << "@=\"" << command << "\"\n";
  }

  std::filesystem::path registryPath() const { return folder.path() / "registry.reg"; }
  std::filesystem::path pagesLog() const { return folder.path() / "pages.log"; }
  std::filesystem::path callsLog() const { return folder.path() / "calls.log"; }

  ChildResult run(const std::vector<std::string>& arguments) {
    return e2e::runChild(kDravik, arguments,
                         {{"VARDO_REGISTRY", registryPath().string()},
                          {"VARDO_TEST_PLUGIN_LOG", callsLog().string()}},
                         folder.path());
  }

  TemporaryFolder folder;
};

TEST_F(DravikFrontEnd, WithoutArgumentsShowsTheUsageAndNothingElse) {
  const ChildResult result = run({});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.standardError.find("Dravik: usage"), std::string::npos);
  EXPECT_NE(
      result.standardError.find("Dravik -file <local_file_path> -server <server_url> [-webservice "
                                "<webservice_page>]"),
      std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(pagesLog()));
}

TEST_F(DravikFrontEnd, WithoutFileOptionOpensTheErrorPageInTheBrowser) {
  const ChildResult result = run({"-server", kServer, "-lang", "de", "-filex", "a.pmf"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.standardError.find("-server " + kServer + " -lang de"), std::string::npos);
  EXPECT_EQ(
      e2e::waitForLines(pagesLog(), 1),
      std::vector<std::string>{kErrorPage + "?lang=de&Failure=Missing%20file%20option:%20-file"});
}

struct PluginCase {
  const char* plugin;
  std::vector<std::string> calls;
  std::string pagePrefix;  // empty when the plug-in accepts the document
  // What is left at the document's path: nothing once it has been uploaded.
  std::optional<std::string> documentAfter;
  // What the server stored: the plug-in's result, or nothing when refused.
  std::optional<std::string> uploaded;
};

TEST_F(DravikFrontEnd, RunsTheSubmitPluginOnTheDocument) {
  const std::string documentName = "doc 1.pmf";
  const std::string document = (folder.path() / documentName).string();
  const std::string submitCall = "SubmitDocA(null," + document + ",-1,0)";
  const std::string escapedDocument = [&] {
    std::string text;
    for (const char c : document) text += c == ' ' ? std::string("%20") : std::string(1, c);
    return text;
  }();
  const PluginCase cases[] = {
      {"plugin_only_submit.so", {submitCall}, "", std::nullopt, "original document"},
      {"plugin_shrinks.so",
       {"InitializeA(0,0)", submitCall, "Uninitialize()"},
       "",
       std::nullopt,
       "shrunk"},
      {"plugin_init_refuses.so",
       {"InitializeA(0,0)"},
       "?Failure=Cannot%20initialize%20submitdoc%20library&LibraryPath=",
       "original document"},
      {"plugin_no_submit.so",
       {"InitializeA(0,0)", "Uninitialize()"},
       "?Failure=Cannot%20retrieve%20submitdoc%20library%20procedure&LibraryPath=",
       "original document"},
      {"plugin_submit_refuses.so",
       {"InitializeA(0,0)", submitCall, "Uninitialize()"},
       "?Failure=Submitdoc%20failed&LibraryPath=",
       "original document"},
      {"absent.so",
       {},
       "?Failure=Cannot%20load%20submitdoc%20library&LibraryPath=",
       "original document"},
  };
  for (const PluginCase& c : cases) {
    SCOPED_TRACE(c.plugin);
    std::filesystem::remove(pagesLog());
    std::filesystem::remove(callsLog());
    std::ofstream(document, std::ios::binary) << "original document";
    const std::string library = kPluginDir + "/" + c.plugin;
    TemporaryFolder store;
    const e2e::ReferenceServer server(kServerProgram, store.path());
    ASSERT_FALSE(server.address().empty());

    // The recorder ends as soon as it has logged the page; the watch would
    // take that for a cancelled wizard.
    const ChildResult result = run({"-file", document, "-submitdoc", library, "-server",
                                    server.address(), "-checkwizard", "no"});
    EXPECT_EQ(result.exitCode, 0);
    const std::string calls = e2e::readFile(callsLog());
    std::string expectedCalls;
    for (const std::string& call : c.calls) expectedCalls += call + "\n";
    EXPECT_EQ(calls, expectedCalls);
    // A refused document is kept for the user; an uploaded one goes.
    EXPECT_EQ(std::filesystem::exists(document), c.documentAfter.has_value());
    if (c.documentAfter) {
      EXPECT_EQ(e2e::readFile(document), *c.documentAfter);
    }
    std::optional<std::string> uploaded;
    for (const auto& entry : std::filesystem::directory_iterator(store.path())) {
      if (entry.path().extension() == ".data") uploaded = e2e::readFile(entry.path());
    }
    EXPECT_EQ(uploaded, c.uploaded);
    const std::vector<std::string> pages = e2e::waitForLines(pagesLog(), 1);
    ASSERT_EQ(pages.size(), 1u);
    if (c.pagePrefix.empty()) {
      EXPECT_TRUE(
          pages[0].starts_with(server.address() + "/tolvane/webaccess/printdriver.xuf?sid="))
          << pages[0];
      EXPECT_TRUE(pages[0].ends_with("&filename=doc%201.pmf&FileSize=" +
                                     std::to_string(c.uploaded->size())))
          << pages[0];
      continue;
    }
    const std::string errorPage = server.address() + "/tolvane/webaccess/uploaderror.aspx";
    EXPECT_TRUE(pages[0].starts_with(errorPage + c.pagePrefix + library)) << pages[0];
    if (c.documentAfter == "original document" && c.calls.size() == 3) {
      EXPECT_NE(pages[0].find("&FilePath=" + escapedDocument), std::string::npos) << pages[0];
    }
  }
}

}  // namespace
