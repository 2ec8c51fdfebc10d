#include "plugin/shrink_document.h"

#include <array>
#include <memory>
#include <new>
#include <vector>

#include "passes/rewrite_pass.h"
#include "spool/header.h"
#include "spool/output_writer.h"

namespace glypter {

namespace {

using platform::ErrorCode;
using platform::File;

constexpr std::string_view kTemporaryPrefix = "FSF";

// The writer hands over 4 KiB at a time; gathering a few of them saves the
// system calls without holding more than a chunk.
class FileSink final : public spool::ByteSink {
 public:
  explicit FileSink(File& file) : file_(file) { buffer_.reserve(kSize); }

  bool write(spool::Bytes bytes) override {
    if (error_ != 0) return false;
    if (buffer_.size() + bytes.size() > kSize && !flush()) return false;
    if (bytes.size() >= kSize) return put(bytes);
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return true;
  }

  bool flush() {
    if (error_ != 0) return false;
    bool ok = put(buffer_);
    buffer_.clear();
    return ok;
  }

  ErrorCode error() const { return error_; }

 private:
  static constexpr std::size_t kSize = 64 * 1024;

  bool put(spool::Bytes bytes) {
    if (bytes.empty()) return true;
    error_ = file_.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return error_ == 0;
  }

  File& file_;
  std::vector<std::uint8_t> buffer_;
  ErrorCode error_ = 0;
};

// Deletes the temporary file on every way out but the one where it has
// become the document.
class TemporaryPath {
 public:
  TemporaryPath(platform::Files& files, std::string path) : files_(files), path_(std::move(path)) {}
  ~TemporaryPath() {
    if (!path_.empty()) files_.remove(path_);
  }
  TemporaryPath(const TemporaryPath&) = delete;
  TemporaryPath& operator=(const TemporaryPath&) = delete;
  const std::string& path() const { return path_; }
  void release() { path_.clear(); }

