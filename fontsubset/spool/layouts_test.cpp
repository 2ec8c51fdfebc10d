#include "spool/layouts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "spool/description.h"

namespace spool {
namespace {

using Buffer = std::vector<std::uint8_t>;

// The bytes of the one record a builder made, without its code byte.
Buffer only(const MetaFileBuilder& b) { return Buffer(b.stream().begin() + 1, b.stream().end()); }

std::string text(Bytes b) { return std::string(b.begin(), b.end()); }

TEST(Layouts, FontFileRecordsOfEachCode) {
  struct Case {
    std::uint8_t code;
    std::uint32_t version;
    std::uint32_t flags;
    std::uint16_t codePage;
  };
  const Case cases[] = {
      {code::kShortFontFile, 5, kTrueTypeFont, 1252},  // no flags or code page stored
      {code::kFontFile, 4, 0x200004, 932},
      {code::kFontFile, 3, 0x200004, 1252},  // code page ignored before version 4
      {code::kFontObjectDefinition, 5, 0x4, 1250},
  };
  for (const Case& c : cases) {
    FontSpec spec;
    spec.code = c.code;
    spec.name = "DejaVu Sans";
    spec.data = {0, 1, 0, 0, 9, 9};
    spec.secondPart = {0xAA, 0xBB, 0xCC};
    spec.flags = c.flags;
    spec.codePage = 932 + (c.codePage == 1250 ? 318 : 0);
    spec.objectId = 42;
    MetaFileBuilder b;
    b.fontFile(spec);
    const Buffer bytes = only(b);
    auto r = FontFileRecord::parse(c.code, bytes, c.version);
    ASSERT_TRUE(r) << int(c.code);
    EXPECT_EQ(r->flags(), c.flags);
    EXPECT_EQ(r->codePage(), c.codePage) << int(c.code) << " v" << c.version;
    EXPECT_EQ(text(r->name()), "DejaVu Sans");
    EXPECT_EQ(r->nameField().size(), 12u);
    EXPECT_EQ(r->fontDataOffset(), 12u);
    EXPECT_EQ(Buffer(r->fontData().begin(), r->fontData().end()), spec.data);
    EXPECT_EQ(r->secondPartLength(), 3u);
    EXPECT_EQ(Buffer(r->secondPart()->begin(), r->secondPart()->end()), spec.secondPart);
    EXPECT_EQ(r->afterFontData().size(), 3u);
    EXPECT_EQ(r->variableLength(), 12u + 6 + 3);
    EXPECT_EQ(r->objectId().has_value(), c.code == code::kFontObjectDefinition);
    if (r->objectId()) {
      EXPECT_EQ(*r->objectId(), 42u);
    }

    // A fixed part copied and changed by name keeps the other bytes.
    auto fixed = FontFileFixedPart::copyOf(*r);
    fixed->setFontDataLength(0);
    fixed->setVariableLength(12 + 3);
    Buffer changed(fixed->bytes().begin(), fixed->bytes().end());
    const Buffer tail = {'D', 'e', 'j', 'a', 'V',  'u',  ' ', 'S',
                         'a', 'n', 's', 0,   0xAA, 0xBB, 0xCC};
    changed.insert(changed.end(), tail.begin(), tail.end());
    auto again = FontFileRecord::parse(c.code, changed, c.version);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->fontData().empty());
    EXPECT_EQ(again->flags(), c.flags);
    EXPECT_EQ(Buffer(again->secondPart()->begin(), again->secondPart()->end()), spec.secondPart);
  }
}

TEST(Layouts, FontFileRecordsWithFieldsOutsideTheirBytesAreRefused) {
  FontSpec spec;
  spec.name = "F";
  spec.data = Buffer(10, 1);
  MetaFileBuilder b;
  b.fontFile(spec);
  const Buffer good = only(b);
  const FontFileFields& f = *fontFileFields(code::kFontFile);
  struct Case {
    const char* name;
    std::size_t at;
    std::uint32_t value;
    bool parses;
  };
  const Case cases[] = {
      {"data offset past the end", f.fontDataOffset, 100, false},
      {"data length past the end", f.fontDataLength, 11, false},
      {"offset + length wraps", f.fontDataOffset, 0xFFFFFFFF, false},
      {"length field disagrees", f.variableLength, 13, false},
      {"data at the very end", f.fontDataOffset, 2, true},
  };
  for (const Case& c : cases) {
    Buffer bytes = good;
    writeU32(bytes, c.at, c.value);
    EXPECT_EQ(FontFileRecord::parse(code::kFontFile, bytes, 5).has_value(), c.parses) << c.name;
  }
  EXPECT_FALSE(FontFileRecord::parse(code::kFontFile, Bytes(good).first(27), 5));
  EXPECT_FALSE(FontFileRecord::parse(code::kBlobDefinition, good, 5));

  // A second part length beyond the bytes is reported as missing, not read.
  Buffer bytes = good;
  writeU32(bytes, f.secondPartLength, 1);
  auto r = FontFileRecord::parse(code::kFontFile, bytes, 5);
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->secondPart());
  EXPECT_TRUE(r->afterFontData().empty());
}

