// Shrinking one printer meta file in place: the scan pass over the whole
// file, then either a refresh of the header where it lies or a rewrite into a
// temporary file beside the document that replaces it in one step. Every
// failure leaves the document as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "passes/scan_pass.h"
#include "platform/system.h"

namespace glypter {

// Where a call stopped.
enum class ShrinkStep {
  None,
  Open,           // the document cannot be opened
  Scan,           // not a printer meta file, or a record is broken
  NoPages,        // the document has no pages
  Header,         // the header cannot be read in full or written back
  TemporaryName,  // no temporary file can be made beside the document
  TemporaryFile,  // the temporary file cannot be opened for writing
  Rewrite,        // reading the document or writing the temporary file failed
  Replace,        // the temporary file cannot take the document's place
};

const char* stepText(ShrinkStep step);

struct ShrinkOptions {
  // Scan and report, but leave the file alone.
  bool dryRun = false;
};

struct ShrinkOutcome {
  // What the plug-in's entry points return: 1 when the document was rewritten
  // or its header refreshed, 0 on any failure.
  int result = 0;
  ShrinkStep failedAt = ShrinkStep::None;
  platform::ErrorCode error = 0;  // the system's code, where the system refused
  std::string detail;             // what was wrong with the document, where it was
  // With result 1: true when the file was (or, in a dry run, would be)
  // rewritten, false when only its header was (or would be) refreshed.
  bool rewritten = false;
  std::uint64_t sizeBefore = 0;
  passes::HeaderStatistics statistics;
  std::vector<passes::FontReport> fonts;
};

ShrinkOutcome shrinkDocument(platform::System& system, std::string_view path,
                             const ShrinkOptions& options = {});

// How a system writes paths: the temporary file goes into the document's own
// folder so that it lands on the same file system and the replace is atomic.
enum class PathStyle {
  Posix,    // the folder ends at the last '/'
  Windows,  // the folder ends at the last '\', else at a drive's ':'
};
PathStyle nativePathStyle();

// The folder part of `path` with its final separator, or "." when the path
// names no folder.
std::string documentFolder(std::string_view path, PathStyle style);

// The bodies of the exported entry points. A null path, or one that does not
// convert, gives 0.
std::int32_t submitDocW(platform::System& system, const char16_t* path);
std::int32_t submitDocA(platform::System& system, const char* path);

}  // namespace glypter
