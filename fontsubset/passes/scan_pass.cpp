#include "passes/scan_pass.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "font_name.h"
#include "object_table.h"
#include "spool/layouts.h"

namespace passes {

namespace {

using spool::Bytes;
namespace code = spool::code;

// Groups nest a few levels in real drawings. Far deeper nesting, or one
// record that fans out into millions of replays, is taken for a broken or
// hostile file rather than followed at any cost.
constexpr int kMaxReplayDepth = 64;
constexpr std::uint64_t kReplayBudget = std::uint64_t{1} << 24;

// Every font record name and every character a font draws are looked up
// once per use; a bit per UTF-16 unit keeps that constant.
constexpr std::size_t kCharacterWords = 65536 / 64;

// The bytes a record adds to the other-bytes counter: its code byte and,
// when it has a fixed part, the whole record.
std::uint64_t recordBytes(const spool::Record& record) { return 1 + std::uint64_t{record.size()}; }

}  // namespace

const char* outcomeText(FontOutcome outcome) {
  switch (outcome) {
    case FontOutcome::Replaced:
      return "replaced";
    case FontOutcome::NotSmaller:
      return "kept: the subset is not smaller";
    case FontOutcome::Refused:
      return "kept: no subset";
    case FontOutcome::NoUsableName:
      return "kept: the subset has no usable full name";
    case FontOutcome::NameTaken:
      return "kept: the subset's full name names another font of the document";
    case FontOutcome::NotAsked:
      return "kept: not subset";
  }
  return "kept";
}

std::uint8_t ratio(std::uint64_t part, std::uint64_t whole) {
  if (whole == 0) return 100;
  return static_cast<std::uint8_t>(std::min<std::uint64_t>(part * 100 / whole, 255));
}

HeaderStatistics ScanSummary::statistics() const {
  std::uint64_t storedSum = otherBytes, expandedSum = otherBytes;
  for (std::size_t k = 0; k < kCountedKinds; ++k) {
    storedSum += stored[k];
    expandedSum += expanded[k];
  }
  HeaderStatistics s;
  s.pageCountPlusOne = requestOrPages + 1;
  s.sizeRatio = ratio(storedSum, expandedSum);
  s.blobRatio = ratio(stored[kBlob], expanded[kBlob]);
  s.textObjectRatio = ratio(stored[kTextObject], expanded[kTextObject]);
  s.pointListRatio = ratio(stored[kPointList], expanded[kPointList]);
  return s;
}

struct ScanPass::State {
  struct StoredFont {
    std::string name;
    std::uint32_t flags = 0;
    std::vector<std::uint8_t> data;
    std::vector<std::uint64_t> seen;
    std::vector<std::uint16_t> characters;
  };

  State(ScanPass& p) : pass(p), summary(p.summary_) {}

  ScanPass& pass;
  ScanSummary& summary;
  spool::RecordSetTable table;
  bool started = false;
  bool ended = false;
  std::uint32_t pages = 0;

  std::vector<StoredFont> fonts;
  std::unordered_map<std::string, std::size_t> fontIndex;
  // Every name a font record carried, stored or not: a subset must not take
  // one of them as its new name.
  std::unordered_set<std::string> namesSeen;
  int currentFont = -1;
  std::uint16_t currentCodePage = 0;

  ObjectTable objects;
  std::uint64_t replayBudget = 0;
  // Per code page, the UTF-16 unit of each single byte (-1: none).
  std::unordered_map<std::uint32_t, std::array<std::int32_t, 256>> byteTables;

  bool fail(ScanFailure failure, const spool::Record& record) {
    if (pass.failure_ == ScanFailure::None) {
      pass.failure_ = failure;
      pass.failureOffset_ = record.streamOffset;
    }
    return false;
  }

  // The order every document keeps: its start first, once; nothing after its end.
  bool admit(const spool::Record& record) {
    if (ended) return fail(ScanFailure::AfterDocumentEnd, record);
    if (!started && record.code() != code::kDocumentStart) {
      return fail(ScanFailure::NotDocumentStart, record);
    }
    if (started && record.code() == code::kDocumentStart) {
      return fail(ScanFailure::SecondDocumentStart, record);
    }
    return true;
  }

  // ---- characters