TEST(Layouts, TextRuns) {
  struct Case {
    const char* name;
    TextSpec spec;
    std::string text;
    std::vector<std::uint16_t> codes;
  };
  const Case cases[] = {
      {"single-byte", {"Hello", {}, false, 0}, "Hello", {}},
      {"codes after a narrow terminator", {"", {0x41, 0x20AC}, false, 0}, "", {0x41, 0x20AC}},
      {"codes after a wide terminator and items",
       {"", {0x3042, 0x3044}, true, 3},
       "",
       {0x3042, 0x3044}},
      {"text wins over codes", {"ab", {0x41}, false, 1}, "ab", {}},
  };
  for (const Case& c : cases) {
    for (std::uint8_t code : {code::kTextRun, code::kTextObjectDefinition}) {
      MetaFileBuilder b;
      if (code == code::kTextRun)
        b.textRun(c.spec);
      else
        b.textObject(9, c.spec);
      const Buffer bytes = only(b);
      auto run = TextRun::fromRecord(code, bytes);
      ASSERT_TRUE(run) << c.name;
      EXPECT_EQ(text(run->singleByteText()), c.text) << c.name;
      EXPECT_EQ(std::vector<std::uint16_t>(run->codes().begin(), run->codes().end()), c.codes)
          << c.name;
      EXPECT_EQ(run->wideUnits(), c.spec.wide);
      EXPECT_EQ(run->itemCount(), c.spec.items);
      EXPECT_EQ(run->content()->size(), run->variable().size()) << c.name;
      if (code == code::kTextObjectDefinition) {
        EXPECT_EQ(TextObjectDefinition::parse(bytes)->objectId(), 9u);
      }
    }
  }
}

TEST(Layouts, TextRunsWhoseCountsOverrunTheirBytesAreRefused) {
  MetaFileBuilder b;
  b.textRun({"", {1, 2}, true, 1});  // variable part: 2 + 8 + 4 bytes
  const Buffer good = only(b);
  struct Case {
    const char* name;
    std::size_t at;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"one code too many", TextRun::kCodeCountAt, 3},
      {"one item too many", TextRun::kItemCountAt, 2},
      {"huge counts wrap", TextRun::kItemCountAt, 0xFFFFFFFF},
      {"more characters than bytes", TextRun::kSingleByteCountAt, 15},
  };
  for (const Case& c : cases) {
    Buffer bytes = good;
    writeU32(bytes, c.at, c.value);
    EXPECT_FALSE(TextRun::fromRecord(code::kTextRun, bytes)) << c.name;
  }
  // A kept copy may be shorter than the declared length, not than its content.
  Bytes block = Bytes(good).first(TextRun::kBlockSize);
  Bytes variable = Bytes(good).subspan(TextRun::kBlockSize);
  EXPECT_TRUE(TextRun::parse(block, variable));
  EXPECT_FALSE(TextRun::parse(block, variable.first(variable.size() - 1)));
  EXPECT_FALSE(TextRun::parse(block.first(59), variable));
}

TEST(Layouts, ObjectRecords) {
  MetaFileBuilder b;
  b.group(5, true, {{1, {2, 3}}, {4, {0xFFFFFFFF, 6}}});
  const Buffer groupBytes = only(b);
  auto group = ObjectGroupDefinition::parse(groupBytes);
  ASSERT_TRUE(group);
  EXPECT_EQ(group->groupId(), 5u);
  EXPECT_TRUE(group->replayNow());
  ASSERT_EQ(group->entries().size(), 2u);
  EXPECT_EQ(group->entries()[1].objectId, 4u);
  EXPECT_EQ(group->entries()[1].offset.x, 0xFFFFFFFFu);
  EXPECT_EQ(group->entries()[1].offset.y, 6u);

  MetaFileBuilder p;
  p.pointList(8, 77, 3);
  const Buffer pointBytes = only(p);
  auto points = PointListDefinition::parse(pointBytes);
  ASSERT_TRUE(points);
  EXPECT_EQ(points->objectId(), 8u);
  EXPECT_EQ(points->value(), 77u);
  EXPECT_EQ(points->points().size(), 3u);

  MetaFileBuilder r;
  r.replayAt(3, {10, 20});
  const Buffer replayBytes = only(r);
  auto replay = ObjectReplayAtOffset::parse(replayBytes);
  ASSERT_TRUE(replay);
  EXPECT_EQ(replay->objectId(), 3u);
  EXPECT_EQ(replay->offset().y, 20u);

  for (bool longForm : {false, true}) {
    MetaFileBuilder bl;
    bl.blob(12, Buffer(5, 1), longForm);
    std::uint8_t code = longForm ? code::kLongBlobDefinition : code::kBlobDefinition;
    const Buffer blobBytes = only(bl);
    auto blob = BlobDefinition::parse(code, blobBytes);
    ASSERT_TRUE(blob);
    EXPECT_EQ(blob->objectId(), 12u);
    EXPECT_EQ(blob->fixedLength(), longForm ? 48u : 36u);
    EXPECT_EQ(blob->variableLength(), 5u);
    EXPECT_FALSE(blob->reusesObject());
    EXPECT_FALSE(BlobDefinition::parse(code, Bytes(blobBytes).first(40)));
  }

  MetaFileBuilder d;
  d.deleteObject(99);
  const Buffer deleteBytes = only(d);
  EXPECT_EQ(ObjectReference::parse(code::kObjectDelete, deleteBytes)->objectId(), 99u);
  EXPECT_FALSE(ObjectReference::parse(code::kObjectDelete, Bytes(deleteBytes).first(3)));

  auto marker = ProcessingMarker::encode(0, 100);
  auto parsed = ProcessingMarker::parse(Bytes(marker).subspan(1));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(marker[0], code::kProcessingMarker);
  EXPECT_EQ(parsed->markerKind(), 0u);
  EXPECT_EQ(parsed->markerValue(), 100u);
}

}  // namespace
}  // namespace spool
