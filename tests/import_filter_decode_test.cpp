// IFKORVO decoding as a host sees it: GetPicture and GetPictureInfo on files
// and memory images, checked byte by byte against the picture that went in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host-contract/host_contract.h"
#include "tests/support/bitmap_checks.h"
#include "tests/support/host_blocks.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/test_pictures.h"
#include "tests/support/untouched.h"

namespace {

using korvo::PictureInfo;

const korvo::LoadedPlugin& Filter() { return BuiltPlugin("IFKORVO"); }

struct Decoded {
  int result;
  HLOCAL info;
  HLOCAL pixels;
};

Decoded DecodeFile(const std::string& path, LONG_PTR len = 0) {
  Decoded decoded = {-100, nullptr, nullptr};
  decoded.result = Filter().GetPicture(path.c_str(), len, 0, &decoded.info, &decoded.pixels,
                                       nullptr, 0);
  return decoded;
}

Decoded DecodeMemory(const Bytes& image, LONG_PTR len = 0, unsigned flag = 1) {
  Decoded decoded = {-100, nullptr, nullptr};
  decoded.result = Filter().GetPicture(reinterpret_cast<LPCSTR>(image.data()), len, flag,
                                       &decoded.info, &decoded.pixels, nullptr, 0);
  return decoded;
}

void FreeDecoded(const Decoded& decoded) {
  FreeBlock(decoded.info);
  FreeBlock(decoded.pixels);
}

TEST(ImportFilterDecodeTest, FilesAndMemoryImagesDecodeToTheSameBitmap) {
  struct Case {
    uint32_t width, height;
  } cases[] = {{1, 1}, {3, 2}, {4, 3}, {5, 3}, {13, 7}, {640, 480}, {1, 300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    const Bytes picture = MakeQkzPicture(c.width, c.height);
    const std::string path =
        WriteScratchFile("decode" + std::to_string(c.width) + "x" + std::to_string(c.height) +
                             ".QKZ", picture);
    for (int input = 0; input < 3; ++input) {
      SCOPED_TRACE(testing::Message() << "input " << input);
      const long live = LiveBlocks();
      Decoded decoded = input == 0   ? DecodeFile(path)
                        : input == 1 ? DecodeMemory(picture)
                                     : DecodeMemory(picture, static_cast<LONG_PTR>(picture.size()));
      ASSERT_EQ(decoded.result, 0);
      // The plug-in's two blocks, counted by its instrumented platform layer
      // on every target: the leak checks below compare real counts.
      EXPECT_EQ(LiveBlocks(), live + 2);
      EXPECT_TRUE(BitmapIs(decoded.info, decoded.pixels, picture));
      FreeDecoded(decoded);
      EXPECT_EQ(LiveBlocks(), live);
    }
  }
}

TEST(ImportFilterDecodeTest, TrailingBytesLengthAndOtherFlagBitsChangeNothing) {
  const Bytes picture = MakeQkzPicture(5, 3, /*trailing=*/77);
  const std::string path = WriteScratchFile("trailing.QKZ", picture);
  for (LONG_PTR len : {LONG_PTR{0}, LONG_PTR{-1}, LONG_PTR{1}, LONG_PTR{1031}, LONG_PTR{123456}}) {
    SCOPED_TRACE(testing::Message() << "len " << len);
    Decoded decoded = DecodeFile(path, len);  // a file ignores len
    ASSERT_EQ(decoded.result, 0);
    EXPECT_TRUE(BitmapIs(decoded.info, decoded.pixels, picture));
    FreeDecoded(decoded);
  }
  // Memory input only tests bit 0 of flag; trailing bytes of the image are
  // never read into the bitmap.
  for (unsigned flag : {0x1u, 0x7u, 0xFFFFFF01u}) {
    Decoded decoded = DecodeMemory(picture, static_cast<LONG_PTR>(picture.size()), flag);
    ASSERT_EQ(decoded.result, 0) << flag;
    EXPECT_TRUE(BitmapIs(decoded.info, decoded.pixels, picture));
    FreeDecoded(decoded);
  }
}

TEST(ImportFilterDecodeTest, AllocatesExactlyTheBitmapInfoAndTheRows) {
  const Bytes picture = MakeQkzPicture(5, 3);
  const long long bytes = TestHooks().liveBytes;
  Decoded decoded = DecodeMemory(picture);
  ASSERT_EQ(decoded.result, 0);
  EXPECT_EQ(TestHooks().liveBytes - bytes, 1064 + 8 * 3);
  FreeDecoded(decoded);
}

int KORVO_API CancellingCallback(int, int, LONG_PTR lData) {
  ++*reinterpret_cast<int*>(lData);
  return 1;
}

TEST(ImportFilterDecodeTest, NeverConsultsTheProgressCallback) {
  const Bytes picture = MakeQkzPicture(3, 2);
  const std::string path = WriteScratchFile("callback.QKZ", picture);
  int calls = 0;
  for (unsigned flag : {0u, 1u}) {
    LPCSTR buf = flag ? reinterpret_cast<LPCSTR>(picture.data()) : path.c_str();
    HLOCAL info = nullptr, pixels = nullptr;
    ASSERT_EQ(Filter().GetPicture(buf, 0, flag, &info, &pixels, CancellingCallback,
                                  reinterpret_cast<LONG_PTR>(&calls)),
              0);
    EXPECT_TRUE(BitmapIs(info, pixels, picture));
    FreeBlock(info);
    FreeBlock(pixels);
  }
  EXPECT_EQ(calls, 0);
}

TEST(ImportFilterPictureInfoTest, DescribesFilesAndMemoryImagesWhateverLenHolds) {
  const Bytes picture = MakeQkzPicture(640, 480);
  const std::string path = WriteScratchFile("info640.QKZ", picture);
  const Bytes headOnly = MakeQkzHead(640, 480);  // GetPictureInfo reads only the head
  struct Case {
    LPCSTR buf;
    LONG_PTR len;
    unsigned flag;
  } cases[] = {
      {path.c_str(), 0, 0},
      {path.c_str(), -5, 0},
      {path.c_str(), 99, 0x80},
      {reinterpret_cast<LPCSTR>(picture.data()), 0, 1},
      {reinterpret_cast<LPCSTR>(headOnly.data()), 1032, 1},
      {reinterpret_cast<LPCSTR>(headOnly.data()), 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flag " << c.flag << " len " << c.len);
    PictureInfo info = Untouched<PictureInfo>();
    ASSERT_EQ(Filter().GetPictureInfo(c.buf, c.len, c.flag, &info), 0);
    EXPECT_EQ(info.left, 0);
    EXPECT_EQ(info.top, 0);
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(info.x_density, 0);
    EXPECT_EQ(info.y_density, 0);
    EXPECT_EQ(info.colorDepth, 8);
    EXPECT_EQ(info.hInfo, nullptr);
    PictureInfo expected;
    memset(&expected, 0, sizeof expected);  // the 64-bit record's padding too
    expected.width = 640;
    expected.height = 480;
    expected.colorDepth = 8;
    EXPECT_EQ(memcmp(&info, &expected, sizeof info), 0) << "a byte of the record is left undefined";
  }
}

}  // namespace
