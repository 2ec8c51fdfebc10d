#include "uploader/pages.h"

#include <gtest/gtest.h>

#include <string>

namespace uploader {
namespace {

TEST(EscapeUrlText, KeepsSafeCharactersAndEscapesEveryOtherByte) {
  const std::pair<std::string, std::string> cases[] = {
      {"AZaz09!'()*-./:_~", "AZaz09!'()*-./:_~"},
      {"Missing file option: -file", "Missing%20file%20option:%20-file"},
      {"C:\\Temp\\doc 1.tmp", "C:%5cTemp%5cdoc%201.tmp"},
      {"\xe9\x7f\x0a\x01\xff", "%e9%7f%0a%01%ff"},
      {std::string("a\0b", 3), "a%00b"},
      {"\"`#$%&+,;<=>?@[\\]^{|}",
       "%22%60%23%24%25%26%2b%2c%3b%3c%3d%3e%3f%40%5b%5c%5d%5e%7b%7c%7d"},
      {"already%20escaped", "already%2520escaped"},
      {"", ""},
  };
  for (const auto& [text, escaped] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(EscapeUrlText(text), escaped);
  }
}

TEST(BuildUrl, LeavesOutEmptyPairsAndPutsTheQueryMarkOnTheFirstWritten) {
  const UrlPair pairs[] = {{"sid", ""}, {"", "orphan"}, {"a b", "1&2"}, {"c", "3"}};
  EXPECT_EQ(BuildUrl("http://h:8080", "/p q", pairs), "http://h:8080/p%20q?a%20b=1%262&c=3");

  const UrlPair empty[] = {{"sid", ""}, {"lang", ""}};
  EXPECT_EQ(BuildUrl("http://h", "/page", empty), "http://h/page");
  EXPECT_EQ(BuildUrl("", "/page", {}), "/page");
  EXPECT_EQ(BuildUrl("", "", {}), "");
}

TEST(FileNameOf, TakesThePartAfterTheLastSeparator) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"C:\\Temp\\doc.pmf", "doc.pmf"},
      {"/tmp/a/doc.pmf", "doc.pmf"},
      {"C:\\x/y\\z/w", "z/w"},
      {"doc.pmf", "doc.pmf"},
      {"C:\\Temp\\", ""},
      {"", ""},
  };
  for (const auto& [path, name] : cases) {
    SCOPED_TRACE(std::string(path));
    EXPECT_EQ(FileNameOf(path), name);
  }
}

// Every fact set, so each page shows exactly which ones its row takes and in
// which order.
ErrorFacts allFacts() {
  ErrorFacts facts;
  facts.failure = "SOAP error 4: Failed to connect to the server.";
  facts.errorDetail = "detail";
  facts.filePath = "C:\\T\\d 1.pmf";
  facts.fileName = "d 1.pmf";
  facts.fileSize = "-2";
  facts.fileOffset = "131072";
  facts.systemError = "12029: text\r\n";
  facts.url = "http://h/ws?Handler=Default";
  facts.connection = "step";
  facts.status = "500 Internal";
  facts.libraryPath = "C:\\p.dll";
  return facts;
}

