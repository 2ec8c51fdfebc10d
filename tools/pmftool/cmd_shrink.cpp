// pmftool shrink FILE [--dry-run]: what the plug-in does to a document, done
// by hand and told: each embedded font with its size before and after and
// whether its subset replaced it, the statistics the header now carries, and
// the size of the file before and after.
#include <iostream>

#include "commands.h"
#include "inspect.h"
#include "plugin/shrink_document.h"

namespace pmftool {

namespace {

int shrink(const Args& args, std::ostream& out, std::ostream& err) {
  std::string path;
  bool dryRun = false;
  for (const std::string& arg : args) {
    if (arg == "--dry-run") {
      dryRun = true;
    } else if (path.empty() && !arg.starts_with("--")) {
      path = arg;
    } else {
      path.clear();
      break;
    }
  }
  if (path.empty()) {
    err << "usage: pmftool shrink FILE [--dry-run]\n";
    return 2;
  }

  platform::System& system = platform::system();
  glypter::ShrinkOptions options;
  options.dryRun = dryRun;
  const glypter::ShrinkOutcome outcome = glypter::shrinkDocument(system, path, options);

  for (const passes::FontReport& font : outcome.fonts) {
    out << "font " << quoted(font.name) << ": embedded " << font.embeddedLength << " bytes, ";
    if (font.subsetLength != 0) {
      out << "subset " << font.subsetLength << " bytes, ";
    } else if (font.outcome == passes::FontOutcome::Refused) {
      out << "no subset (" << subset::refusalText(font.refusal) << "), ";
    }
    out << font.characters.size() << " characters, " << passes::outcomeText(font.outcome) << "\n";
  }
  if (outcome.result == 0) {
    err << "pmftool: " << path << ": " << glypter::stepText(outcome.failedAt);
    if (!outcome.detail.empty()) err << ": " << outcome.detail;
    if (outcome.error != 0) err << " (system error " << outcome.error << ")";
    err << "; the file is unchanged\n";
    return 1;
  }

  const passes::HeaderStatistics& s = outcome.statistics;
  out << "pages " << s.pageCountPlusOne - 1 << ", sizeRatio " << int{s.sizeRatio} << "%, blobRatio "
      << int{s.blobRatio} << "%, textObjectRatio " << int{s.textObjectRatio} << "%, pointListRatio "
      << int{s.pointListRatio} << "%\n";
  if (dryRun) {
    out << path << ": " << outcome.sizeBefore << " bytes, would be "
        << (outcome.rewritten ? "rewritten" : "left with its header refreshed")
        << " (dry run, nothing written)\n";
    return 0;
  }
  std::uint64_t after = 0;
  std::unique_ptr<platform::File> file;
  if (system.files.open(path, {}, file) == 0) file->size(&after);
  out << path << ": " << outcome.sizeBefore << " -> " << after << " bytes, "
      << (outcome.rewritten ? "rewritten" : "header refreshed") << "\n";
  return 0;
}

}  // namespace

int runShrink(const Args& args) { return shrink(args, std::cout, std::cerr); }

}  // namespace pmftool
