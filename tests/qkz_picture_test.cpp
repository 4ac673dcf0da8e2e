// The QKZ picture format: which heads are pictures, their sizes, the palette
// and row orders, and the writer's exact bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/little_endian.h"
#include "qkz-picture/qkz_picture.h"
#include "tests/support/test_files.h"

namespace {

using korvo::QkzGeometry;

TEST(QkzGeometryTest, AcceptsOnlyPicturesWithin32Bits) {
  using V = korvo::QkzHeadVerdict;
  struct Case {
    uint32_t width, height;
    bool valid;
    uint32_t stride, size;
    korvo::QkzHeadVerdict verdict;
  } cases[] = {
      {0, 1, false, 0, 0, V::kNotAPicture},
      {1, 0, false, 0, 0, V::kNotAPicture},
      {0, 0, false, 0, 0, V::kNotAPicture},
      {1, 1, true, 4, 1036, V::kPicture},
      {3, 2, true, 4, 1040, V::kPicture},
      {5, 3, true, 8, 1056, V::kPicture},
      {639, 480, true, 640, 1032 + 640 * 480, V::kPicture},
      {0x80000000u, 1, false, 0, 0, V::kTooLarge},  // the host would read a negative width
      {1, 0x80000000u, false, 0, 0, V::kTooLarge},
      {0xFFFFFFFFu, 1, false, 0, 0, V::kTooLarge},  // RowStride would wrap to 0
      {0x7FFFFFFFu, 1, true, 0x80000000u, 0x80000000u + 1032, V::kPicture},
      {0x10000, 0x10000, false, 0, 0, V::kTooLarge},            // 2^32 bytes of rows
      {4, 1073741565, true, 4, 4294967292u, V::kPicture},      // the largest that fits
      {4, 1073741566, false, 0, 0, V::kTooLarge},               // 2^32 bytes in all
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    QkzGeometry geometry = {};
    ASSERT_EQ(korvo::QkzGeometryOf(c.width, c.height, &geometry), c.valid);
    uint8_t head[8];
    korvo::WriteLe32(head, c.width);
    korvo::WriteLe32(head + 4, c.height);
    EXPECT_EQ(korvo::IsQkzHead(head), c.valid);
    QkzGeometry judged = {};
    EXPECT_EQ(korvo::JudgeQkzHead(head, &judged), c.verdict);
    if (!c.valid) continue;
    EXPECT_EQ(geometry.width, c.width);
    EXPECT_EQ(geometry.height, c.height);
    EXPECT_EQ(geometry.stride, c.stride);
    EXPECT_EQ(geometry.pictureSize, c.size);
    EXPECT_EQ(geometry.rowBytes, c.size - 1032);
  }
  EXPECT_EQ(korvo::QkzPictureSize(0xFFFFFFFFu, 2), 1032 + 2 * 0x100000000ull);
}

TEST(QkzGeometryTest, ReadsLittleEndianSizes) {
  const uint8_t head[8] = {0x05, 0x01, 0, 0, 0x03, 0, 0, 0};
  QkzGeometry geometry = {};
  ASSERT_TRUE(korvo::ReadQkzGeometry(head, &geometry));
  EXPECT_EQ(geometry.width, 0x105u);
  EXPECT_EQ(geometry.height, 3u);
  EXPECT_EQ(korvo::ReadLe16(head), 0x105u);
}

TEST(QkzPaletteTest, ReversesEachEntryIntoTheColourTableAndDropsTheFourthByte) {
  std::vector<uint8_t> palette(1024), colours(1024, 0xCC);
  for (int i = 0; i < 256; ++i) {
    palette[4 * i] = static_cast<uint8_t>(i);
    palette[4 * i + 1] = static_cast<uint8_t>(i ^ 0x55);
    palette[4 * i + 2] = static_cast<uint8_t>(255 - i);
    palette[4 * i + 3] = 0xFF;
  }
  palette[4] = 0x10, palette[5] = 0x20, palette[6] = 0x30;
  korvo::PaletteToColourTable(palette.data(), colours.data());
  std::vector<uint8_t> triples(768, 0xCC);
  korvo::PaletteToRgbTriples(palette.data(), triples.data());
  EXPECT_EQ(triples[3], 0x10);
  EXPECT_EQ(triples[4], 0x20);
  EXPECT_EQ(triples[5], 0x30);
  EXPECT_EQ(colours[4], 0x30);
  EXPECT_EQ(colours[5], 0x20);
  EXPECT_EQ(colours[6], 0x10);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(colours[4 * i], palette[4 * i + 2]) << i;
    EXPECT_EQ(colours[4 * i + 1], palette[4 * i + 1]) << i;
    EXPECT_EQ(colours[4 * i + 2], palette[4 * i]) << i;
    EXPECT_EQ(colours[4 * i + 3], 0) << i;
    EXPECT_EQ(0, memcmp(&triples[3 * i], &palette[4 * i], 3)) << i;
  }
}

TEST(QkzRowsTest, StoresTheTopRowLastWithItsFillBytes) {
  QkzGeometry geometry = {};
  ASSERT_TRUE(korvo::QkzGeometryOf(3, 2, &geometry));
  const uint8_t rows[8] = {1, 2, 3, 0xF1, 4, 5, 6, 0xF2};
  uint8_t pixels[8] = {};
  korvo::CopyRowsBottomUp(geometry, rows, pixels);
  const uint8_t expected[8] = {4, 5, 6, 0xF2, 1, 2, 3, 0xF1};
  EXPECT_EQ(memcmp(pixels, expected, 8), 0);
  EXPECT_EQ(korvo::BottomUpRowOffset(geometry, 0), 4u);
  EXPECT_EQ(korvo::BottomUpRowOffset(geometry, 1), 0u);
}

// The expected bytes of a 5 x 2 picture, built by hand.
Bytes HandBuiltPicture(const uint8_t* rows) {
  Bytes bytes;
  AppendLe32(bytes, 5);
  AppendLe32(bytes, 2);
  for (int i = 0; i < 256; ++i) {
    bytes.push_back(static_cast<uint8_t>(i));
    bytes.push_back(static_cast<uint8_t>(2 * i));
    bytes.push_back(static_cast<uint8_t>(3 * i));
    bytes.push_back(0);
  }
  bytes.insert(bytes.end(), rows, rows + 16);
  return bytes;
}

TEST(QkzWriterTest, WritesTheHeadFromStoredTriples) {
  uint8_t triples[768], rows[16];
  for (int i = 0; i < 256; ++i) {
    uint8_t rgb[3] = {static_cast<uint8_t>(i), static_cast<uint8_t>(2 * i),
                      static_cast<uint8_t>(3 * i)};
    memcpy(triples + 3 * i, rgb, 3);
  }
  for (int i = 0; i < 16; ++i) rows[i] = static_cast<uint8_t>(0xE0 + i);
  const Bytes expected = HandBuiltPicture(rows);
  ASSERT_EQ(expected.size(), korvo::QkzPictureSize(5, 2));

  Bytes head(korvo::kQkzHeadSize + 1, 0x77);
  korvo::WriteQkzHeadFromTriples(5, 2, triples, head.data());
  EXPECT_EQ(Bytes(head.begin(), head.end() - 1), Bytes(expected.begin(), expected.begin() + 1032));
  EXPECT_EQ(head.back(), 0x77) << "wrote past the head";
}

}  // namespace