 private:
  platform::Files& files_;
  std::string path_;
};

// Feeds a whole file from its current position to a pass, chunk by chunk.
template <typename Pass>
ErrorCode feedFile(File& file, Pass& pass, bool& passFailed) {
  std::vector<std::uint8_t> chunk(passes::kChunkSize);
  passFailed = false;
  for (;;) {
    std::uint32_t got = 0;
    if (ErrorCode e = file.read(chunk.data(), static_cast<std::uint32_t>(chunk.size()), &got)) {
      return e;
    }
    if (got == 0) return 0;
    if (!pass.feed(spool::Bytes(chunk.data(), got))) {
      passFailed = true;
      return 0;
    }
  }
}

ShrinkOutcome& failAt(ShrinkOutcome& outcome, ShrinkStep step, ErrorCode error = 0,
                      std::string detail = {}) {
  outcome.result = 0;
  outcome.failedAt = step;
  outcome.error = error;
  outcome.detail = std::move(detail);
  return outcome;
}

// Puts the scan's page count and ratios into the header where it lies. Only
// a long header can take them: a short one would lose its first records.
void refreshHeader(File& input, const passes::HeaderStatistics& statistics, bool dryRun,
                   ShrinkOutcome& outcome) {
  std::array<std::uint8_t, spool::kLongHeaderSize> header{};
  std::uint32_t got = 0;
  if (ErrorCode e = input.seek(0, platform::SeekOrigin::Begin)) {
    failAt(outcome, ShrinkStep::Header, e);
    return;
  }
  if (ErrorCode e = input.read(header.data(), static_cast<std::uint32_t>(header.size()), &got)) {
    failAt(outcome, ShrinkStep::Header, e);
    return;
  }
  if (got != header.size()) {
    failAt(outcome, ShrinkStep::Header, platform::ERROR_HANDLE_EOF, "the header is short");
    return;
  }
  spool::MutableBytes bytes(header);
  if (spool::fieldU32(bytes, 24) < spool::kStatisticsVersion) {
    spool::writeU32(bytes, 24, spool::kStatisticsVersion);
  }
  spool::writeU32(bytes, 40, statistics.pageCountPlusOne);
  header[44] = statistics.sizeRatio;
  header[45] = statistics.blobRatio;
  header[46] = statistics.textObjectRatio;
  header[47] = statistics.pointListRatio;
  outcome.result = 1;
  if (dryRun) return;
  if (ErrorCode e = input.seek(0, platform::SeekOrigin::Begin)) {
    failAt(outcome, ShrinkStep::Header, e);
    return;
  }
  if (ErrorCode e = input.write(header.data(), static_cast<std::uint32_t>(header.size()))) {
    failAt(outcome, ShrinkStep::Header, e);
  }
}

ShrinkOutcome shrink(platform::System& system, std::string_view path,
                     const ShrinkOptions& options) {
  ShrinkOutcome outcome;
  platform::Files& files = system.files;

  std::unique_ptr<File> input;
  platform::FileOpenOptions openInput;
  openInput.access = platform::kAccessReadWrite;
  openInput.share = platform::kShareRead;
  openInput.disposition = platform::FileDisposition::OpenExisting;
  openInput.sequentialScan = true;
  if (ErrorCode e = files.open(path, openInput, input)) return failAt(outcome, ShrinkStep::Open, e);
  input->size(&outcome.sizeBefore);

  passes::ScanPass scan(system.codePages, true);
  bool scanFailed = !scan.begin();
  if (!scanFailed) {
    if (ErrorCode e = feedFile(*input, scan, scanFailed)) {
      return failAt(outcome, ShrinkStep::Scan, e);
    }
  }
  if (!scan.end() || scanFailed)
    return failAt(outcome, ShrinkStep::Scan, 0, scan.describeFailure());

  passes::ScanSummary& summary = scan.summary();
  outcome.statistics = summary.statistics();
  outcome.fonts = summary.report;
  if (summary.pageCount() == 0) return failAt(outcome, ShrinkStep::NoPages);

  if (summary.fonts.empty()) {
    std::array<std::uint8_t, 28> start{};
    std::uint32_t got = 0;
    if (ErrorCode e = input->seek(0, platform::SeekOrigin::Begin)) {
      return failAt(outcome, ShrinkStep::Header, e);
    }
    if (ErrorCode e = input->read(start.data(), static_cast<std::uint32_t>(start.size()), &got)) {
      return failAt(outcome, ShrinkStep::Header, e);
    }
    if (got == start.size() && spool::fieldU32(start, 24) != 1) {
      refreshHeader(*input, outcome.statistics, options.dryRun, outcome);
      return outcome;
    }
  }

  outcome.rewritten = true;
  if (options.dryRun) {
    outcome.result = 1;
    return outcome;
  }

  std::string temporary;
  if (ErrorCode e = files.createTemporaryFile(documentFolder(path, nativePathStyle()),
                                              kTemporaryPrefix, &temporary)) {
    return failAt(outcome, ShrinkStep::TemporaryName, e);
  }
  TemporaryPath guard(files, temporary);
  {
    std::unique_ptr<File> output;
    platform::FileOpenOptions openOutput;
    openOutput.access = platform::kAccessWrite;
    openOutput.share = platform::kShareRead;
    openOutput.disposition = platform::FileDisposition::CreateAlways;
    openOutput.sequentialScan = true;
    if (ErrorCode e = files.open(temporary, openOutput, output)) {
      return failAt(outcome, ShrinkStep::TemporaryFile, e);
    }
    if (ErrorCode e = input->seek(0, platform::SeekOrigin::Begin)) {
      return failAt(outcome, ShrinkStep::Rewrite, e);
    }
    FileSink sink(*output);
    passes::RewritePass rewrite(summary, sink);
    bool rewriteFailed = !rewrite.begin();
    if (!rewriteFailed) {
      if (ErrorCode e = feedFile(*input, rewrite, rewriteFailed)) {
        return failAt(outcome, ShrinkStep::Rewrite, e);
      }
    }
    if (!rewrite.end() || rewriteFailed) {
      return failAt(outcome, ShrinkStep::Rewrite, sink.error(), rewrite.describeFailure());
    }
    if (!sink.flush()) return failAt(outcome, ShrinkStep::Rewrite, sink.error());
  }
  // The document must be closed before anything can take its place.
  input.reset();
  if (ErrorCode e = files.replace(temporary, path)) {
    return failAt(outcome, ShrinkStep::Replace, e);
  }
  guard.release();
  outcome.result = 1;
  return outcome;
}

}  // namespace

const char* stepText(ShrinkStep step) {
  switch (step) {
    case ShrinkStep::None:
      return "done";
    case ShrinkStep::Open:
      return "cannot open the document";
    case ShrinkStep::Scan:
      return "cannot read the document";
    case ShrinkStep::NoPages:
      return "the document has no pages";
    case ShrinkStep::Header:
      return "cannot refresh the header";
    case ShrinkStep::TemporaryName:
      return "cannot make a temporary file beside the document";
    case ShrinkStep::TemporaryFile:
      return "cannot open the temporary file";
    case ShrinkStep::Rewrite:
      return "cannot rewrite the document";
    case ShrinkStep::Replace:
      return "cannot replace the document";
  }
  return "failed";
}

ShrinkOutcome shrinkDocument(platform::System& system, std::string_view path,
                             const ShrinkOptions& options) {
  try {
    return shrink(system, path, options);
  } catch (const std::bad_alloc&) {
    ShrinkOutcome outcome;
    return failAt(outcome, ShrinkStep::Scan, platform::ERROR_NOT_ENOUGH_MEMORY, "out of memory");
  }
}

std::string documentFolder(std::string_view path, PathStyle style) {
  std::size_t cut = std::string_view::npos;
  if (style == PathStyle::Posix) {
    cut = path.rfind('/');
  } else {
    cut = path.rfind('\\');
    if (cut == std::string_view::npos) cut = path.rfind(':');
  }
  if (cut == std::string_view::npos) return ".";
  return std::string(path.substr(0, cut + 1));
}

std::int32_t submitDocW(platform::System& system, const char16_t* path) {
  if (path == nullptr) return 0;
  try {
    std::string utf8;
    bool lossy = false;
    if (system.codePages.fromUtf16(platform::CP_UTF8, std::u16string_view(path), &utf8, &lossy) !=
            0 ||
        lossy || utf8.empty()) {
      return 0;
    }
    return shrinkDocument(system, utf8).result;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

std::int32_t submitDocA(platform::System& system, const char* path) {
  if (path == nullptr) return 0;
  try {
    std::u16string wide;
    if (system.codePages.toUtf16(platform::CP_THREAD_ACP, path, &wide) != 0) return 0;
    return submitDocW(system, wide.c_str());
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace glypter
