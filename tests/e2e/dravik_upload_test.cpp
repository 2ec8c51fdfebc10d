// The whole upload with the real programs: Dravik on a real document, the
// reference server on loopback with its faults, and the recorder as the
// browser. Each scenario is judged by what the server saw (its request log and
// store), the pages the browser was given, the boxes on standard error and
// whether the document is still there.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"

namespace {

namespace fs = std::filesystem;
using e2e::ChildResult;

constexpr const char* kDravik = VARDO_DRAVIK_PATH;
constexpr const char* kRecorder = VARDO_RECORDER_PATH;
constexpr const char* kServerProgram = VARDO_UPLOADWS_SERVER_PATH;

// How the document reaches Dravik.
enum class Document {
  File,        // a file holding `content`
  Sparse4GiB,  // a file of exactly 4 GiB that takes no space
  Pipe,        // a named pipe: a header's worth of bytes, then `content` once the
               // browser has ended
  Unreadable,  // a path that opens but fails every read
};

// What the association's command does with a page.
enum class Browser {
  Open,    // logs the page and stays until the scenario ends
  Closes,  // logs the page and ends at once
  Absent,  // names a program that does not exist
};

struct Scenario {
  const char* name;
  Document document;
  std::string content;
  std::vector<std::string> options;
  std::vector<std::string> serverOptions;
  Browser browser;
  // "<operation> <size> [<status when not 200>]", size being the StartUpload
  // file size or the bytes of a chunk.
  std::vector<std::string> requests;
  // Page addresses, with {server}, {sid} and {doc} put in; "*" matches any
  // text (the system's wording of an error code).
  std::vector<std::string> pages;
  std::vector<std::string> boxes;
  bool documentKept;
};

std::string bytes(std::size_t count) {
  std::string text(count, '\0');
  std::uint32_t state = 12345;
  for (char& c : text) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return text;
}

std::string metaFile(std::uint32_t version) {
  std::string header = "VARDO PRINTER META FILE ";
  auto put32 = [&](std::uint32_t value) {
    for (int i = 0; i < 4; ++i) header += static_cast<char>(value >> (8 * i));
  };
  put32(version);
  put32(0);                         // compressed
  put32(0);                         // recordSetParameter
  put32(1);                         // recordSet
  put32(4);                         // pageCountPlusOne
  header += static_cast<char>(40);  // sizeRatio
  header += std::string(11, '\0');
  return header + bytes(1000);
}

bool globMatch(std::string_view pattern, std::string_view text) {
  const std::size_t star = pattern.find('*');
  if (star == std::string_view::npos) return pattern == text;
  if (!text.starts_with(pattern.substr(0, star))) return false;
  const std::string_view rest = pattern.substr(star + 1);
  for (std::size_t at = star; at <= text.size(); ++at) {
    if (globMatch(rest, text.substr(at))) return true;
  }
  return false;
}

void expectLinesMatch(const std::vector<std::string>& patterns,
                      const std::vector<std::string>& lines, const char* what) {
  EXPECT_EQ(lines.size(), patterns.size()) << what;
  for (std::size_t i = 0; i < std::min(lines.size(), patterns.size()); ++i) {
    EXPECT_TRUE(globMatch(patterns[i], lines[i]))
        << what << " " << i << "\n  expected " << patterns[i] << "\n  got      " << lines[i];
  }
}

// Browsers log their pages in their own time, so pages opened one after the
// other may arrive in either order: each pattern takes one line of its own.
void expectSameLines(const std::vector<std::string>& patterns, std::vector<std::string> lines,
                     const char* what) {
  EXPECT_EQ(lines.size(), patterns.size()) << what;
  for (const std::string& pattern : patterns) {
    const auto found = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
      return globMatch(pattern, line);
    });
    if (found == lines.end()) {
      ADD_FAILURE() << what << " missing: " << pattern;
    } else {
      lines.erase(found);
    }
  }
  for (const std::string& line : lines) ADD_FAILURE() << what << " unexpected: " << line;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
  if (from.empty()) return text;
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The text of a JSON string member of one log line.
std::string jsonText(const std::string& line, const std::string& key) {
  const std::string opening = "\"" + key + "\":\"";
  std::size_t at = line.find(opening);
  if (at == std::string::npos) return {};
  std::string text;
  for (at += opening.size(); at < line.size() && line[at] != '"'; ++at) {
    if (line[at] != '\\' || at + 1 >= line.size()) {
      text += line[at];
      continue;
    }
    const char escaped = line[++at];
    text += escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped == 't' ? '\t' : escaped;
  }
  return text;
}

