#include "spool/record_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

namespace spool {

using platform::ERROR_BAD_LENGTH;
using platform::ERROR_INVALID_HANDLE;
using platform::ERROR_INVALID_PARAMETER;
using platform::ERROR_NOT_ENOUGH_MEMORY;

RecordSetTable::RecordSetTable(RecordHandler fallback) {
  std::size_t i = 0;
  for (const CatalogueEntry& e : catalogue()) {
    entries_[i++] = RecordSetEntry{e.code, e.fixedLength, e.lengthAt, fallback};
  }
  entries_[i] = RecordSetEntry{};
}

RecordSetTable& RecordSetTable::on(std::uint8_t code, RecordHandler handler) {
  if (code == 0) return *this;
  for (RecordSetEntry& e : entries_) {
    if (e.code == code) e.handler = handler;
  }
  return *this;
}

std::string describe(const ReadError& error) {
  auto at = [&](const char* what) {
    return std::string(what) + " at record stream offset " + std::to_string(error.streamOffset);
  };
  auto codeText = [&] {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", error.code);
    return std::string(hex);
  };
  switch (error.kind) {
    case ReadFailure::None:
      return "no error";
    case ReadFailure::NotStarted:
      return "no pass in progress";
    case ReadFailure::BadRecordSet:
      return "inconsistent record set table";
    case ReadFailure::BadVersion:
      return "header version 0 is neither the short nor the long form";
    case ReadFailure::BadMagic:
      return "not a printer meta file (wrong magic)";
    case ReadFailure::UnknownCode:
      return at(("unknown record code " + codeText()).c_str());
    case ReadFailure::OutOfMemory:
      return at(("no memory for record " + codeText()).c_str());
    case ReadFailure::LengthOverflow:
      return at(("record " + codeText() + " claims a length beyond 32 bits").c_str());
    case ReadFailure::Truncated:
      if (error.code == 0) return "file ends inside the header";
      return at(("file ends inside record " + codeText()).c_str());
    case ReadFailure::InflateCorrupt:
      return "compressed body is corrupt near file offset " + std::to_string(error.fileOffset);
    case ReadFailure::InflateTruncated:
      return "compressed body ends before its zlib stream does";
    case ReadFailure::StartFailed:
      return "the pass refused to start";
    case ReadFailure::HandlerFailed:
      return at(("handler failed on record " + codeText()).c_str());
    case ReadFailure::ZeroRecordSet:
      return "header names record set 0";
  }
  return "unknown failure";
}

// The inflate side of a compressed body: zlib's stream and the output window
// whose bytes go to the record stage when it is full.
class RecordReader::Inflater {
 public:
  Inflater() = default;
  ~Inflater() {
    if (live_) inflateEnd(&z_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool init() {
    live_ = inflateInit(&z_) == Z_OK;
    reset();
    return live_;
  }
  void reset() {
    z_.next_out = window_.data();
    z_.avail_out = static_cast<uInt>(window_.size());
  }
  std::size_t used() const { return window_.size() - z_.avail_out; }
  bool end() {
    bool ok = inflateEnd(&z_) == Z_OK;
    live_ = false;
    return ok;
  }

  z_stream z_{};
  bool live_ = false;
  bool ended_ = false;
  std::array<std::uint8_t, kInflateWindowSize> window_{};
};

RecordReader::RecordReader() = default;
RecordReader::~RecordReader() = default;

void RecordReader::release() {
  inflater_.reset();
  buffer_.reset();
  capacity_ = 0;
}

bool RecordReader::fail(ReadFailure kind, platform::ErrorCode code, std::uint64_t streamOffset,
                        std::uint8_t recordCode) {
  if (stage_ == Stage::Failed) return false;
  stage_ = Stage::Failed;
  if (code != 0) lastError_ = code;
  error_ = ReadError{kind, recordCode, streamOffset, fileOffset_};
  return false;
}

bool RecordReader::begin(const RecordSet& set, void* passData) {
  release();
  set_ = set;
  passData_ = passData;
  index_.fill(nullptr);
  started_ = false;
  finished_ = false;
  headerGathered_ = 0;
  header_ = MetaFileHeader{};
  open_ = nullptr;
  inVariablePart_ = false;
  expected_ = gathered_ = 0;
  openOffset_ = streamOffset_ = inputBytes_ = fileOffset_ = 0;
  lastError_ = 0;
  error_ = ReadError{};
  stage_ = Stage::Header;

  // A table without its end entry simply has no filler: 0x00 is then unknown.
  for (const RecordSetEntry& e : set.entries) {
    bool lengthOk = e.lengthAt == kNoLengthField ||
                    (e.lengthAt >= 0 && e.lengthAt + 4 <= static_cast<int>(e.fixedLength));
    if (!lengthOk || (e.code == 0 && (e.fixedLength != 0 || e.handler != nullptr))) {
      return fail(ReadFailure::BadRecordSet, ERROR_INVALID_PARAMETER, 0, e.code);
    }
    if (index_[e.code] == nullptr) index_[e.code] = &e;
    if (e.code == 0) break;
  }

  buffer_.reset(new (std::nothrow) std::uint8_t[kInitialBufferSize]);
  if (!buffer_) return fail(ReadFailure::OutOfMemory, ERROR_NOT_ENOUGH_MEMORY, 0);
  capacity_ = kInitialBufferSize;
  return true;
}

bool RecordReader::feed(Bytes chunk) {
  if (finished_ || (stage_ != Stage::Header && stage_ != Stage::Records)) {
    if (stage_ != Stage::Failed) {
      error_ = ReadError{ReadFailure::NotStarted, 0, streamOffset_, fileOffset_};
    }
    lastError_ = ERROR_INVALID_HANDLE;
    return false;
  }
  const std::uint8_t* p = chunk.data();
  std::size_t n = chunk.size();
  if (stage_ == Stage::Header && !headerBytes(p, n)) return false;
  if (n == 0) return true;
  return body(p, n);
}

bool RecordReader::headerBytes(const std::uint8_t*& p, std::size_t& n) {
  while (n > 0 && stage_ == Stage::Header) {
    std::size_t need =
        (headerGathered_ < kShortHeaderSize ? kShortHeaderSize : kLongHeaderSize) - headerGathered_;
    std::size_t take = std::min(need, n);
    std::memcpy(headerBuf_.data() + headerGathered_, p, take);
    headerGathered_ += take;
    fileOffset_ += take;
    p += take;
    n -= take;
    if (take < need) break;

    Bytes got(headerBuf_.data(), headerGathered_);
    if (headerGathered_ == kShortHeaderSize) {
      if (!hasMagic(got)) return fail(ReadFailure::BadMagic, 0, 0);
      header_.version = fieldU32(got, 24);
      header_.compressed = fieldU32(got, 28);
      header_.recordSetParameter = fieldU32(got, 32);
      if (!header_.isKnownVersion()) return fail(ReadFailure::BadVersion, 0, 0);
      if (header_.isLong()) continue;
      header_.recordSet = 1;
      header_.pageCountPlusOne = 0;
    } else {
      header_ = *parseHeader(got);
    }

    started_ = true;
    if (set_.start != nullptr && !set_.start(*this, header_.recordSetParameter)) {
      return fail(ReadFailure::StartFailed, 0, 0);
    }
    if (header_.isCompressed()) {
      inflater_ = std::make_unique<Inflater>();
      if (!inflater_->init()) return fail(ReadFailure::OutOfMemory, ERROR_NOT_ENOUGH_MEMORY, 0);
    }
    stage_ = Stage::Records;
  }
  return true;
}

bool RecordReader::body(const std::uint8_t* p, std::size_t n) {
  if (inflater_) return inflateChunk(p, n);
  fileOffset_ += n;
  return records(p, n);
}

bool RecordReader::inflateChunk(const std::uint8_t* p, std::size_t n) {
  Inflater& inf = *inflater_;
  if (inf.ended_) {
    fileOffset_ += n;
    return true;
  }
  z_stream& z = inf.z_;
  // zlib counts input in uInt; a chunk beyond that is taken in pieces.
  while (n > 0 && !inf.ended_) {
    std::size_t piece = std::min<std::size_t>(n, std::numeric_limits<uInt>::max());
    z.next_in = const_cast<Bytef*>(p);
    z.avail_in = static_cast<uInt>(piece);
    for (;;) {
      // The bulk of a long record (a font, an image) is inflated straight
      // into the record buffer: no copy out of the window, and zlib works on
      // larger stretches. The buffer still grows only with what arrived.
      std::size_t direct = 0;
      if (open_ != nullptr && inVariablePart_ && inf.used() == 0 &&
          expected_ - gathered_ >= kInflateWindowSize) {
        if (capacity_ - gathered_ < kInflateWindowSize &&
            !ensureCapacity(gathered_ + kInflateWindowSize)) {
          return fail(ReadFailure::OutOfMemory, ERROR_NOT_ENOUGH_MEMORY, openOffset_, open_->code);
        }
        direct = std::min({expected_ - gathered_, capacity_ - gathered_,
                           std::size_t{std::numeric_limits<uInt>::max()}});
        z.next_out = buffer_.get() + gathered_;
        z.avail_out = static_cast<uInt>(direct);
      }
      int rc = inflate(&z, Z_NO_FLUSH);
      if (rc == Z_STREAM_END) {
        inf.ended_ = true;
      } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && z.avail_in == 0)) {
        // Z_BUF_ERROR with input left cannot happen; without input it only
        // means "nothing more until the next chunk".
        if (direct != 0) inf.reset();
        fileOffset_ += piece - z.avail_in;
        return fail(ReadFailure::InflateCorrupt, 0, streamOffset_);
      }
      if (direct != 0) {
        const bool full = z.avail_out == 0;
        const std::size_t produced = direct - z.avail_out;
        inf.reset();
        gathered_ += produced;
        streamOffset_ += produced;
        if (gathered_ == expected_) {
          const RecordSetEntry* e = open_;
          open_ = nullptr;
          if (!deliver(e, Bytes(buffer_.get(), expected_), openOffset_)) return false;
        }
        if (inf.ended_ || (z.avail_in == 0 && !full)) break;
        continue;
      }
      if (z.avail_out == 0) {
        std::uint8_t* w = inf.window_.data();
        inf.reset();
        if (!records(w, kInflateWindowSize)) return false;
        if (!inf.ended_) continue;  // drain what zlib still holds
      }
      if (inf.ended_ || z.avail_in == 0) break;
    }
    p += piece;
    n -= piece;
    fileOffset_ += piece;
  }
  fileOffset_ += n;  // bytes after the end of the stream are ignored
  return true;
}

bool RecordReader::finishInflate() {
  Inflater& inf = *inflater_;
  z_stream& z = inf.z_;
  z.next_in = nullptr;
  z.avail_in = 0;
  while (!inf.ended_) {
    int rc = inflate(&z, Z_FINISH);
    if (rc == Z_STREAM_END) {
      inf.ended_ = true;
    } else if (rc == Z_BUF_ERROR && z.avail_out != 0) {
      return fail(ReadFailure::InflateTruncated, 0, streamOffset_);
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
      return fail(ReadFailure::InflateCorrupt, 0, streamOffset_);
    }
    // Z_BUF_ERROR with a full window only means the window was too small.
    std::size_t used = inf.used();
    inf.reset();
    if (used > 0 && !records(inf.window_.data(), used)) return false;
  }
  std::size_t used = inf.used();
  inf.reset();
  if (used > 0 && !records(inf.window_.data(), used)) return false;
  if (!inf.end()) return fail(ReadFailure::InflateCorrupt, 0, streamOffset_);
  return true;
}

bool RecordReader::ensureCapacity(std::size_t needed) {
  if (needed <= capacity_) return true;
  // Grow with the bytes that actually arrived, never to a length a record
  // merely claims: a lying length then costs at most twice the input.
  std::size_t grown = capacity_ > expected_ / 2 ? expected_ : capacity_ * 2;
  std::size_t size = std::max(needed, std::min(grown, expected_));
  std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[size]);
  if (!bigger) return false;
  std::memcpy(bigger.get(), buffer_.get(), gathered_);
  buffer_ = std::move(bigger);
  capacity_ = size;
  return true;
}

