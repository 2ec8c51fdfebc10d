// The streaming record reader that every pass over a printer meta file shares.
// Input arrives in chunks split at any byte; the reader gathers the header,
// inflates a compressed body on the fly and hands each complete record to the
// handler its record set names for the record's code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/errors.h"
#include "spool/catalogue.h"
#include "spool/header.h"
#include "spool/le_bytes.h"

namespace spool {

using platform::ERROR_BAD_COMMAND;

class RecordReader;
struct Record;

// A handler returns false to stop the pass.
using RecordHandler = bool (*)(RecordReader& reader, const Record& record);
// Called once the header is complete; false stops the pass.
using StartOperation = bool (*)(RecordReader& reader, std::uint32_t recordSetParameter);
// Called by end() whenever start was called, whether the pass succeeded or not
// (reader.failed() tells), so a pass can release what start made.
using FinishOperation = void (*)(RecordReader& reader);

struct RecordSetEntry {
  std::uint8_t code = 0;
  std::uint8_t fixedLength = 0;
  std::int16_t lengthAt = kNoLengthField;
  RecordHandler handler = nullptr;
};

struct RecordSet {
  // Read up to and including the entry with code 0, which stands for the
  // one-byte filler (fixed length 0, no handler). A code missing here is an
  // unknown code for this pass. The table must outlive the pass.
  std::span<const RecordSetEntry> entries;
  StartOperation start = nullptr;
  FinishOperation finish = nullptr;
};

// The whole catalogue as record set entries with one fallback handler; a pass
// points the codes it cares about at handlers of its own.
class RecordSetTable {
 public:
  explicit RecordSetTable(RecordHandler fallback = nullptr);
  // Unknown codes are ignored: the table only ever holds catalogue codes.
  RecordSetTable& on(std::uint8_t code, RecordHandler handler);
  std::span<const RecordSetEntry> entries() const { return entries_; }

 private:
  std::array<RecordSetEntry, 41> entries_{};
};

struct Record {
  const RecordSetEntry* entry = nullptr;
  Bytes bytes;                     // the fixed part, then the variable part; no code byte
  std::uint64_t streamOffset = 0;  // of the code byte, in the record stream

  std::uint8_t code() const { return entry->code; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(bytes.size()); }
  Bytes fixedPart() const { return bytes.first(entry->fixedLength); }
  Bytes variablePart() const { return bytes.subspan(entry->fixedLength); }
};

enum class ReadFailure {
  None,
  NotStarted,    // feed or end without begin, or after end
  BadRecordSet,  // begin was given an inconsistent table
  BadMagic,
  BadVersion,  // version 0: neither the short nor the long header
  UnknownCode,
  OutOfMemory,
  LengthOverflow,  // fixed + variable length does not fit in 32 bits
  Truncated,       // input ended inside the header or a record
  InflateCorrupt,
  InflateTruncated,  // the body ended before its zlib stream did
  StartFailed,
  HandlerFailed,
  ZeroRecordSet,
};

struct ReadError {
  ReadFailure kind = ReadFailure::None;
  std::uint8_t code = 0;           // the record's code where one is involved
  std::uint64_t streamOffset = 0;  // record stream offset of the record or the failing byte
  std::uint64_t fileOffset = 0;    // bytes of the file consumed when it was found
};

// One line in plain words, without the file name.
std::string describe(const ReadError& error);

class RecordReader {
 public:
  static constexpr std::size_t kInitialBufferSize = 4096;
  static constexpr std::size_t kInflateWindowSize = 4096;

  RecordReader();
  ~RecordReader();
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  // Starts a pass; any pass in progress is dropped without its finish call.
  bool begin(const RecordSet& set, void* passData = nullptr);
  // Any length, any split. False once the pass has failed.
  bool feed(Bytes chunk);
  // Ends the pass: the header's recordSet, or 0 when the pass failed.
  std::uint32_t end();

  // What handlers see.
  const MetaFileHeader& header() const { return header_; }
  std::uint32_t version() const { return header_.version; }
  std::uint32_t recordSet() const { return header_.recordSet; }
  void* passDataPointer() const { return passData_; }
  template <typename T>
  T& passData() const {
    return *static_cast<T*>(passData_);
  }
  // Bytes of the record stream taken by complete records (code bytes
  // included, fillers not).
  std::uint64_t inputByteCount() const { return inputBytes_; }
  void setLastError(platform::ErrorCode code) { lastError_ = code; }

  platform::ErrorCode lastError() const { return lastError_; }
  bool failed() const { return stage_ == Stage::Failed; }
  const ReadError& error() const { return error_; }
  std::size_t bufferCapacity() const { return capacity_; }

 private:
  enum class Stage { Idle, Header, Records, Failed, Ended };
  class Inflater;

  bool headerBytes(const std::uint8_t*& p, std::size_t& n);
  bool body(const std::uint8_t* p, std::size_t n);
  bool records(const std::uint8_t* p, std::size_t n);
  bool inflateChunk(const std::uint8_t* p, std::size_t n);
  bool finishInflate();
  bool deliver(const RecordSetEntry* entry, Bytes bytes, std::uint64_t offset);
  bool ensureCapacity(std::size_t needed);
  bool fail(ReadFailure kind, platform::ErrorCode code, std::uint64_t streamOffset,
            std::uint8_t recordCode = 0);
  void release();

  Stage stage_ = Stage::Idle;
  RecordSet set_{};
  void* passData_ = nullptr;
  std::array<const RecordSetEntry*, 256> index_{};
  bool started_ = false;
  bool finished_ = false;

  std::array<std::uint8_t, kLongHeaderSize> headerBuf_{};
  std::size_t headerGathered_ = 0;
  MetaFileHeader header_{};

  std::unique_ptr<Inflater> inflater_;

  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t capacity_ = 0;
  const RecordSetEntry* open_ = nullptr;
  bool inVariablePart_ = false;
  std::size_t expected_ = 0;
  std::size_t gathered_ = 0;
  std::uint64_t openOffset_ = 0;

  std::uint64_t streamOffset_ = 0;
  std::uint64_t inputBytes_ = 0;
  std::uint64_t fileOffset_ = 0;
  platform::ErrorCode lastError_ = 0;
  ReadError error_{};
};

}  // namespace spool