  const std::array<std::int32_t, 256>& byteTable(std::uint32_t codePage) {
    auto [it, added] = byteTables.try_emplace(codePage);
    if (added) {
      for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        std::u16string unit;
        bool ok = pass.codePages_.toUtf16(codePage, std::string_view(&byte, 1), &unit) == 0 &&
                  unit.size() == 1;
        it->second[static_cast<std::size_t>(b)] = ok ? unit[0] : -1;
      }
    }
    return it->second;
  }

  void addCharacter(StoredFont& font, std::uint16_t unit) {
    std::uint64_t& word = font.seen[unit / 64];
    const std::uint64_t bit = std::uint64_t{1} << (unit % 64);
    if ((word & bit) != 0) return;
    word |= bit;
    font.characters.push_back(unit);
  }

  void collect(bool singleByte, Bytes data) {
    if (currentFont < 0) return;
    StoredFont& font = fonts[static_cast<std::size_t>(currentFont)];
    if (singleByte) {
      const auto& units = byteTable(currentCodePage);
      for (std::uint8_t b : data) {
        if (units[b] >= 0) addCharacter(font, static_cast<std::uint16_t>(units[b]));
      }
    } else {
      for (std::uint16_t unit : spool::CodeUnits(data)) addCharacter(font, unit);
    }
  }

  void collect(const spool::TextRun& run) {
    if (run.hasSingleByteText()) {
      collect(true, run.singleByteText());
    } else {
      collect(false, run.codes().bytes());
    }
  }

  // ---- fonts

  // The index of the record's font in the store, storing it when it is new
  // and carries TrueType data; -1 when it is not stored.
  int storeFont(const spool::FontFileRecord& record) {
    Bytes nameBytes = record.name();
    std::string name(nameBytes.begin(), nameBytes.end());
    if (auto it = fontIndex.find(name); it != fontIndex.end()) return static_cast<int>(it->second);
    namesSeen.insert(name);
    if (record.fontDataLength() == 0 || !record.isTrueType()) return -1;
    // A font that does not fit in memory is not subset; the document is
    // still read.
    try {
      StoredFont font;
      font.name = name;
      font.flags = record.flags();
      Bytes data = record.fontData();
      font.data.assign(data.begin(), data.end());
      font.seen.assign(kCharacterWords, 0);
      fonts.push_back(std::move(font));
      fontIndex.emplace(std::move(name), fonts.size() - 1);
    } catch (const std::bad_alloc&) {
      if (fonts.size() > fontIndex.size()) fonts.pop_back();
      return -1;
    }
    return static_cast<int>(fonts.size() - 1);
  }

  void makeCurrent(int font, std::uint16_t codePage) {
    if (font < 0) return;
    currentFont = font;
    currentCodePage = codePage;
  }

  // ---- replays

  bool replay(CachedObject& object, bool withOffset, int depth, const spool::Record& record) {
    if (object.kind < kCountedKinds) summary.stored[object.kind] += withOffset ? 12 : 4;
    switch (object.kind) {
      case kTextObject:
        summary.expanded[kTextObject] += std::uint64_t{object.size} + 60;
        collect(object.singleByteText, object.data);
        break;
      case kFontObject:
        summary.expanded[kFontObject] += std::uint64_t{object.size} + 28;
        makeCurrent(object.font, object.codePage);
        break;
      case kPointList:
        summary.expanded[kPointList] += std::uint64_t{object.size} + 12;
        break;
      case kGroup:
        return replayEntries(object, object.data, depth, record);
      case kBlob:
        break;
    }
    return true;
  }

  bool replayEntries(CachedObject& group, Bytes entries, int depth, const spool::Record& record) {
    if (depth >= kMaxReplayDepth) return fail(ScanFailure::ReplayTooDeep, record);
    group.replaying = true;
    for (const spool::GroupEntry& entry : spool::GroupEntries(entries)) {
      if (replayBudget == 0) return fail(ScanFailure::ReplayTooDeep, record);
      --replayBudget;
      CachedObject* object = objects.find(entry.objectId);
      if (object == nullptr) return fail(ScanFailure::UnknownObject, record);
      if (object->replaying) return fail(ScanFailure::GroupReplaysItself, record);
      if (!replay(*object, true, depth + 1, record)) return false;
    }
    group.replaying = false;
    return true;
  }

