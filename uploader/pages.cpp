#include "uploader/pages.h"

#include <array>
#include <vector>

namespace uploader {

namespace {

bool isSafe(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  constexpr std::string_view kSafePunctuation = "!'()*-./:_~";
  return kSafePunctuation.find(static_cast<char>(c)) != std::string_view::npos;
}

void appendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (isSafe(byte)) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
}

std::size_t escapedLength(std::string_view text) {
  std::size_t length = 0;
  for (const char c : text) length += isSafe(static_cast<unsigned char>(c)) ? 1 : 3;
  return length;
}

bool written(const UrlPair& pair) { return !pair.key.empty() && !pair.value.empty(); }

// Where a page parameter takes its value from: a fact of the failure, or a text
// fixed by the page itself.
enum class Source {
  Fixed,
  Failure,
  ErrorDetail,
  FilePath,
  FileName,
  FileSize,
  FileOffset,
  SystemError,
  Url,
  Connection,
  Status,
  LibraryPath,
};

struct PageParameter {
  std::string_view key;
  Source source;
  std::string_view fixed = {};
};

struct PageRow {
  ErrorPage page;
  std::span<const PageParameter> parameters;
};

constexpr PageParameter kMissingFileOption[] = {
    {"Failure", Source::Fixed, "Missing file option: -file"},
};
constexpr PageParameter kCannotOpenFile[] = {
    {"Failure", Source::Fixed, "Cannot open file"},
    {"FilePath", Source::FilePath},
    {"SystemError", Source::SystemError},
};
constexpr PageParameter kCannotGetFileSize[] = {
    {"Failure", Source::Fixed, "Cannot get file size"},
    {"FilePath", Source::FilePath},
    {"SystemError", Source::SystemError},
};
constexpr PageParameter kFileTooLarge[] = {
    {"Failure", Source::Fixed, "File too large"},
    {"FileSize", Source::FileSize},
    {"FilePath", Source::FilePath},
};
constexpr PageParameter kStartUploadFailed[] = {
    {"Failure", Source::Failure},
    {"errordetail", Source::ErrorDetail},
    {"action", Source::Fixed, "StartUpload"},
    {"filename", Source::FileName},
    {"FileSize", Source::FileSize},
    {"URL", Source::Url},
    {"Connection", Source::Connection},
    {"Status", Source::Status},
    {"SystemError", Source::SystemError},
};
// The only page that names the file before the failure.
constexpr PageParameter kCannotReadFile[] = {
    {"FilePath", Source::FilePath},       {"Failure", Source::Fixed, "Cannot read file"},
    {"FileSize", Source::FileSize},       {"FileOffset", Source::FileOffset},
    {"SystemError", Source::SystemError},
};
constexpr PageParameter kUploadChunkFailed[] = {
    {"Failure", Source::Failure},
    {"errordetail", Source::ErrorDetail},
    {"action", Source::Fixed, "UploadChunk"},
    {"filename", Source::FileName},
    {"FileSize", Source::FileSize},
    {"FileOffset", Source::FileOffset},
    {"URL", Source::Url},
    {"Connection", Source::Connection},
    {"Status", Source::Status},
    {"SystemError", Source::SystemError},
};
constexpr PageParameter kEndUploadFailed[] = {
    {"Failure", Source::Failure},
    {"errordetail", Source::ErrorDetail},
    {"action", Source::Fixed, "EndUpload"},
    {"filename", Source::FileName},
    {"FileSize", Source::FileSize},
    {"FileOffset", Source::FileOffset},
    {"URL", Source::Url},
    {"Connection", Source::Connection},
    {"Status", Source::Status},
    {"SystemError", Source::SystemError},
};
constexpr PageParameter kCannotLoadLibrary[] = {
    {"Failure", Source::Fixed, "Cannot load submitdoc library"},
    {"LibraryPath", Source::LibraryPath},
    {"SystemError", Source::SystemError},
};
constexpr PageParameter kCannotInitializeLibrary[] = {
    {"Failure", Source::Fixed, "Cannot initialize submitdoc library"},
    {"LibraryPath", Source::LibraryPath},
    {"ProcedureName", Source::Fixed, "InitializeA"},
};
constexpr PageParameter kCannotRetrieveProcedure[] = {
    {"Failure", Source::Fixed, "Cannot retrieve submitdoc library procedure"},
    {"LibraryPath", Source::LibraryPath},
    {"ProcedureName", Source::Fixed, "SubmitDocA"},
    {"SystemError", Source::SystemError},
};
constexpr PageParameter kSubmitDocFailed[] = {
    {"Failure", Source::Fixed, "Submitdoc failed"},
    {"LibraryPath", Source::LibraryPath},
    {"ProcedureName", Source::Fixed, "SubmitDocA"},
    {"FilePath", Source::FilePath},
};

constexpr std::array kPageRows = {
    PageRow{ErrorPage::MissingFileOption, kMissingFileOption},
    PageRow{ErrorPage::CannotOpenFile, kCannotOpenFile},
    PageRow{ErrorPage::CannotGetFileSize, kCannotGetFileSize},
    PageRow{ErrorPage::FileTooLarge, kFileTooLarge},
    PageRow{ErrorPage::StartUploadFailed, kStartUploadFailed},
    PageRow{ErrorPage::CannotReadFile, kCannotReadFile},
    PageRow{ErrorPage::UploadChunkFailed, kUploadChunkFailed},
    PageRow{ErrorPage::EndUploadFailed, kEndUploadFailed},
    PageRow{ErrorPage::CannotLoadLibrary, kCannotLoadLibrary},
    PageRow{ErrorPage::CannotInitializeLibrary, kCannotInitializeLibrary},
    PageRow{ErrorPage::CannotRetrieveProcedure, kCannotRetrieveProcedure},
    PageRow{ErrorPage::SubmitDocFailed, kSubmitDocFailed},
};

std::string_view valueOf(const PageParameter& parameter, const ErrorFacts& facts) {
  switch (parameter.source) {
    case Source::Fixed:
      return parameter.fixed;
    case Source::Failure:
      return facts.failure;
    case Source::ErrorDetail:
      return facts.errorDetail;
    case Source::FilePath:
      return facts.filePath;
    case Source::FileName:
      return facts.fileName;
    case Source::FileSize:
      return facts.fileSize;
    case Source::FileOffset:
      return facts.fileOffset;
    case Source::SystemError:
      return facts.systemError;
    case Source::Url:
      return facts.url;
    case Source::Connection:
      return facts.connection;
    case Source::Status:
      return facts.status;
    case Source::LibraryPath:
      return facts.libraryPath;
  }
  return {};
}

}  // namespace

