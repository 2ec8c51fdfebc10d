// The SOAP fault reader on arbitrary answer bodies, handed over in pieces
// whose sizes come from the input too, so events cross read boundaries.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "uploadclient/soap_fault.h"

namespace {

class PieceStream : public uploadclient::ResponseStream {
 public:
  PieceStream(const std::uint8_t* data, std::size_t size, std::size_t piece)
      : data_(data), size_(size), piece_(piece) {}
  platform::ErrorCode read(void* buffer, std::uint32_t size, std::uint32_t* got) override {
    std::size_t n = size_ - offset_;
    if (n > size) n = size;
    if (n > piece_) n = piece_;
    if (n != 0) std::memcpy(buffer, data_ + offset_, n);
    offset_ += n;
    *got = static_cast<std::uint32_t>(n);
    return platform::ERROR_SUCCESS;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t piece_;
  std::size_t offset_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t piece = 4096;
  if (size > 0) {
    piece = 1 + data[0] % 64;
    ++data;
    --size;
  }
  PieceStream stream(data, size, piece);
  uploadclient::NamespaceSaxReader reader;
  CSoapFaultInfo record;
  uploadclient::readSoapFault(stream, reader, record);
  if (reader.contentHandler() != nullptr) __builtin_trap();
  return 0;
}
