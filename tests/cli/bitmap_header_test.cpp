// korvo reads the BITMAPINFO blocks of any plug-in: every header size from
// 0 to 124 bytes, every biCompression and bit count, in blocks cut right
// behind the header, the masks or the colours. Each block is a vector of
// exactly its size, so a read past it shows under AddressSanitizer; what the
// reader accepts must fit its block and encode without reading past either.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/support/korvo_runs.h"
#include "tools/host/bitmaps.h"
#include "tools/host/plugin_loader.h"
#include "tools/korvo/pictures/bmp_file.h"
#include "tools/korvo/pictures/png_file.h"

namespace {

using korvo::Bytes;

void PutLe32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    if (at + i < bytes.size()) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(BitmapHeader, EverySizeCompressionAndDepthStaysInsideTheBlock) {
  const uint16_t depths[] = {0, 1, 2, 4, 8, 15, 16, 24, 32, 64};
  const uint32_t compressions[] = {0, 1, 2, 3, 4, 5, 6, 7, 11, 0xFFFFFFFF};
  size_t accepted = 0, bitfields = 0;
  for (uint32_t headerSize = 0; headerSize <= 124; ++headerSize)
    for (uint16_t depth : depths)
      for (uint32_t compression : compressions)
        for (uint32_t extra : {0u, 4u, 12u, 12u + 64u, 12u + 1024u}) {
          Bytes info(headerSize + extra, 0);
          PutLe32(info, 0, headerSize);
          PutLe32(info, 4, 3);                                   // width
          PutLe32(info, 8, depth % 2 == 0 ? 2 : uint32_t(-2));   // height, both row orders
          if (info.size() > 15) info[14] = static_cast<uint8_t>(depth), info[15] = static_cast<uint8_t>(depth >> 8);
          PutLe32(info, 16, compression);
          PutLe32(info, 32, extra == 4 ? 1 : 0);  // one colour used, or all
          PutLe32(info, 40, 0xF800);
          PutLe32(info, 44, 0x07E0);
          PutLe32(info, 48, 0x001F);
          korvo::BitmapLayout layout;
          std::string error;
          bool ok = korvo::ReadBitmapLayout(info.data(), info.size(), &layout, &error);
          SCOPED_TRACE("header " + std::to_string(headerSize) + " depth " + std::to_string(depth) +
                       " compression " + std::to_string(compression) + " block " +
                       std::to_string(info.size()));
          if (!ok) {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(error.find('\n'), std::string::npos);
            continue;
          }
          ++accepted;
          EXPECT_GE(headerSize, 40u);
          EXPECT_LE(layout.infoBytes, info.size());
          EXPECT_LE(uint64_t{layout.colourOffset} + 4ull * layout.colourCount, info.size());
          EXPECT_TRUE(compression == 0 || compression == 3) << error;
          if (compression == 3) {
            ++bitfields;
            EXPECT_GE(info.size(), 52u);
            EXPECT_EQ(layout.masks[1], 0x07E0u);
          }
          korvo::DecodedBitmap bitmap;
          bitmap.info = info;
          bitmap.pixels.assign(layout.pixelBytes, 0xA5);
          Bytes file;
          EXPECT_TRUE(korvo::EncodePng(bitmap, layout, &file, &error)) << error;
          file = korvo::EncodeBmp(bitmap, layout);
          EXPECT_EQ(file.size(), 14u + layout.infoBytes + layout.pixelBytes);
        }
  // Sizes 40 to 124 with each real depth uncompressed, and the 16- and
  // 32-bit ones with masks wherever the block holds them, are accepted.
  EXPECT_GT(accepted, 85u * 6u);
  EXPECT_GT(bitfields, 85u * 2u);
}

// Blocks a header cannot be read from, each refused with its own line.
TEST(BitmapHeader, MalformedBlocksAreRefused) {
  const struct {
    uint32_t headerSize, blockSize, compression;
    uint16_t depth;
    const char* error;
  } cases[] = {
      {40, 39, 0, 8, "too short"},
      {12, 40, 0, 8, "too short"},
      {0xFFFFFFFF, 64, 0, 24, "longer than its block"},
      {124, 100, 0, 24, "longer than its block"},
      {44, 44, 3, 16, "does not fit its block"},  // masks would end at 52
      {51, 51, 3, 32, "does not fit its block"},
      {40, 40 + 4 * 255, 0, 8, "does not fit its block"},  // one colour short
      {40, 40, 1, 8, "compressed (method 1)"},
      {40, 40, 3, 24, "compressed (method 3)"},
      {40, 40, 0, 2, "2 bits per pixel"},
  };
  for (const auto& c : cases) {
    Bytes info(c.blockSize, 0);
    PutLe32(info, 0, c.headerSize);
    PutLe32(info, 4, 1);
    PutLe32(info, 8, 1);
    if (info.size() > 15) info[14] = static_cast<uint8_t>(c.depth);
    PutLe32(info, 16, c.compression);
    korvo::BitmapLayout layout;
    std::string error;
    EXPECT_FALSE(korvo::ReadBitmapLayout(info.data(), info.size(), &layout, &error)) << c.error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

// Widths whose 32-bit row stride wraps to 4 bytes, and a valid top-down
// bitmap of 3 x 2 at 24 bits, handed to korvo by a foreign import filter
// with a pixel block of what the 32-bit stride would claim: each wrapping
// one is refused in one line and leaves no file, the valid one converts.
TEST(BitmapHeader, WrappingStridesFromAForeignPluginAreRefused) {
  const struct {
    uint32_t width;
    int32_t height;
    uint16_t depth;
    uint32_t pixelBlock;
  } cases[] = {{0x55555556, 1, 24, 4}, {0x40000001, 1, 32, 4}, {0x40000002, 1, 4, 4}, {3, -2, 24, 24}};
  const std::string folder = NewFolder("foreign");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " at " + std::to_string(c.depth));
    Bytes info(40, 0);
    PutLe32(info, 0, 40);
    PutLe32(info, 4, c.width);
    PutLe32(info, 8, static_cast<uint32_t>(c.height));
    info[14] = static_cast<uint8_t>(c.depth);
    korvo::BitmapLayout layout;
    std::string error;
    if (korvo::ReadBitmapLayout(info.data(), info.size(), &layout, &error)) {
      EXPECT_GE(uint64_t{layout.stride} * 8, uint64_t{c.width} * c.depth);  // no wrap
      EXPECT_GE(layout.pixelBytes, uint64_t{layout.stride} * layout.height);
    }
    Bytes file(8 + info.size() + c.pixelBlock);
    std::copy_n("WRAP", 4, file.begin());
    PutLe32(file, 4, 40);
    std::copy(info.begin(), info.end(), file.begin() + 8);
    for (uint32_t i = 0; i < c.pixelBlock; ++i) file[48 + i] = static_cast<uint8_t>(i);
    WriteBytes(folder + "in.WRP", file);
    RunResult run = RunKorvo({"--plugins", korvo::ExecutableDirectory() + "foreign-plugins", "convert",
                              folder + "in.WRP", "-o", folder + "out.bmp"});
    if (c.width == 3) {
      EXPECT_EQ(run.status, 0) << run.err;
      // The BMP carries the header, top-down height included, and the pixels.
      Bytes bmp = ReadBytes(folder + "out.bmp");
      ASSERT_EQ(bmp.size(), 14u + 40 + c.pixelBlock);
      EXPECT_TRUE(std::equal(file.begin() + 8, file.end(), bmp.begin() + 14));
      std::remove((folder + "out.bmp").c_str());
      // The filter exports no GetPictureInfo: korvo says so instead of calling it.
      RunResult described = RunKorvo({"--plugins", korvo::ExecutableDirectory() + "foreign-plugins", "info",
                                     folder + "in.WRP"});
      EXPECT_EQ(described.status, 1);
      EXPECT_NE(described.err.find("GetPictureInfo returned -1"), std::string::npos) << described.err;
      continue;
    }
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_FALSE(Exists(folder + "out.bmp"));
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"in.WRP"});
  }
}

}  // namespace