std::string between(const std::string& text, const std::string& open, const std::string& close) {
  const std::size_t start = text.find(open);
  if (start == std::string::npos) return {};
  const std::size_t end = text.find(close, start + open.size());
  return text.substr(start + open.size(), end - start - open.size());
}

// One request of the server's log as the scenarios state it.
std::string describeRequest(const std::string& line) {
  const std::string body = jsonText(line, "body");
  std::string operation = between(line, "SOAPAction\",\"\\\"#", "\\\"");
  std::string text = operation;
  if (operation == "StartUpload") text += " " + between(body, "<filesize>", "</filesize>");
  if (operation == "UploadChunk") {
    const std::string data = between(body, "<chunkdata>", "</chunkdata>");
    const std::size_t padding = data.ends_with("==") ? 2 : data.ends_with('=') ? 1 : 0;
    text += " " + std::to_string(data.size() / 4 * 3 - padding);
  }
  const std::string status = between(line, "\"status\":", ",");
  if (status != "200") text += " " + status;
  return text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> all;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) all.push_back(line);
  return all;
}

class DravikUpload : public ::testing::Test {
 protected:
  fs::path document() const { return folder.path() / "doc.pmf"; }
  fs::path pagesLog() const { return folder.path() / "pages.log"; }
  fs::path browserOpen() const { return folder.path() / "browser.open"; }

  void writeRegistry(Browser browser) {
    std::string command;
    if (browser == Browser::Absent) {
      command = "\\\"" + (folder.path() / "no-such-browser").string() + "\\\" \\\"%1\\\"";
    } else {
      command = "\\\"" + std::string(kRecorder) + "\\\" --log \\\"" + pagesLog().string() + "\\\"";
      if (browser == Browser::Open) {
        command += " --while-exists \\\"" + browserOpen().string() + "\\\"";
      }
      command += " \\\"%1\\\"";
    }
    std::ofstream(folder.path() / "registry.reg")
        << "Windows Registry Editor Version 5.00\n\n"
        << "[HKEY_CLASSES_ROOT\\.htm]\n@=\"htmlfile\"\n\n"
        << "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\n"
        << "@=\"" << command << "\"\n";
  }

