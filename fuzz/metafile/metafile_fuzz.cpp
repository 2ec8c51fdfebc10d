// The record reader over arbitrary bytes, fed in chunks of a size the input
// chooses, with every record also read through its layout view.
//
// First byte: bit 0 clear: the rest is a whole file. Bit 0 set: the rest is a
// record stream, read once behind a plain header and once deflated behind a
// compressed one; both reads must see the same records with the same outcome.
// The other bits choose the chunk size.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "spool/layouts.h"
#include "spool/record_reader.h"

namespace {

using namespace spool;

struct Trace {
  std::vector<std::uint64_t> records;  // code, size and a checksum of the bytes per record
};

void touch(const TextRun& run, std::uint64_t& sum) {
  for (std::uint8_t b : run.singleByteText()) sum += b;
  for (std::uint16_t c : run.codes()) sum += c;
  if (auto content = run.content()) sum += content->size();
}

// Reads what the later passes read, so that a view that trusts a field shows up.
std::uint64_t visit(const RecordReader& reader, const Record& r) {
  std::uint64_t sum = 0;
  const Bytes b = r.bytes;
  switch (r.code()) {
    case code::kTextRun:
      if (auto run = TextRun::fromRecord(r.code(), b)) touch(*run, sum);
      break;
    case code::kTextObjectDefinition:
      if (auto def = TextObjectDefinition::parse(b)) touch(def->textRun(), sum);
      break;
    case code::kShortFontFile:
    case code::kFontFile:
    case code::kFontObjectDefinition:
      if (auto f = FontFileRecord::parse(r.code(), b, reader.version())) {
        sum += f->name().size() + f->fontData().size() + f->afterFontData().size() + f->codePage();
        if (auto second = f->secondPart()) sum += second->size();
        if (!f->fontData().empty()) sum += f->fontData().back();
      }
      break;
    case code::kPointListDefinition:
      if (auto p = PointListDefinition::parse(b)) {
        for (Point pt : p->points()) sum += pt.x ^ pt.y;
      }
      break;
    case code::kObjectGroupDefinition:
      if (auto g = ObjectGroupDefinition::parse(b)) {
        for (GroupEntry e : g->entries()) sum += e.objectId + e.offset.x;
      }
      break;
    case code::kBlobDefinition:
    case code::kLongBlobDefinition:
      if (auto blob = BlobDefinition::parse(r.code(), b)) sum += blob->data().size();
      break;
    case code::kProcessingMarker:
      if (auto m = ProcessingMarker::parse(b)) sum += m->markerKind();
      break;
    default:
      break;
  }
  for (std::uint8_t byte : b) sum = sum * 31 + byte;
  return sum;
}

bool handle(RecordReader& reader, const Record& record) {
  auto& trace = reader.passData<Trace>();
  trace.records.push_back((std::uint64_t{record.code()} << 56) ^ record.size());
  trace.records.push_back(visit(reader, record));
  return true;
}

const RecordSetTable kTable(handle);

struct Outcome {
  std::uint32_t result;
  Trace trace;
};

Outcome read(const std::vector<std::uint8_t>& file, std::size_t chunk) {
  Outcome o{};
  RecordReader reader;
  if (!reader.begin(RecordSet{kTable.entries()}, &o.trace)) std::abort();
  for (std::size_t at = 0; at < file.size(); at += chunk) {
    std::size_t n = file.size() - at < chunk ? file.size() - at : chunk;
    if (!reader.feed(Bytes(file.data() + at, n))) break;
  }
  o.result = reader.end();
  if (o.result == 0 && !reader.failed()) std::abort();
  return o;
}

std::vector<std::uint8_t> withHeader(bool compressed, const std::uint8_t* stream,
                                     std::size_t size) {
  MetaFileHeader h;
  h.compressed = compressed ? 1 : 0;
  auto head = encodeHeader(h);
  std::vector<std::uint8_t> file(head.view().begin(), head.view().end());
  if (!compressed) {
    file.insert(file.end(), stream, stream + size);
    return file;
  }
  uLongf bound = compressBound(static_cast<uLong>(size));
  std::vector<std::uint8_t> body(bound);
  if (compress2(body.data(), &bound, stream, static_cast<uLong>(size), 6) != Z_OK) std::abort();
  file.insert(file.end(), body.begin(), body.begin() + static_cast<std::ptrdiff_t>(bound));
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  const std::size_t chunk = 1 + (static_cast<std::size_t>(mode >> 1) * 37) % 5000;
  ++data;
  --size;
  if ((mode & 1) == 0) {
    read(std::vector<std::uint8_t>(data, data + size), chunk);
    return 0;
  }
  Outcome plain = read(withHeader(false, data, size), chunk);
  Outcome compressed = read(withHeader(true, data, size), chunk);
  if (plain.result != compressed.result || plain.trace.records != compressed.trace.records) {
    std::abort();
  }
  return 0;
}
