// The scan pass: reads a whole printer meta file once, keeps every embedded
// TrueType font, follows which font each piece of text is drawn in (directly
// or through the producer's object cache), counts pages and sizes, and at the
// document end subsets every font to the characters drawn with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/code_pages.h"
#include "spool/le_bytes.h"
#include "spool/record_reader.h"
#include "subset/subset.h"

namespace passes {

// Both passes read the document in chunks of this size.
inline constexpr std::size_t kChunkSize = 16384;

// The kinds of the producer's cached objects; the first four have their own
// size counters.
enum ObjectKind : std::uint8_t {
  kBlob = 0,
  kTextObject = 1,
  kFontObject = 2,
  kPointList = 3,
  kGroup = 4
};
inline constexpr std::size_t kCountedKinds = 4;

// What the rewritten header carries besides the magic and the record set.
struct HeaderStatistics {
  std::uint32_t pageCountPlusOne = 0;
  std::uint8_t sizeRatio = 100;
  std::uint8_t blobRatio = 100;
  std::uint8_t textObjectRatio = 100;
  std::uint8_t pointListRatio = 100;
};

// A font whose subset came out smaller than the embedded copy and will
// replace it.
struct SubsetFont {
  std::string name;     // the name its records carry in the document (ANSI bytes)
  std::string newName;  // the full name from the subset's own name table, in the ANSI code page
  std::uint32_t flags = 0;
  std::uint32_t embeddedLength = 0;
  std::vector<std::uint8_t> data;
  // Set by the rewrite pass once a record has carried the data.
  bool written = false;
};

enum class FontOutcome {
  Replaced,      // the subset replaces the embedded font
  NotSmaller,    // the subset is not smaller than the embedded font
  Refused,       // the subsetter could not handle the font
  NoUsableName,  // the subset has no full name that fits a record
  NameTaken,     // the subset's full name already names another font of the document
  NotAsked,      // subsetting was not requested
};

const char* outcomeText(FontOutcome outcome);

// One embedded font as the document end found it.
struct FontReport {
  std::string name;
  std::uint32_t embeddedLength = 0;
  std::uint32_t subsetLength = 0;         // 0 when there is no subset
  std::vector<std::uint16_t> characters;  // drawn with it, ascending
  FontOutcome outcome = FontOutcome::NotAsked;
  subset::Refusal refusal = subset::Refusal::None;
};

struct ScanSummary {
  // 1 on entry when subsetting is wanted; the document end replaces it by the
  // page count.
  std::uint32_t requestOrPages = 1;
  std::uint64_t otherBytes = 0;
  std::array<std::uint64_t, kCountedKinds> stored{};
  std::array<std::uint64_t, kCountedKinds> expanded{};
  // After the scan: only the fonts whose subset replaces them, in the order
  // their first records appear.
  std::vector<SubsetFont> fonts;
  std::vector<FontReport> report;
  bool sawDocumentEnd = false;

  std::uint32_t pageCount() const { return requestOrPages; }
  HeaderStatistics statistics() const;
};

// A percentage as the header stores it: 100 when there is nothing to
// compare, and never more than a byte holds.
std::uint8_t ratio(std::uint64_t part, std::uint64_t whole);

enum class ScanFailure {
  None,
  Read,  // the record reader failed (see readError)
  NotDocumentStart,
  SecondDocumentStart,
  AfterDocumentEnd,
  MalformedRecord,
  UnknownObject,  // a replay, delete, group entry or blob reuse names no object
  GroupReplaysItself,
  ReplayTooDeep,  // nested group replays beyond any sensible drawing
  OutOfMemory,
};

class ScanPass {
 public:
  // The code pages turn single-byte text into the characters a font draws
  // and a subset's full name into a record name.
  explicit ScanPass(platform::CodePages& codePages, bool subsettingWanted = true);
  ~ScanPass();
  ScanPass(const ScanPass&) = delete;
  ScanPass& operator=(const ScanPass&) = delete;

  bool begin();
  bool feed(spool::Bytes chunk);
  // True when the pass completed; the summary is then final.
  bool end();

  ScanSummary& summary() { return summary_; }
  const ScanSummary& summary() const { return summary_; }
  ScanFailure failure() const { return failure_; }
  const spool::ReadError& readError() const { return reader_.error(); }
  // One line in plain words.
  std::string describeFailure() const;

  struct State;

 private:
  platform::CodePages& codePages_;
  bool subsettingWanted_;
  spool::RecordReader reader_;
  ScanSummary summary_;
  ScanFailure failure_ = ScanFailure::None;
  std::uint64_t failureOffset_ = 0;
  std::unique_ptr<State> state_;
};

}  // namespace passes
