#include "spool/output_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace spool {

class OutputWriter::Deflater {
 public:
  Deflater() = default;
  ~Deflater() {
    if (live_) deflateEnd(&z_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  bool init(int level) {
    live_ = deflateInit(&z_, level) == Z_OK;
    reset();
    return live_;
  }
  void reset() {
    z_.next_out = window_.data();
    z_.avail_out = static_cast<uInt>(window_.size());
  }
  Bytes used() const { return Bytes(window_.data(), window_.size() - z_.avail_out); }
  bool end() {
    live_ = false;
    // Z_DATA_ERROR here means the stream was freed early; after Z_STREAM_END it is Z_OK.
    return deflateEnd(&z_) == Z_OK;
  }

  z_stream z_{};
  bool live_ = false;
  std::array<std::uint8_t, kWindowSize> window_{};
};

OutputWriter::OutputWriter(ByteSink& sink) : sink_(sink) {}
OutputWriter::~OutputWriter() = default;

bool OutputWriter::writeOut(Bytes bytes) {
  if (bytes.empty()) return true;
  if (!deflater_) {
    return sink_.write(bytes);
  }
  z_stream& z = deflater_->z_;
  while (!bytes.empty()) {
    std::size_t piece = std::min<std::size_t>(bytes.size(), std::numeric_limits<uInt>::max());
    z.next_in = const_cast<Bytef*>(bytes.data());
    z.avail_in = static_cast<uInt>(piece);
    while (z.avail_in > 0) {
      if (deflate(&z, Z_NO_FLUSH) != Z_OK) return false;
      if (z.avail_out == 0) {
        if (!sink_.write(deflater_->used())) return false;
        deflater_->reset();
      }
    }
    bytes = bytes.subspan(piece);
  }
  return true;
}

bool OutputWriter::write(Bytes bytes) {
  if (failed_) return false;
  if (bytes.empty()) return true;
  if (bytes.size() > kBufferSize - pending_) {
    if (!writeOut(Bytes(buffer_.data(), pending_))) return !(failed_ = true);
    pending_ = 0;
    while (bytes.size() > kDirectThreshold) {
      std::size_t block = std::min(bytes.size(), kBufferSize);
      if (!writeOut(bytes.first(block))) return !(failed_ = true);
      bytes = bytes.subspan(block);
    }
  }
  std::memcpy(buffer_.data() + pending_, bytes.data(), bytes.size());
  pending_ += bytes.size();
  return true;
}

bool OutputWriter::flush() {
  if (failed_) return false;
  if (!writeOut(Bytes(buffer_.data(), pending_))) return !(failed_ = true);
  pending_ = 0;
  return true;
}

bool OutputWriter::startCompression(int level) {
  if (failed_ || deflater_) return !(failed_ = true);
  if (!flush()) return false;
  auto d = std::make_unique<Deflater>();
  if (!d->init(level)) return !(failed_ = true);
  deflater_ = std::move(d);
  return true;
}

bool OutputWriter::finishCompression() {
  if (failed_ || !deflater_) return !(failed_ = true);
  if (!flush()) return false;
  z_stream& z = deflater_->z_;
  z.next_in = nullptr;
  z.avail_in = 0;
  for (;;) {
    int rc = deflate(&z, Z_FINISH);
    if (rc != Z_OK && rc != Z_STREAM_END) return !(failed_ = true);
    Bytes out = deflater_->used();
    if (!out.empty() && !sink_.write(out)) return !(failed_ = true);
    deflater_->reset();
    if (rc == Z_STREAM_END) break;
  }
  bool ended = deflater_->end();
  deflater_.reset();
  if (!ended) return !(failed_ = true);
  return true;
}

}  // namespace spool
