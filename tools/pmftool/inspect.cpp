#include "inspect.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "spool/layouts.h"

namespace pmftool {

using namespace spool;

namespace {

struct PassData {
  Inspection& result;
  const RecordVisitor& visit;
  bool keepFontData;
  std::string problem;
};

std::string hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

bool refuse(PassData& pass, const Record& record, const char* what) {
  const CatalogueEntry* e = findCatalogueEntry(record.code());
  pass.problem = "record stream offset " + std::to_string(record.streamOffset) + ": " +
                 std::string(e ? e->name : "record") + " " + what;
  return false;
}

bool tally(RecordReader& reader, const Record& record) {
  auto& pass = reader.passData<PassData>();
  if (pass.visit && !pass.visit(reader, record)) return false;
  Inspection& r = pass.result;
  ++r.records;
  ++r.counts[record.code()];
  const Bytes bytes = record.bytes;
  switch (record.code()) {
    case code::kPageStart:
      ++r.pages;
      break;
    case code::kTextRun:
      if (!TextRun::fromRecord(record.code(), bytes)) {
        return refuse(pass, record, "has counts beyond its string");
      }
      break;
    case code::kShortFontFile:
    case code::kFontFile:
    case code::kFontObjectDefinition: {
      auto font = FontFileRecord::parse(record.code(), bytes, reader.version());
      if (!font) return refuse(pass, record, "has its font data outside the record");
      FontInfo info;
      info.offset = record.streamOffset;
      info.code = record.code();
      info.name.assign(font->name().begin(), font->name().end());
      info.objectId = font->objectId();
      info.flags = font->flags();
      info.codePage = font->codePage();
      info.dataLength = font->fontDataLength();
      info.secondPartLength = font->secondPartLength();
      if (pass.keepFontData) info.data.assign(font->fontData().begin(), font->fontData().end());
      r.fonts.push_back(std::move(info));
      if (font->objectId()) ++r.defined[kFont];
      break;
    }
    case code::kBlobDefinition:
    case code::kLongBlobDefinition: {
      auto blob = BlobDefinition::parse(record.code(), bytes);
      if (!blob) return refuse(pass, record, "is malformed");
      ++(blob->reusesObject() ? r.blobReuses : r.defined[kBlob]);
      break;
    }
    case code::kTextObjectDefinition:
      if (!TextObjectDefinition::parse(bytes)) {
        return refuse(pass, record, "has counts beyond its string");
      }
      ++r.defined[kText];
      break;
    case code::kObjectReplay:
    case code::kObjectReplayAtOffset:
      ++r.replays;
      break;
    case code::kObjectDelete:
      ++r.deletes;
      break;
    case code::kPointListDefinition:
      if (auto points = PointListDefinition::parse(bytes); points && points->objectId() != 0) {
        ++r.defined[kPointList];
      }
      break;
    case code::kObjectGroupDefinition:
      if (auto group = ObjectGroupDefinition::parse(bytes)) {
        ++r.defined[kGroup];
        if (group->replayNow()) ++r.replays;
      }
      break;
    default:
      break;
  }
  return true;
}

const RecordSetTable kTable(tally);

}  // namespace

bool inspect(const std::vector<std::uint8_t>& bytes, bool keepFontData, const RecordVisitor& visit,
             Inspection& result, std::string& error) {
  result = Inspection{};
  result.fileSize = bytes.size();
  PassData pass{result, visit, keepFontData, {}};
  RecordReader reader;
  if (!reader.begin(RecordSet{kTable.entries()}, &pass)) {
    error = describe(reader.error());
    return false;
  }
  // Chunks of the size the plug-in reads, so the tool sees what it would.
  constexpr std::size_t kChunk = 16384;
  for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
    std::size_t size = std::min(kChunk, bytes.size() - at);
    if (!reader.feed(Bytes(bytes.data() + at, size))) break;
  }
  const bool ok = reader.end() != 0;
  result.header = reader.header();
  result.recordBytes = reader.inputByteCount();
  if (!ok) {
    error = pass.problem.empty() ? describe(reader.error()) : pass.problem;
    if (reader.lastError() != 0) error += " (error " + std::to_string(reader.lastError()) + ")";
  }
  return ok;
}