  // ---- handlers

  bool other(const spool::Record& record) {
    summary.otherBytes += recordBytes(record);
    return true;
  }

  bool documentStart(const spool::Record& record) {
    started = true;
    return other(record);
  }

  bool pageStart(const spool::Record& record) {
    ++pages;
    return other(record);
  }

  bool textRun(const spool::Record& record) {
    auto run = spool::TextRun::fromRecord(code::kTextRun, record.bytes);
    if (!run) return fail(ScanFailure::MalformedRecord, record);
    other(record);
    collect(*run);
    return true;
  }

  bool fontFile(const spool::Record& record) {
    auto font = spool::FontFileRecord::parse(record.code(), record.bytes, pass.reader_.version());
    if (!font) return fail(ScanFailure::MalformedRecord, record);
    other(record);
    makeCurrent(storeFont(*font), font->codePage());
    return true;
  }

  bool fontObject(const spool::Record& record) {
    auto font = spool::FontFileRecord::parse(record.code(), record.bytes, pass.reader_.version());
    if (!font) return fail(ScanFailure::MalformedRecord, record);
    const std::uint32_t id = font->objectId().value_or(0);
    CachedObject* object = objects.find(id);
    if (object == nullptr) {
      CachedObject made;
      made.id = id;
      made.kind = kFontObject;
      made.size = font->variableLength() - font->fontDataLength();
      object = &objects.insert(std::move(made));
    }
    summary.stored[kFontObject] += std::uint64_t{font->variableLength()} + 32;
    summary.expanded[kFontObject] += std::uint64_t{font->variableLength()} + 28;
    const int stored = storeFont(*font);
    // A replay of the object selects the font its definition named, so a
    // font object id that the producer deletes and defines again for another
    // font follows the new font.
    if (object->kind == kFontObject && object->font < 0 && stored >= 0) {
      object->font = stored;
      object->codePage = font->codePage();
    }
    makeCurrent(stored, font->codePage());
    return true;
  }

  bool blob(const spool::Record& record) {
    auto blob = spool::BlobDefinition::parse(record.code(), record.bytes);
    if (!blob) return fail(ScanFailure::MalformedRecord, record);
    CachedObject* object = objects.find(blob->objectId());
    if (object == nullptr) {
      if (blob->reusesObject()) return fail(ScanFailure::UnknownObject, record);
      CachedObject made;
      made.id = blob->objectId();
      made.kind = kBlob;
      made.size = blob->variableLength();
      object = &objects.insert(std::move(made));
    }
    summary.stored[kBlob] += std::uint64_t{blob->variableLength()} + blob->fixedLength();
    summary.expanded[kBlob] += std::uint64_t{object->size} + blob->fixedLength() - 4;
    return true;
  }

  bool textObject(const spool::Record& record) {
    auto text = spool::TextObjectDefinition::parse(record.bytes);
    if (!text) return fail(ScanFailure::MalformedRecord, record);
    const spool::TextRun& run = text->textRun();
    CachedObject* object = objects.find(text->objectId());
    if (object == nullptr) {
      CachedObject made;
      made.id = text->objectId();
      made.kind = kTextObject;
      made.size = text->variableLength();
      made.singleByteText = run.hasSingleByteText();
      Bytes kept = made.singleByteText ? run.singleByteText() : run.codes().bytes();
      made.data.assign(kept.begin(), kept.end());
      object = &objects.insert(std::move(made));
    }
    summary.stored[kTextObject] += std::uint64_t{text->variableLength()} + 64;
    summary.expanded[kTextObject] += std::uint64_t{object->size} + 60;
    collect(run);
    return true;
  }

  bool replayRecord(const spool::Record& record) {
    std::uint32_t id = 0;
    bool withOffset = record.code() == code::kObjectReplayAtOffset;
    if (withOffset) {
      auto r = spool::ObjectReplayAtOffset::parse(record.bytes);
      if (!r) return fail(ScanFailure::MalformedRecord, record);
      id = r->objectId();
    } else {
      auto r = spool::ObjectReference::parse(record.code(), record.bytes);
      if (!r) return fail(ScanFailure::MalformedRecord, record);
      id = r->objectId();
    }
    CachedObject* object = objects.find(id);
    if (object == nullptr) return fail(ScanFailure::UnknownObject, record);
    replayBudget = kReplayBudget;
    return replay(*object, withOffset, 0, record);
  }