std::string EscapeUrlText(std::string_view text) {
  std::string out;
  out.reserve(escapedLength(text));
  appendEscaped(out, text);
  return out;
}

std::string BuildUrl(std::string_view base, std::string_view path, std::span<const UrlPair> pairs) {
  std::size_t length = escapedLength(base) + escapedLength(path);
  for (const UrlPair& pair : pairs) {
    if (written(pair)) length += 2 + escapedLength(pair.key) + escapedLength(pair.value);
  }
  std::string url;
  url.reserve(length);
  appendEscaped(url, base);
  appendEscaped(url, path);
  char separator = '?';
  for (const UrlPair& pair : pairs) {
    if (!written(pair)) continue;
    url += separator;
    separator = '&';
    appendEscaped(url, pair.key);
    url += '=';
    appendEscaped(url, pair.value);
  }
  return url;
}

std::string_view FileNameOf(std::string_view path) {
  std::size_t separator = path.rfind('\\');
  if (separator == std::string_view::npos) separator = path.rfind('/');
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string ErrorPageUrl(const PageContext& context, std::string_view errorPath, ErrorPage page,
                         const ErrorFacts& facts) {
  std::vector<UrlPair> pairs = {
      {"sid", context.sessionId},
      {"lang", context.languageCode},
      {"skin", context.skinName},
  };
  for (const PageRow& row : kPageRows) {
    if (row.page != page) continue;
    for (const PageParameter& parameter : row.parameters) {
      pairs.push_back({parameter.key, valueOf(parameter, facts)});
    }
  }
  return BuildUrl(context.server, errorPath, pairs);
}

std::string WizardPageUrl(const PageContext& context, std::string_view wizardPath,
                          const WizardFacts& facts) {
  const UrlPair pairs[] = {
      {"sid", context.sessionId},     {"lang", context.languageCode},
      {"skin", context.skinName},     {"filename", facts.fileName},
      {"FileSize", facts.fileSize},   {"compressionrate", facts.compressionRate},
      {"pagecount", facts.pageCount},
  };
  return BuildUrl(context.server, wizardPath, pairs);
}

std::string WebServiceUrl(std::string_view server, std::string_view webServicePath) {
  const UrlPair pairs[] = {{"Handler", "Default"}};
  return BuildUrl(server, webServicePath, pairs);
}

}  // namespace uploader