bool readWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    error = "cannot open";
    return false;
  }
  const std::streamoff size = in.tellg();
  in.seekg(0);
  bytes.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  if (size < 0 || !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
    error = "cannot read";
    return false;
  }
  return true;
}

std::string quoted(std::string_view text, std::size_t limit) {
  std::string out = "\"";
  std::size_t shown = 0;
  for (char c : text) {
    if (shown++ == limit) {
      out += "\"...";
      return out;
    }
    auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u >= 0x20 && u < 0x7F) {
      out += c;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", u);
      out += buf;
    }
  }
  return out + "\"";
}

namespace {

void textFields(std::ostringstream& s, const TextRun& run) {
  s << " flags=" << hex(run.flags()) << " n=" << run.singleByteCount() << " m=" << run.itemCount()
    << " g=" << run.codeCount();
  if (run.hasSingleByteText()) {
    Bytes t = run.singleByteText();
    s << " text=" << quoted(std::string_view(reinterpret_cast<const char*>(t.data()), t.size()));
  } else {
    s << " codes=";
    std::size_t shown = 0;
    for (std::uint16_t c : run.codes()) {
      if (shown++ == 32) {
        s << "...";
        break;
      }
      char buf[8];
      std::snprintf(buf, sizeof buf, shown == 1 ? "%04X" : ",%04X", c);
      s << buf;
    }
  }
}

}  // namespace

std::string describeFields(const RecordReader& reader, const Record& record) {
  std::ostringstream s;
  const Bytes bytes = record.bytes;
  switch (record.code()) {
    case code::kTextRun:
      if (auto run = TextRun::fromRecord(record.code(), bytes)) textFields(s, *run);
      break;
    case code::kTextObjectDefinition:
      if (auto def = TextObjectDefinition::parse(bytes)) {
        s << " id=" << def->objectId();
        textFields(s, def->textRun());
      }
      break;
    case code::kShortFontFile:
    case code::kFontFile:
    case code::kFontObjectDefinition:
      if (auto font = FontFileRecord::parse(record.code(), bytes, reader.version())) {
        if (font->objectId()) s << " id=" << *font->objectId();
        Bytes name = font->name();
        s << " name="
          << quoted(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()))
          << " flags=" << hex(font->flags()) << " codepage=" << font->codePage()
          << " data=" << font->fontDataLength() << "@" << font->fontDataOffset()
          << " second=" << font->secondPartLength();
      }
      break;
    case code::kBlobDefinition:
    case code::kLongBlobDefinition:
      if (auto blob = BlobDefinition::parse(record.code(), bytes)) {
        s << " id=" << blob->objectId();
        if (blob->reusesObject()) s << " reuse";
      }
      break;
    case code::kObjectReplay:
    case code::kObjectDelete:
      if (auto ref = ObjectReference::parse(record.code(), bytes)) s << " id=" << ref->objectId();
      break;
    case code::kObjectReplayAtOffset:
      if (auto replay = ObjectReplayAtOffset::parse(bytes)) {
        s << " id=" << replay->objectId() << " at=" << replay->offset().x << ","
          << replay->offset().y;
      }
      break;
    case code::kProcessingMarker:
      if (auto marker = ProcessingMarker::parse(bytes)) {
        s << " kind=" << marker->markerKind() << " value=" << marker->markerValue();
      }
      break;
    case code::kPointListDefinition:
      if (auto points = PointListDefinition::parse(bytes)) {
        s << " id=" << points->objectId() << " value=" << points->value()
          << " points=" << points->points().size();
      }
      break;
    case code::kObjectGroupDefinition:
      if (auto group = ObjectGroupDefinition::parse(bytes)) {
        s << " id=" << group->groupId() << " flags=" << hex(group->flags()) << " entries=";
        std::size_t shown = 0;
        for (const GroupEntry& e : group->entries()) {
          if (shown++ == 16) {
            s << "...";
            break;
          }
          s << (shown == 1 ? "" : ",") << e.objectId << ":" << e.offset.x << ":" << e.offset.y;
        }
      }
      break;
    default:
      break;
  }
  return s.str();
}

}  // namespace pmftool
