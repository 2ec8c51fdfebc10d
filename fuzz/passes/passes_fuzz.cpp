// Glypter's two passes over arbitrary bytes: the scan (fonts, object cache,
// group replays, statistics, subsets at the document end) and, when the scan
// accepts the input, the rewrite into memory. A rewritten document must scan
// again. Inputs arrive in 16 KiB chunks, as the plug-in feeds them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "passes/rewrite_pass.h"
#include "passes/scan_pass.h"
#include "platform/system.h"
#include "spool/output_writer.h"

namespace {

constexpr std::size_t kChunk = 0x4000;

template <typename Pass>
bool runOver(Pass& pass, std::span<const std::uint8_t> input) {
  if (!pass.begin()) return false;
  for (std::size_t at = 0; at < input.size(); at += kChunk) {
    if (!pass.feed(input.subspan(at, std::min(kChunk, input.size() - at)))) break;
  }
  return pass.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::CodePages& codePages = platform::nativeSystem().codePages;
  const std::span<const std::uint8_t> input(data, size);

  passes::ScanPass scan(codePages);
  if (!runOver(scan, input)) return 0;

  spool::VectorSink sink;
  passes::RewritePass rewrite(scan.summary(), sink);
  if (!runOver(rewrite, input)) return 0;

  passes::ScanPass again(codePages);
  if (!runOver(again, sink.data)) std::abort();
  return 0;
}
