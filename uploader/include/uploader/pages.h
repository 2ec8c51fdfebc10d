// Addresses of the server's pages and of its upload web service: the base,
// a path, and a query of key/value pairs in which empty values vanish.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace uploader {

struct UrlPair {
  std::string_view key;
  std::string_view value;
};

// Escapes every byte that is not a letter, a digit or one of ! ' ( ) * - . / : _ ~
// as "%" and two lower-case hexadecimal digits; "%" itself included.
std::string EscapeUrlText(std::string_view text);

// base + path + "?k=v&k=v..." for the pairs whose key and value are not empty,
// each component escaped. No separator is put between base and path.
std::string BuildUrl(std::string_view base, std::string_view path, std::span<const UrlPair> pairs);

// The part of `path` after its last backslash, else after its last slash, else
// the whole path.
std::string_view FileNameOf(std::string_view path);

// The server's error pages. Each has a fixed list of parameters, in order,
// after "sid", "lang" and "skin".
enum class ErrorPage {
  MissingFileOption,
  CannotOpenFile,
  CannotGetFileSize,
  FileTooLarge,
  StartUploadFailed,
  CannotReadFile,
  UploadChunkFailed,
  EndUploadFailed,
  CannotLoadLibrary,
  CannotInitializeLibrary,
  CannotRetrieveProcedure,
  SubmitDocFailed,
};

// The facts a failure can carry onto its error page; each page takes the ones
// its row names and ignores the others. Empty facts are left out of the URL.
struct ErrorFacts {
  std::string failure;  // only for the pages whose failure text is not fixed
  std::string errorDetail;
  std::string filePath;
  std::string fileName;
  std::string fileSize;
  std::string fileOffset;
  std::string systemError;
  std::string url;
  std::string connection;
  std::string status;
  std::string libraryPath;
};

// What every page of a run shares: where it lives and who looks at it.
struct PageContext {
  std::string_view server;
  std::string_view sessionId;
  std::string_view languageCode;
  std::string_view skinName;
};

std::string ErrorPageUrl(const PageContext& context, std::string_view errorPath, ErrorPage page,
                         const ErrorFacts& facts);

// The facts of the wizard page; compression rate and page count are empty when
// unknown.
struct WizardFacts {
  std::string_view fileName;
  std::string_view fileSize;
  std::string_view compressionRate;
  std::string_view pageCount;
};

std::string WizardPageUrl(const PageContext& context, std::string_view wizardPath,
                          const WizardFacts& facts);

std::string WebServiceUrl(std::string_view server, std::string_view webServicePath);

}  // namespace uploader