  // Plays the print driver that spools through a pipe: a header's worth of
  // bytes, then, once the wizard's browser has ended, the rest.
  ChildResult runOnPipe(const std::vector<std::string>& arguments,
                        const std::map<std::string, std::string>& variables,
                        const std::string& rest) {
    EXPECT_EQ(::mkfifo(document().c_str(), 0600), 0);
    e2e::Child dravik(kDravik, arguments, variables, folder.path());
    const int pipe = e2e::openPipeForWriting(document());
    EXPECT_GE(pipe, 0);
    if (pipe < 0) return dravik.wait();
    const std::string header(56, 'h');
    EXPECT_EQ(::write(pipe, header.data(), header.size()), 56);
    EXPECT_EQ(e2e::waitForLines(pagesLog(), 1).size(), 1u);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!e2e::hasEndedChild(dravik.pid()) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(::write(pipe, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
    ::close(pipe);
    return dravik.wait();
  }

  void check(const Scenario& s) {
    SCOPED_TRACE(s.name);
    e2e::TemporaryFolder store;
    e2e::ReferenceServer server(kServerProgram, store.path(), s.serverOptions);
    ASSERT_FALSE(server.address().empty());
    fs::remove(pagesLog());
    writeRegistry(s.browser);
    std::ofstream(browserOpen()) << "open";

    std::string path = document().string();
    switch (s.document) {
      case Document::File:
        std::ofstream(document(), std::ios::binary) << s.content;
        break;
      case Document::Sparse4GiB:
        std::ofstream(document(), std::ios::binary).close();
        fs::resize_file(document(), std::uintmax_t{1} << 32);
        break;
      case Document::Unreadable:
        path = "/proc/self/mem";
        break;
      case Document::Pipe:
        break;
    }

    std::vector<std::string> arguments = {"-file",          path,     "-server",
                                          server.address(), "-debug", "2"};
    arguments.insert(arguments.end(), s.options.begin(), s.options.end());
    const std::map<std::string, std::string> variables = {
        {"VARDO_REGISTRY", (folder.path() / "registry.reg").string()}};
    const ChildResult result = s.document == Document::Pipe
                                   ? runOnPipe(arguments, variables, s.content)
                                   : e2e::runChild(kDravik, arguments, variables, folder.path());
    EXPECT_EQ(result.exitCode, 0);

    std::string sessionId;
    for (const auto& entry : fs::directory_iterator(store.path())) {
      if (entry.path().extension() == ".json") sessionId = entry.path().stem().string();
    }
    auto fill = [&](const std::string& pattern) {
      return replaceAll(
          replaceAll(replaceAll(pattern, "{server}", server.address()), "{sid}", sessionId),
          "{doc}", path);
    };

    std::vector<std::string> requests;
    std::size_t accepted = 0;
    for (const std::string& line : lines(e2e::readFile(server.requestLog()))) {
      requests.push_back(describeRequest(line));
      if (requests.back().starts_with("UploadChunk ") &&
          requests.back().find(' ', 12) == std::string::npos) {
        accepted += std::stoul(requests.back().substr(12));
      }
    }
    EXPECT_EQ(requests, s.requests);
    if (!sessionId.empty()) {
      // The server holds exactly the bytes it accepted, in the document's order.
      EXPECT_EQ(e2e::readFile(store.path() / (sessionId + ".data")), s.content.substr(0, accepted));
    }

    std::vector<std::string> pages;
    for (const std::string& page : s.pages) pages.push_back(fill(page));
    expectSameLines(
        pages,
        e2e::waitForLines(pagesLog(), pages.size(), std::chrono::seconds(pages.empty() ? 0 : 20)),
        "page");
    std::vector<std::string> boxes;
    for (const std::string& box : s.boxes) boxes.push_back(fill(box));
    expectLinesMatch(boxes, lines(result.standardError), "box");
    EXPECT_EQ(fs::exists(fs::symlink_status(path)), s.documentKept);

    fs::remove(browserOpen());
    fs::remove(document());
  }

  e2e::TemporaryFolder folder;
};

const std::string kWizard = "{server}/tolvane/webaccess/printdriver.xuf?sid={sid}&filename=doc.pmf";
const std::string kError = "{server}/tolvane/webaccess/uploaderror.aspx?";
const std::string kServiceUrl = "{server}/FileUploadWS/FileUploadWS.dll?Handler=Default";
const std::string kServiceUrlValue = "{server}/FileUploadWS/FileUploadWS.dll%3fHandler%3dDefault";
const std::string kSoapFault = "SOAP%20error%207:%20The%20server%20returned%20a%20SOAP%20fault.";
const std::string kStatus500 = "&Status=500%20Internal%20Server%20Error&SystemError=0x80004005*";

TEST_F(DravikUpload, Scenarios) {
  const Scenario scenarios[] = {
      {"empty document",
       Document::File,
       "",
       {},
       {},
       Browser::Open,
       {"StartUpload 0", "EndUpload"},
       {kWizard + "&FileSize=0"},
       {},
       false},
      {"exactly two chunks",
       Document::File,
       bytes(131072),
       {},
       {},
       Browser::Open,
       {"StartUpload 131072", "UploadChunk 65536", "UploadChunk 65536", "EndUpload"},
       {kWizard + "&FileSize=131072"},
       {},
       false},
      {"-chunksize 8",
       Document::File,
       bytes(20000),
       {"-chunksize", "8"},
       {},
       Browser::Open,
       {"StartUpload 20000", "UploadChunk 8192", "UploadChunk 8192", "UploadChunk 3616",
        "EndUpload"},
       {kWizard + "&FileSize=20000"},
       {},
       false},
      // Chunks of nothing would close the session unsent and then delete the
      // document: 0 takes the default size.
      {"-chunksize 0",
       Document::File,
       bytes(100000),
       {"-chunksize", "0"},
       {},
       Browser::Open,
       {"StartUpload 100000", "UploadChunk 65536", "UploadChunk 34464", "EndUpload"},
       {kWizard + "&FileSize=100000"},
       {},
       false},
      {"4 GiB",
       Document::Sparse4GiB,
       "",
       {},
       {},
       Browser::Open,
       {},
       {kError + "Failure=File%20too%20large&FileSize=4294967296&FilePath={doc}"},
       {"Dravik: 13*{doc}", "File too large: {doc}"},
       true},
      {"a meta file with statistics",
       Document::File,
       metaFile(5),
       {},
       {},
       Browser::Open,
       {"StartUpload 1056", "UploadChunk 1056", "EndUpload"},
       {kWizard + "&FileSize=1056&compressionrate=60&pagecount=3"},
       {},
       false},
      {"version-4 header",
       Document::File,
       metaFile(4),
       {},
       {},
       Browser::Open,
       {"StartUpload 1056", "UploadChunk 1056", "EndUpload"},
       {kWizard + "&FileSize=1056"},
       {},
       false},
      {"not a meta file",
       Document::File,
       "plain text, no header\n",
       {},
       {},
       Browser::Open,
       {"StartUpload 22", "UploadChunk 22", "EndUpload"},
       {kWizard + "&FileSize=22"},
       {},
       false},
      {"browser already ended",
       Document::Pipe,
       "rest",
       {},
       {},
       Browser::Closes,
       {"StartUpload 0", "EndUpload"},
       {kWizard + "&FileSize=0"},
       {"Dravik: 1223*" + kWizard + "&FileSize=0",
        "Dravik(1): UploadChunk aborted: The wizzard has been cancelled"},
       false},
      {"-checkwizard no",
       Document::Pipe,
       "rest",
       {"-checkwizard", "no"},
       {},
       Browser::Closes,
       {"StartUpload 0", "UploadChunk 4", "EndUpload"},
       {kWizard + "&FileSize=0"},
       {},
       false},
      {"StartUpload failing",
       Document::File,
       bytes(1000),
       {},
       {"--soap-fault", "1:Disk full"},
       Browser::Open,
       {"StartUpload 1000 500"},
       {kError + "Failure=" + kSoapFault + "&errordetail=Disk%20full&action=StartUpload" +
        "&filename=doc.pmf&FileSize=1000&URL=" + kServiceUrlValue + kStatus500},
       {"Dravik: 0x80004005*" + kServiceUrl,
        "StartUpload failed: SOAP error 7: The server returned a SOAP fault. Disk full"},
       false},
      {"UploadChunk failing on the third chunk",
       Document::File,
       bytes(20000),
       {"-chunksize", "8"},
       {"--soap-fault", "4:Chunk lost"},
       Browser::Open,
       {"StartUpload 20000", "UploadChunk 8192", "UploadChunk 8192", "UploadChunk 3616 500"},
       {kWizard + "&FileSize=20000",
        kError + "sid={sid}&Failure=" + kSoapFault +
            "&errordetail=Chunk%20lost&action=UploadChunk&filename=doc.pmf&FileSize=20000" +
            "&FileOffset=16384&URL=" + kServiceUrlValue + kStatus500},
       {"Dravik: 0x80004005*" + kServiceUrl,
        "Dravik(1): UploadChunk failed: SOAP error 7: The server returned a SOAP fault. "
        "Chunk lost"},
       false},
      {"EndUpload failing",
       Document::File,
       bytes(10000),
       {"-chunksize", "8"},
       {"--soap-fault", "4:Not closed"},
       Browser::Open,
       {"StartUpload 10000", "UploadChunk 8192", "UploadChunk 1808", "EndUpload 500"},
       {kWizard + "&FileSize=10000",
        kError + "sid={sid}&Failure=" + kSoapFault +
            "&errordetail=Not%20closed&action=EndUpload&filename=doc.pmf&FileSize=10000" +
            "&FileOffset=10000&URL=" + kServiceUrlValue + kStatus500},
       {"Dravik: 0x80004005*" + kServiceUrl,
        "EndUpload failed: SOAP error 7: The server returned a SOAP fault. Not closed"},
       false},
      {"read error",
       Document::Unreadable,
       "",
       {},
       {},
       Browser::Open,
       {"StartUpload 0", "EndUpload"},
       {"{server}/tolvane/webaccess/printdriver.xuf?sid={sid}&filename=mem&FileSize=0",
        kError + "sid={sid}&FilePath=/proc/self/mem&Failure=Cannot%20read%20file&FileSize=0" +
            "&FileOffset=0&SystemError=31:*"},
       {"Dravik: 31:*/proc/self/mem"},
       true},
      {"wizard page not openable",
       Document::File,
       bytes(1000),
       {},
       {},
       Browser::Absent,
       {"StartUpload 1000"},
       {},
       {"Dravik: 2:*no-such-browser\" \"" + kWizard + "&FileSize=1000\"",
        "Dravik(2): OpenURL: Browse failed",
        "Dravik(1): Cannot browse to the wizard page: " + kWizard + "&FileSize=1000"},
       false},
      {"-delete no",
       Document::File,
       bytes(1000),
       {"-delete", "no"},
       {},
       Browser::Open,
       {"StartUpload 1000", "UploadChunk 1000", "EndUpload"},
       {kWizard + "&FileSize=1000"},
       {},
       true},
  };
  for (const Scenario& s : scenarios) check(s);
}

}  // namespace
