// The writer behind a rewritten printer meta file: small writes are gathered
// in a 4,096-byte buffer, large ones (a font's data) pass straight through in
// blocks, and from the document start on everything goes through deflate.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "spool/le_bytes.h"

namespace spool {

// Where output bytes go: the plug-in's temporary file, a test's memory.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool write(Bytes bytes) = 0;
};

class VectorSink final : public ByteSink {
 public:
  bool write(Bytes bytes) override {
    data.insert(data.end(), bytes.begin(), bytes.end());
    return true;
  }
  std::vector<std::uint8_t> data;
};

class OutputWriter {
 public:
  static constexpr std::size_t kBufferSize = 4096;
  static constexpr std::size_t kDirectThreshold = 1024;
  static constexpr std::size_t kWindowSize = 4096;
  static constexpr int kDeflateLevel = 6;

  explicit OutputWriter(ByteSink& sink);
  ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  // Every call fails once one has: the output is then unusable anyway.
  bool write(Bytes bytes);
  bool writeByte(std::uint8_t byte) { return write(Bytes(&byte, 1)); }

  // Writes what is pending uncompressed and starts deflate.
  bool startCompression(int level = kDeflateLevel);
  // Deflates what is pending, ends the zlib stream and writes its tail.
  bool finishCompression();
  // Writes what is pending (through deflate while compressing, without
  // ending the stream).
  bool flush();

  bool compressing() const { return deflater_ != nullptr; }
  std::size_t pending() const { return pending_; }
  bool failed() const { return failed_; }

 private:
  class Deflater;
  bool writeOut(Bytes bytes);

  ByteSink& sink_;
  std::array<std::uint8_t, kBufferSize> buffer_{};
  std::size_t pending_ = 0;
  std::unique_ptr<Deflater> deflater_;
  bool failed_ = false;
};

}  // namespace spool
