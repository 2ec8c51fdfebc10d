// What pmftool's info, dump and fonts commands learn from one read of a
// printer meta file, and the plumbing they share.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "spool/header.h"
#include "spool/record_reader.h"

namespace pmftool {

struct FontInfo {
  std::uint64_t offset = 0;  // in the record stream
  std::uint8_t code = 0;
  std::string name;
  std::optional<std::uint32_t> objectId;
  std::uint32_t flags = 0;
  std::uint16_t codePage = 0;
  std::uint32_t dataLength = 0;
  std::uint32_t secondPartLength = 0;
  std::vector<std::uint8_t> data;  // kept only when asked for
};

enum ObjectKind { kBlob, kText, kFont, kPointList, kGroup, kObjectKinds };

struct Inspection {
  spool::MetaFileHeader header;
  std::uint64_t fileSize = 0;
  std::uint64_t recordBytes = 0;  // record stream bytes in records (fillers not)
  std::uint64_t records = 0;
  std::array<std::uint64_t, 256> counts{};
  std::uint32_t pages = 0;
  std::vector<FontInfo> fonts;
  std::array<std::uint64_t, kObjectKinds> defined{};
  std::uint64_t blobReuses = 0;  // blob definitions of length 0
  std::uint64_t replays = 0;     // codes 34, 40 and groups replayed at once
  std::uint64_t deletes = 0;
};

// Called for each record before it is tallied; returning false stops the read.
using RecordVisitor = std::function<bool(const spool::RecordReader&, const spool::Record&)>;

// Reads `bytes` through the record reader. On failure `error` says where and
// what, without the file name.
bool inspect(const std::vector<std::uint8_t>& bytes, bool keepFontData, const RecordVisitor& visit,
             Inspection& result, std::string& error);

bool readWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// The fields the system reads from a record, as "key=value" text.
std::string describeFields(const spool::RecordReader& reader, const spool::Record& record);

// Text for people: printable ASCII as it is, the rest as \xHH; longer text is cut.
std::string quoted(std::string_view text, std::size_t limit = 64);

// The commands with their streams given, for tests.
int info(const Args& args, std::ostream& out, std::ostream& err);
int dump(const Args& args, std::ostream& out, std::ostream& err);
int build(const Args& args, std::ostream& out, std::ostream& err);
int fonts(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace pmftool
