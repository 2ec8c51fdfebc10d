#include "passes/rewrite_pass.h"

#include <string_view>

#include "spool/header.h"
#include "spool/layouts.h"

namespace passes {

namespace {

using spool::Bytes;
namespace code = spool::code;

Bytes bytesOf(std::string_view text) {
  return Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace

struct RewritePass::Handlers {
  static RewritePass& self(spool::RecordReader& reader) { return reader.passData<RewritePass>(); }

  static bool fail(RewritePass& pass, RewriteFailure failure, const spool::Record& record) {
    if (pass.failure_ == RewriteFailure::None) {
      pass.failure_ = failure;
      pass.failureOffset_ = record.streamOffset;
    }
    return false;
  }

  static bool admit(RewritePass& pass, const spool::Record& record) {
    if (pass.ended_) return fail(pass, RewriteFailure::AfterDocumentEnd, record);
    if (!pass.started_ && record.code() != code::kDocumentStart) {
      return fail(pass, RewriteFailure::NotDocumentStart, record);
    }
    if (pass.started_ && record.code() == code::kDocumentStart) {
      return fail(pass, RewriteFailure::SecondDocumentStart, record);
    }
    return true;
  }

  static bool write(RewritePass& pass, Bytes bytes, const spool::Record& record) {
    return pass.writer_.write(bytes) || fail(pass, RewriteFailure::Write, record);
  }

  static bool writeRecord(RewritePass& pass, const spool::Record& record) {
    const std::uint8_t codeByte = record.code();
    return write(pass, Bytes(&codeByte, 1), record) && write(pass, record.bytes, record);
  }

  static bool copy(spool::RecordReader& reader, const spool::Record& record) {
    RewritePass& pass = self(reader);
    return admit(pass, record) && writeRecord(pass, record);
  }

  static bool documentStart(spool::RecordReader& reader, const spool::Record& record) {
    RewritePass& pass = self(reader);
    if (!admit(pass, record)) return false;
    pass.started_ = true;

    const spool::MetaFileHeader& input = reader.header();
    const HeaderStatistics statistics = pass.summary_.statistics();
    spool::MetaFileHeader header;
    header.version =
        input.version >= spool::kStatisticsVersion ? input.version : spool::kStatisticsVersion;
    header.compressed = 1;
    header.recordSetParameter = input.recordSetParameter;
    header.recordSet = input.recordSet;
    header.pageCountPlusOne = statistics.pageCountPlusOne;
    header.sizeRatio = statistics.sizeRatio;
    header.blobRatio = statistics.blobRatio;
    header.textObjectRatio = statistics.textObjectRatio;
    header.pointListRatio = statistics.pointListRatio;
    const spool::EncodedHeader encoded = spool::encodeHeader(header);
    if (!write(pass, encoded.view(), record)) return false;
    if (!pass.writer_.startCompression(spool::OutputWriter::kDeflateLevel)) {
      return fail(pass, RewriteFailure::Write, record);
    }
    const auto marker = spool::ProcessingMarker::encode(spool::ProcessingMarker::kRewriteKind,
                                                        spool::ProcessingMarker::kRewriteValue);
    return writeRecord(pass, record) && write(pass, marker, record);
  }

  static bool documentEnd(spool::RecordReader& reader, const spool::Record& record) {
    RewritePass& pass = self(reader);
    if (!admit(pass, record) || !writeRecord(pass, record)) return false;
    pass.ended_ = true;
    return pass.writer_.finishCompression() || fail(pass, RewriteFailure::Write, record);
  }

  // Our own marker is written once after the document start; one that an
  // earlier rewrite left is dropped so that rewriting again adds none.
  static bool marker(spool::RecordReader& reader, const spool::Record& record) {
    RewritePass& pass = self(reader);
    if (!admit(pass, record)) return false;
    auto marker = spool::ProcessingMarker::parse(record.bytes);
    if (!marker) return fail(pass, RewriteFailure::MalformedRecord, record);
    if (marker->markerKind() == spool::ProcessingMarker::kRewriteKind) return true;
    return writeRecord(pass, record);
  }

  static bool fontFile(spool::RecordReader& reader, const spool::Record& record) {
    RewritePass& pass = self(reader);
    if (!admit(pass, record)) return false;
    auto input = spool::FontFileRecord::parse(record.code(), record.bytes, reader.version());
    if (!input) return fail(pass, RewriteFailure::MalformedRecord, record);

    Bytes nameBytes = input->name();
    const std::string_view name(reinterpret_cast<const char*>(nameBytes.data()), nameBytes.size());
    SubsetFont* font = nullptr;
    for (SubsetFont& f : pass.summary_.fonts) {
      if (f.name == name) {
        font = &f;
        break;
      }
    }
    if (font == nullptr) return writeRecord(pass, record);

    const std::uint32_t inputLength = input->fontDataLength();
    // A record that only names the font (no data of its own) takes the new
    // name, so it still selects the font whose data now travels under it.
    const bool renameOnly = inputLength == 0;
    if (!renameOnly && font->data.size() >= inputLength) return writeRecord(pass, record);

    auto fixed = spool::FontFileFixedPart::copyOf(*input);
    if (!fixed) return fail(pass, RewriteFailure::MalformedRecord, record);

    std::string newName;
    Bytes nameField = input->nameField();
    if (input->isTrueType()) {
      newName = font->newName;
      newName.push_back('\0');
      nameField = bytesOf(newName);
    }
    const auto nameLength = static_cast<std::uint32_t>(nameField.size());
    fixed->setFontDataOffset(nameLength);

    Bytes data;
    Bytes second = input->afterFontData();
    if (!renameOnly) {
      if (!font->written) {
        data = font->data;
        font->written = true;
      }
      fixed->setFontDataLength(static_cast<std::uint32_t>(data.size()));
      // A second part that belongs to the font described the embedded copy,
      // not the subset.
      if (input->secondPartBelongsToFont()) {
        second = {};
        fixed->setSecondPartLength(0);
      }
    }
    fixed->setVariableLength(nameLength + static_cast<std::uint32_t>(data.size()) +
                             static_cast<std::uint32_t>(second.size()));

    const std::uint8_t codeByte = record.code();
    return write(pass, Bytes(&codeByte, 1), record) && write(pass, fixed->bytes(), record) &&
           write(pass, nameField, record) && write(pass, data, record) &&
           write(pass, second, record);
  }
};

RewritePass::RewritePass(ScanSummary& summary, spool::ByteSink& sink)
    : summary_(summary), writer_(sink) {}

RewritePass::~RewritePass() = default;

bool RewritePass::begin() {
  failure_ = RewriteFailure::None;
  failureOffset_ = 0;
  started_ = ended_ = false;
  for (SubsetFont& font : summary_.fonts) font.written = false;
  static const spool::RecordSetTable table = [] {
    spool::RecordSetTable t(&Handlers::copy);
    t.on(code::kDocumentStart, &Handlers::documentStart)
        .on(code::kDocumentEnd, &Handlers::documentEnd)
        .on(code::kProcessingMarker, &Handlers::marker)
        .on(code::kShortFontFile, &Handlers::fontFile)
        .on(code::kFontFile, &Handlers::fontFile)
        .on(code::kFontObjectDefinition, &Handlers::fontFile);
    return t;
  }();
  spool::RecordSet set;
  set.entries = table.entries();
  if (!reader_.begin(set, this)) {
    failure_ = RewriteFailure::Read;
    return false;
  }
  return true;
}

bool RewritePass::feed(spool::Bytes chunk) {
  if (reader_.feed(chunk)) return true;
  if (failure_ == RewriteFailure::None) failure_ = RewriteFailure::Read;
  return false;
}

bool RewritePass::end() {
  if (reader_.end() == 0) {
    if (failure_ == RewriteFailure::None) failure_ = RewriteFailure::Read;
    return false;
  }
  if (failure_ != RewriteFailure::None) return false;
  // Without a document start nothing was written, not even the header.
  if (!started_) {
    failure_ = RewriteFailure::NotDocumentStart;
    return false;
  }
  // A document without its end record still leaves a complete stream.
  if (!ended_ && !writer_.finishCompression()) {
    failure_ = RewriteFailure::Write;
    return false;
  }
  return true;
}

std::string RewritePass::describeFailure() const {
  const std::string at = " at record stream offset " + std::to_string(failureOffset_);
  switch (failure_) {
    case RewriteFailure::None:
      return "no failure";
    case RewriteFailure::Read:
      return spool::describe(reader_.error());
    case RewriteFailure::NotDocumentStart:
      return "the record stream does not begin with the document start";
    case RewriteFailure::SecondDocumentStart:
      return "a second document start" + at;
    case RewriteFailure::AfterDocumentEnd:
      return "a record after the document end" + at;
    case RewriteFailure::MalformedRecord:
      return "a malformed record" + at;
    case RewriteFailure::Write:
      return "the rewritten file could not be written" + at;
  }
  return "unknown failure";
}

}  // namespace passes