bool RecordReader::deliver(const RecordSetEntry* entry, Bytes bytes, std::uint64_t offset) {
  inputBytes_ += 1 + bytes.size();
  if (entry->handler == nullptr) return true;
  Record record{entry, bytes, offset};
  if (!entry->handler(*this, record)) {
    return fail(ReadFailure::HandlerFailed, 0, offset, entry->code);
  }
  return true;
}

bool RecordReader::records(const std::uint8_t* p, std::size_t n) {
  constexpr std::uint64_t kMaxRecord = std::numeric_limits<std::uint32_t>::max();
  while (n > 0) {
    if (open_ == nullptr) {
      const std::uint8_t code = *p;
      const RecordSetEntry* e = index_[code];
      if (e == nullptr)
        return fail(ReadFailure::UnknownCode, ERROR_BAD_COMMAND, streamOffset_, code);
      const std::uint64_t at = streamOffset_;
      ++p;
      --n;
      ++streamOffset_;
      if (e->code == 0) continue;  // filler
      if (e->fixedLength == 0) {
        if (!deliver(e, Bytes(), at)) return false;
        continue;
      }
      // A record wholly inside this run is handed over where it lies.
      if (n >= e->fixedLength) {
        std::uint64_t size = e->fixedLength;
        if (e->lengthAt != kNoLengthField) {
          size += fieldU32(Bytes(p, e->fixedLength), static_cast<std::size_t>(e->lengthAt));
          if (size > kMaxRecord) {
            return fail(ReadFailure::LengthOverflow, ERROR_BAD_LENGTH, at, code);
          }
        }
        if (n >= size) {
          p += size;
          n -= static_cast<std::size_t>(size);
          streamOffset_ += size;
          if (!deliver(e, Bytes(p - size, static_cast<std::size_t>(size)), at)) return false;
          continue;
        }
      }
      open_ = e;
      openOffset_ = at;
      inVariablePart_ = false;
      expected_ = e->fixedLength;
      gathered_ = 0;
      continue;
    }

    std::size_t take = std::min(expected_ - gathered_, n);
    if (!ensureCapacity(gathered_ + take)) {
      return fail(ReadFailure::OutOfMemory, ERROR_NOT_ENOUGH_MEMORY, openOffset_, open_->code);
    }
    std::memcpy(buffer_.get() + gathered_, p, take);
    gathered_ += take;
    p += take;
    n -= take;
    streamOffset_ += take;
    if (gathered_ < expected_) continue;

    if (!inVariablePart_ && open_->lengthAt != kNoLengthField) {
      std::uint64_t size =
          std::uint64_t{open_->fixedLength} +
          fieldU32(Bytes(buffer_.get(), gathered_), static_cast<std::size_t>(open_->lengthAt));
      if (size > kMaxRecord) {
        return fail(ReadFailure::LengthOverflow, ERROR_BAD_LENGTH, openOffset_, open_->code);
      }
      inVariablePart_ = true;
      if (size > expected_) {
        expected_ = static_cast<std::size_t>(size);
        continue;
      }
    }
    const RecordSetEntry* e = open_;
    open_ = nullptr;
    if (!deliver(e, Bytes(buffer_.get(), expected_), openOffset_)) return false;
  }
  return true;
}

std::uint32_t RecordReader::end() {
  if (stage_ == Stage::Idle || finished_) {
    if (stage_ != Stage::Failed) {
      error_ = ReadError{ReadFailure::NotStarted, 0, streamOffset_, fileOffset_};
    }
    lastError_ = ERROR_INVALID_HANDLE;
    return 0;
  }
  finished_ = true;
  if (stage_ == Stage::Records && inflater_) finishInflate();
  if (stage_ == Stage::Header) {
    fail(ReadFailure::Truncated, ERROR_BAD_LENGTH, 0);
  } else if (stage_ == Stage::Records && open_ != nullptr) {
    fail(ReadFailure::Truncated, ERROR_BAD_LENGTH, openOffset_, open_->code);
  }
  if (started_ && set_.finish != nullptr) set_.finish(*this);
  release();
  if (stage_ == Stage::Failed) return 0;
  if (header_.recordSet == 0) return fail(ReadFailure::ZeroRecordSet, 0, 0), 0;
  stage_ = Stage::Ended;
  return header_.recordSet;
}

}  // namespace spool
