// The records as a viewer of this target's bitness reads them, byte by byte:
// 32-bit viewers expect fileInfo of 428 bytes and PictureInfo of 26, 64-bit
// viewers 448 and 32 with pointer-sized positions, sizes and time stamps.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/test_files.h"
#include "qkz-picture/qkz_picture.h"
#include "tools/archive-writer/archive_writer.h"

namespace {

constexpr bool kWide = sizeof(void*) == 8;
constexpr size_t kFileInfoBytes = kWide ? 448 : 428;
constexpr size_t kPictureInfoBytes = kWide ? 32 : 26;

uint64_t Field(const uint8_t* bytes, size_t offset, size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) value |= uint64_t{bytes[offset + i]} << (8 * i);
  return value;
}

TEST(RecordLayoutTest, GetPictureInfoWritesExactlyTheRecordOfThisBitness) {
  korvo::QkzTriples palette = {};
  std::string path = WriteScratchFile(
      "layout.QKZ", korvo::BuildQkzPicture(640, 480, palette, korvo::Bytes(640 * 480)));
  uint8_t record[64];
  memset(record, 0xAA, sizeof record);
  ASSERT_EQ(BuiltPlugin("IFKORVO").GetPictureInfo(path.c_str(), 0, 0,
                                                  reinterpret_cast<korvo::PictureInfo*>(record)),
            0);
  EXPECT_EQ(Field(record, 0, 4), 0u);    // left
  EXPECT_EQ(Field(record, 4, 4), 0u);    // top
  EXPECT_EQ(Field(record, 8, 4), 640u);  // width
  EXPECT_EQ(Field(record, 12, 4), 480u);
  EXPECT_EQ(Field(record, 16, 4), 0u);   // densities
  EXPECT_EQ(Field(record, 20, 2), 8u);   // colorDepth
  for (size_t i = 22; i < kPictureInfoBytes; ++i) EXPECT_EQ(record[i], 0) << "byte " << i;
  for (size_t i = kPictureInfoBytes; i < sizeof record; ++i)
    EXPECT_EQ(record[i], 0xAA) << "wrote past the record at " << i;
}

// Both listings of one archive, the 8-bit and the UTF-16 one, field by field:
// the same numbers at the offsets of each record, the archive's date, an
// empty path, the name in the record's own text, and a zero record last.
TEST(RecordLayoutTest, GetArchiveInfoHandsOverRecordsOfThisBitness) {
  korvo::QkzTriples palette = {};
  korvo::Bytes picture = korvo::BuildQkzPicture(3, 2, palette, korvo::Bytes(8));
  std::string path =
      WriteScratchFile("layout.cg", korvo::BuildOffsetTableArchive({picture, picture}));
  constexpr int64_t kDate = 1700000000;  // 2023-11-14
  SetModificationTime(path, kDate);
  const korvo::LoadedPlugin& plugin = BuiltPlugin("AXKORVO");
  ASSERT_NE(plugin.GetArchiveInfoW, nullptr);
  const WideText widePath = Utf16(path);
  const size_t word = kWide ? 8 : 4;
  struct Listing {
    const char* name;
    size_t recordBytes;
    size_t unit;  // bytes of a character of path and filename
  } listings[] = {{"GetArchiveInfo", kFileInfoBytes, 1},
                  {"GetArchiveInfoW", kWide ? 848u : 828u, 2}};
  for (const Listing& listing : listings) {
    SCOPED_TRACE(listing.name);
    HLOCAL list = nullptr;
    int result = listing.unit == 1 ? plugin.GetArchiveInfo(path.c_str(), 0, 0, &list)
                                   : plugin.GetArchiveInfoW(widePath.c_str(), 0, 0, &list);
    ASSERT_EQ(result, 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(platform::GlobalSize(list), 3 * listing.recordBytes);
    const auto* bytes = static_cast<const uint8_t*>(platform::GlobalLock(list));
    ASSERT_NE(bytes, nullptr);
    const size_t path_ = 8 + 4 * word, name = path_ + 200 * listing.unit,
                 crc = name + 200 * listing.unit;
    EXPECT_EQ(crc + 4 + (kWide ? 4 : 0), listing.recordBytes);
    const uint8_t* second = bytes + listing.recordBytes;
    EXPECT_EQ(memcmp(second, "IfKorvo", 8), 0);
    EXPECT_EQ(Field(second, 8, word), 12u + 1040u);  // position
    EXPECT_EQ(Field(second, 8 + word, word), 1040u);  // compsize
    EXPECT_EQ(Field(second, 8 + 2 * word, word), 1040u);  // filesize
    EXPECT_EQ(Field(second, 8 + 3 * word, word), static_cast<uint64_t>(kDate));  // timestamp
    for (size_t i = path_; i < name; ++i) EXPECT_EQ(second[i], 0) << "path byte " << i;
    const char kName[] = "0000041C.QKZ";
    for (size_t i = 0; i < sizeof kName; ++i)
      EXPECT_EQ(Field(second, name + i * listing.unit, listing.unit),
                static_cast<uint64_t>(kName[i]))
          << "name character " << i;
    for (size_t i = name + sizeof kName * listing.unit; i < crc; ++i)
      EXPECT_EQ(second[i], 0) << "name padding byte " << i;
    for (size_t i = crc; i < listing.recordBytes; ++i) EXPECT_EQ(second[i], 0) << "crc/pad " << i;
    for (size_t i = 0; i < listing.recordBytes; ++i)
      EXPECT_EQ(bytes[2 * listing.recordBytes + i], 0) << "end record byte " << i;
    platform::GlobalUnlock(list);
    platform::GlobalFree(list);
  }
}

}  // namespace