TEST(ErrorPageUrl, EveryPageCarriesItsParametersInItsOrder) {
  const PageContext context{"http://h", "S1", "de", "blue"};
  const std::string head = "http://h/err?sid=S1&lang=de&skin=blue&";
  const std::string soapTail =
      "&filename=d%201.pmf&FileSize=-2&FileOffset=131072&URL=http://h/ws%3fHandler%3dDefault"
      "&Connection=step&Status=500%20Internal&SystemError=12029:%20text%0d%0a";
  const std::string soapHead =
      "Failure=SOAP%20error%204:%20Failed%20to%20connect%20to%20the%20server.&errordetail=detail"
      "&action=";
  const std::pair<ErrorPage, std::string> cases[] = {
      {ErrorPage::MissingFileOption, "Failure=Missing%20file%20option:%20-file"},
      {ErrorPage::CannotOpenFile,
       "Failure=Cannot%20open%20file&FilePath=C:%5cT%5cd%201.pmf&SystemError=12029:%20text%0d%0a"},
      {ErrorPage::CannotGetFileSize,
       "Failure=Cannot%20get%20file%20size&FilePath=C:%5cT%5cd%201.pmf"
       "&SystemError=12029:%20text%0d%0a"},
      {ErrorPage::FileTooLarge,
       "Failure=File%20too%20large&FileSize=-2&FilePath=C:%5cT%5cd%201.pmf"},
      {ErrorPage::StartUploadFailed,
       soapHead + "StartUpload&filename=d%201.pmf&FileSize=-2&URL=http://h/ws%3fHandler%3dDefault"
                  "&Connection=step&Status=500%20Internal&SystemError=12029:%20text%0d%0a"},
      {ErrorPage::CannotReadFile,
       "FilePath=C:%5cT%5cd%201.pmf&Failure=Cannot%20read%20file&FileSize=-2&FileOffset=131072"
       "&SystemError=12029:%20text%0d%0a"},
      {ErrorPage::UploadChunkFailed, soapHead + "UploadChunk" + soapTail},
      {ErrorPage::EndUploadFailed, soapHead + "EndUpload" + soapTail},
      {ErrorPage::CannotLoadLibrary,
       "Failure=Cannot%20load%20submitdoc%20library&LibraryPath=C:%5cp.dll"
       "&SystemError=12029:%20text%0d%0a"},
      {ErrorPage::CannotInitializeLibrary,
       "Failure=Cannot%20initialize%20submitdoc%20library&LibraryPath=C:%5cp.dll"
       "&ProcedureName=InitializeA"},
      {ErrorPage::CannotRetrieveProcedure,
       "Failure=Cannot%20retrieve%20submitdoc%20library%20procedure&LibraryPath=C:%5cp.dll"
       "&ProcedureName=SubmitDocA&SystemError=12029:%20text%0d%0a"},
      {ErrorPage::SubmitDocFailed,
       "Failure=Submitdoc%20failed&LibraryPath=C:%5cp.dll&ProcedureName=SubmitDocA"
       "&FilePath=C:%5cT%5cd%201.pmf"},
  };
  for (const auto& [page, query] : cases) {
    SCOPED_TRACE(query);
    EXPECT_EQ(ErrorPageUrl(context, "/err", page, allFacts()), head + query);
  }
}

TEST(ErrorPageUrl, WithoutSessionLanguageAndSkinTheFailureComesFirst) {
  ErrorFacts facts;
  facts.filePath = "a";
  EXPECT_EQ(ErrorPageUrl({"http://h", "", "", ""}, "/err", ErrorPage::CannotOpenFile, facts),
            "http://h/err?Failure=Cannot%20open%20file&FilePath=a");
  // A SOAP page whose state was Success has no failure text at all.
  EXPECT_EQ(ErrorPageUrl({"", "", "", ""}, "/err", ErrorPage::EndUploadFailed, {}),
            "/err?action=EndUpload");
}

TEST(WizardPageUrl, OrdersItsParametersAndDropsUnknownStatistics) {
  const PageContext context{"http://h", "S1", "", "blue"};
  EXPECT_EQ(WizardPageUrl(context, "/wiz", {"d\xe9 1.pmf", "2048", "35", "12"}),
            "http://h/wiz?sid=S1&skin=blue&filename=d%e9%201.pmf&FileSize=2048"
            "&compressionrate=35&pagecount=12");
  EXPECT_EQ(WizardPageUrl(context, "/wiz", {"d.pmf", "-1", "", ""}),
            "http://h/wiz?sid=S1&skin=blue&filename=d.pmf&FileSize=-1");
}

TEST(WebServiceUrl, AsksForTheDefaultHandler) {
  EXPECT_EQ(WebServiceUrl("http://127.0.0.1:81", "/FileUploadWS/FileUploadWS.dll"),
            "http://127.0.0.1:81/FileUploadWS/FileUploadWS.dll?Handler=Default");
}

}  // namespace
}  // namespace uploader
