// What the tests of the passes and the plug-in share: meta files made from
// descriptions, a reader of the records of a file that does not use the
// passes, and both passes run over bytes in memory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "passes/rewrite_pass.h"
#include "passes/scan_pass.h"
#include "spool/description.h"
#include "spool/output_writer.h"
#include "spool/record_reader.h"

namespace passes::testing {

using ByteVector = std::vector<std::uint8_t>;

inline const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline const std::string kDejaVuSerif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
inline const std::string kLiberation =
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";

inline ByteVector readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline ByteVector build(std::string_view description) {
  auto load = [](const std::string& path, ByteVector& data, std::string& error) {
    data = readBytes(path);
    if (data.empty()) error = "cannot read " + path;
    return !data.empty();
  };
  ByteVector file;
  spool::DescriptionError error;
  EXPECT_TRUE(spool::buildFromDescription(description, load, file, error))
      << "line " << error.line << ": " << error.message;
  return file;
}

struct ParsedRecord {
  std::uint8_t code = 0;
  ByteVector bytes;  // fixed part and variable part
  friend bool operator==(const ParsedRecord&, const ParsedRecord&) = default;
};

struct ParsedFile {
  bool ok = false;
  spool::MetaFileHeader header;
  std::vector<ParsedRecord> records;

  std::vector<ParsedRecord> withCode(std::uint8_t code) const {
    std::vector<ParsedRecord> out;
    std::copy_if(records.begin(), records.end(), std::back_inserter(out),
                 [&](const ParsedRecord& r) { return r.code == code; });
    return out;
  }
};

// Every record of a file, in order, read by the record reader alone.
inline ParsedFile parse(const ByteVector& file) {
  ParsedFile parsed;
  spool::RecordSetTable table([](spool::RecordReader& reader, const spool::Record& record) {
    reader.passData<ParsedFile>().records.push_back(
        {record.code(), ByteVector(record.bytes.begin(), record.bytes.end())});
    return true;
  });
  spool::RecordSet set;
  set.entries = table.entries();
  spool::RecordReader reader;
  reader.begin(set, &parsed);
  reader.feed(file);
  parsed.ok = reader.end() != 0;
  parsed.header = reader.header();
  return parsed;
}

// Feeds `file` in chunks of the plug-in's size.
template <typename Pass>
bool feedAll(Pass& pass, const ByteVector& file) {
  if (!pass.begin()) return false;
  bool fed = true;
  for (std::size_t at = 0; at < file.size() && fed; at += kChunkSize) {
    const std::size_t n = std::min(kChunkSize, file.size() - at);
    fed = pass.feed(spool::Bytes(file.data() + at, n));
  }
  return pass.end() && fed;
}

}  // namespace passes::testing