  bool deleteRecord(const spool::Record& record) {
    auto r = spool::ObjectReference::parse(record.code(), record.bytes);
    if (!r) return fail(ScanFailure::MalformedRecord, record);
    CachedObject* object = objects.find(r->objectId());
    if (object == nullptr) return fail(ScanFailure::UnknownObject, record);
    if (object->kind < kCountedKinds) summary.stored[object->kind] += 4;
    objects.remove(r->objectId());
    return true;
  }

  bool pointList(const spool::Record& record) {
    auto points = spool::PointListDefinition::parse(record.bytes);
    if (!points) return fail(ScanFailure::MalformedRecord, record);
    other(record);
    if (points->objectId() != 0 && objects.find(points->objectId()) == nullptr) {
      CachedObject made;
      made.id = points->objectId();
      made.kind = kPointList;
      made.size = static_cast<std::uint32_t>(8 * points->points().size());
      // Nothing reads a point list back, so one that does not fit is only
      // left uncounted.
      try {
        objects.insert(std::move(made));
      } catch (const std::bad_alloc&) {
      }
    }
    return true;
  }

  bool group(const spool::Record& record) {
    auto group = spool::ObjectGroupDefinition::parse(record.bytes);
    if (!group) return fail(ScanFailure::MalformedRecord, record);
    CachedObject* object = objects.find(group->groupId());
    if (object == nullptr) {
      CachedObject made;
      made.id = group->groupId();
      made.kind = kGroup;
      Bytes entries = group->entries().bytes();
      made.size = static_cast<std::uint32_t>(entries.size());
      made.data.assign(entries.begin(), entries.end());
      object = &objects.insert(std::move(made));
    }
    if (!group->replayNow()) return true;
    replayBudget = kReplayBudget;
    Bytes entries = object->kind == kGroup ? Bytes(object->data) : group->entries().bytes();
    return replayEntries(*object, entries, 0, record);
  }

  bool documentEnd(const spool::Record& record) {
    other(record);
    ended = true;
    objects.clear();
    const bool request = summary.requestOrPages != 0;
    summary.requestOrPages = pages;
    summary.sawDocumentEnd = true;

    std::unordered_set<std::string> newNames;
    for (StoredFont& font : fonts) {
      FontReport report;
      report.name = font.name;
      report.embeddedLength = static_cast<std::uint32_t>(font.data.size());
      report.characters = font.characters;
      std::sort(report.characters.begin(), report.characters.end());
      if (request) finishFont(font, report, newNames);
      summary.report.push_back(std::move(report));
      // The embedded copy is done with; only subsets stay.
      font = StoredFont{};
    }
    fonts.clear();
    fontIndex.clear();
    currentFont = -1;
    return true;
  }

  void finishFont(StoredFont& font, FontReport& report, std::unordered_set<std::string>& newNames) {
    subset::Options options;
    options.namePrefix = "";
    options.rebuildTables = true;
    subset::Result result =
        subset::subsetFont(font.data, std::span<const std::uint16_t>(font.characters), options);
    if (!result) {
      report.outcome = FontOutcome::Refused;
      report.refusal = result.refusal;
      return;
    }
    std::vector<std::uint8_t>& data = result.subset->font;
    report.subsetLength = static_cast<std::uint32_t>(data.size());
    if (data.size() >= font.data.size()) {
      report.outcome = FontOutcome::NotSmaller;
      return;
    }
    std::optional<std::string> newName = recordNameOf(data, pass.codePages_);
    if (!newName) {
      report.outcome = FontOutcome::NoUsableName;
      return;
    }
    // Records tie text to fonts by name: two fonts under one name would
    // draw one font's text with the other's glyphs.
    if (newNames.count(*newName) != 0 ||
        (*newName != font.name && namesSeen.count(*newName) != 0)) {
      report.outcome = FontOutcome::NameTaken;
      return;
    }
    SubsetFont kept;
    kept.name = font.name;
    kept.newName = *newName;
    kept.flags = font.flags;
    kept.embeddedLength = report.embeddedLength;
    kept.data = std::move(data);
    newNames.insert(*newName);
    summary.fonts.push_back(std::move(kept));
    report.outcome = FontOutcome::Replaced;
  }
};

namespace {

template <bool (ScanPass::State::*Method)(const spool::Record&)>
bool handle(spool::RecordReader& reader, const spool::Record& record) {
  auto& state = reader.passData<ScanPass::State>();
  try {
    return state.admit(record) && (state.*Method)(record);
  } catch (const std::bad_alloc&) {
    return state.fail(ScanFailure::OutOfMemory, record);
  }
}

}  // namespace

ScanPass::ScanPass(platform::CodePages& codePages, bool subsettingWanted)
    : codePages_(codePages), subsettingWanted_(subsettingWanted) {}

ScanPass::~ScanPass() = default;

bool ScanPass::begin() {
  summary_ = ScanSummary{};
  summary_.requestOrPages = subsettingWanted_ ? 1 : 0;
  failure_ = ScanFailure::None;
  failureOffset_ = 0;
  state_ = std::make_unique<State>(*this);
  using S = State;
  state_->table = spool::RecordSetTable(&handle<&S::other>);
  state_->table.on(code::kDocumentStart, &handle<&S::documentStart>)
      .on(code::kDocumentEnd, &handle<&S::documentEnd>)
      .on(code::kPageStart, &handle<&S::pageStart>)
      .on(code::kTextRun, &handle<&S::textRun>)
      .on(code::kShortFontFile, &handle<&S::fontFile>)
      .on(code::kFontFile, &handle<&S::fontFile>)
      .on(code::kBlobDefinition, &handle<&S::blob>)
      .on(code::kLongBlobDefinition, &handle<&S::blob>)
      .on(code::kTextObjectDefinition, &handle<&S::textObject>)
      .on(code::kObjectReplay, &handle<&S::replayRecord>)
      .on(code::kObjectDelete, &handle<&S::deleteRecord>)
      .on(code::kFontObjectDefinition, &handle<&S::fontObject>)
      .on(code::kPointListDefinition, &handle<&S::pointList>)
      .on(code::kObjectReplayAtOffset, &handle<&S::replayRecord>)
      .on(code::kObjectGroupDefinition, &handle<&S::group>);
  spool::RecordSet set;
  set.entries = state_->table.entries();
  if (!reader_.begin(set, state_.get())) {
    failure_ = ScanFailure::Read;
    return false;
  }
  return true;
}

bool ScanPass::feed(spool::Bytes chunk) {
  if (reader_.feed(chunk)) return true;
  if (failure_ == ScanFailure::None) failure_ = ScanFailure::Read;
  return false;
}

bool ScanPass::end() {
  const bool read = reader_.end() != 0;
  if (!read && failure_ == ScanFailure::None) failure_ = ScanFailure::Read;
  // A header with no records is no document.
  if (read && state_ && !state_->started) failure_ = ScanFailure::NotDocumentStart;
  state_.reset();
  if (failure_ != ScanFailure::None) {
    summary_.fonts.clear();
    return false;
  }
  return true;
}

std::string ScanPass::describeFailure() const {
  const std::string at = " at record stream offset " + std::to_string(failureOffset_);
  switch (failure_) {
    case ScanFailure::None:
      return "no failure";
    case ScanFailure::Read:
      return spool::describe(reader_.error());
    case ScanFailure::NotDocumentStart:
      return "the record stream does not begin with the document start";
    case ScanFailure::SecondDocumentStart:
      return "a second document start" + at;
    case ScanFailure::AfterDocumentEnd:
      return "a record after the document end" + at;
    case ScanFailure::MalformedRecord:
      return "a malformed record" + at;
    case ScanFailure::UnknownObject:
      return "a reference to an object that is not defined" + at;
    case ScanFailure::GroupReplaysItself:
      return "a group that replays itself" + at;
    case ScanFailure::ReplayTooDeep:
      return "group replays nested too deep or too many" + at;
    case ScanFailure::OutOfMemory:
      return "out of memory" + at;
  }
  return "unknown failure";
}

}  // namespace passes
