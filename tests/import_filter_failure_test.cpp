// Every way IFKORVO refuses a file or a memory image: the exact result code
// of each export and the reason the filter's logic gives for it, nothing
// stored through the host's pointers, no block left alive, and no allocation
// at all for a picture that is not one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host-contract/host_contract.h"
#include "import-filter/decode_picture.h"
#include "import-filter/picture_info.h"
#include "tests/support/failure_print.h"
#include "tests/support/host_blocks.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/test_pictures.h"
#include "tests/support/untouched.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

using korvo::Failure;
using korvo::PictureInfo;

const korvo::LoadedPlugin& Filter() { return BuiltPlugin("IFKORVO"); }


#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

// No allocations counted where the hooks count none.
long AllocationsSoFar() { return TestHooks().calls[platform::kOpAlloc]; }

Bytes WithoutLastByte(Bytes bytes) {
  bytes.pop_back();
  return bytes;
}

// The three exports on one input, with the host's out-locations checked, and
// the reason the linked description or decode gives where the export fails.
struct Codes {
  int isSupported, getPictureInfo, getPicture;
  Failure reason;
};

void ExpectCodes(LPCSTR buf, ULONG_PTR dw, LONG_PTR len, unsigned flag, const Codes& expected) {
  const long live = LiveBlocks();
  const long allocations = AllocationsSoFar();
  EXPECT_EQ(Filter().IsSupported(buf, dw), expected.isSupported) << "IsSupported";

  PictureInfo info = Untouched<PictureInfo>();
  EXPECT_EQ(Filter().GetPictureInfo(buf, len, flag, &info), expected.getPictureInfo)
      << "GetPictureInfo";
  if (expected.getPictureInfo != 0) {
    EXPECT_TRUE(IsUntouched(info)) << "a failed call wrote the record";
  }

  HLOCAL bitmapInfo = kUntouched, pixels = kUntouched;
  EXPECT_EQ(Filter().GetPicture(buf, len, flag, &bitmapInfo, &pixels, nullptr, 0),
            expected.getPicture)
      << "GetPicture";
  if (expected.getPicture == 0) {
    FreeBlock(bitmapInfo);
    FreeBlock(pixels);
  } else {
    EXPECT_EQ(bitmapInfo, kUntouched) << "a failed call stored the BITMAPINFO handle";
    EXPECT_EQ(pixels, kUntouched) << "a failed call stored the pixel handle";
    // Only a file that ends inside its rows is refused after allocating.
    if (expected.getPicture != 6) {
      EXPECT_EQ(AllocationsSoFar(), allocations) << "allocated for a picture it refuses";
    }
  }

  if (expected.getPictureInfo != 0) {
    EXPECT_EQ(korvo::DescribePicture(buf, len, flag, &info), expected.reason) << "description";
  }
  if (expected.getPicture != 0) {
    EXPECT_EQ(korvo::DecodePicture(buf, len, flag, &bitmapInfo, &pixels), expected.reason)
        << "decode";
  }
  EXPECT_EQ(LiveBlocks(), live) << "a block was left alive";
}

TEST(ImportFilterFileFailureTest, EachConditionGetsItsCodes) {
  MakeFolder(ScratchDirectory() + "folder.QKZ");
  const Bytes good = MakeQkzPicture(5, 3);
  struct Case {
    const char* name;
    bool exists;
    Bytes bytes;
    Codes codes;
  } cases[] = {
      {"lower.qkz", true, good, {0, 2, 2, Failure::kWrongExtension}},
      {"mixed.Qkz", true, good, {0, 2, 2, Failure::kWrongExtension}},
      {"noextension", true, good, {0, 2, 2, Failure::kWrongExtension}},
      {"dotted.QKZ.bak", true, good, {0, 2, 2, Failure::kWrongExtension}},
      {"missing.QKZ", false, {}, {0, 2, 2, Failure::kPictureFileCannotOpen}},
      {"folder.QKZ", false, {}, {0, 2, 2, Failure::kPictureFileCannotOpen}},  // a folder, not a file
      {"empty.QKZ", true, {}, {0, 2, 2, Failure::kHeadTooShort}},
      {"short.QKZ", true, WithoutLastByte(MakeQkzHead(5, 3)), {0, 2, 2, Failure::kHeadTooShort}},
      {"zerowidth.QKZ", true, MakeQkzPicture(0, 3), {0, 2, 2, Failure::kNotQkzHead}},
      {"zeroheight.QKZ", true, MakeQkzHead(5, 0), {0, 2, 2, Failure::kNotQkzHead}},
      {"topwidth.QKZ", true, MakeQkzHead(0x80000000u, 1), {0, 2, 2, Failure::kNotQkzHead}},
      {"topheight.QKZ", true, MakeQkzHead(4, 0x80000000u), {0, 2, 2, Failure::kNotQkzHead}},
      {"over4gib.QKZ", true, MakeQkzHead(0x10000, 0x10000), {0, 2, 2, Failure::kNotQkzHead}},
      {"headonly.QKZ", true, MakeQkzHead(5, 3), {1, 0, 6, Failure::kFileEndsEarly}},
      {"oneshort.QKZ", true, WithoutLastByte(good), {1, 0, 6, Failure::kFileEndsEarly}},
      {"good.QKZ", true, good, {1, 0, 0, Failure::kNone}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = ScratchDirectory() + c.name;
    if (c.exists) path = WriteScratchFile(c.name, c.bytes);
    for (ULONG_PTR dw : {ULONG_PTR{0}, ULONG_PTR{0x1234}, ULONG_PTR{0xFFFF}}) {
      SCOPED_TRACE(testing::Message() << "dw " << dw);
      ExpectCodes(path.c_str(), dw, 0, 0, c.codes);
    }
  }
}

TEST(ImportFilterFileFailureTest, OnlyADotInTheLastComponentCounts) {
  const Bytes good = MakeQkzPicture(1, 1);
  const std::string folder = MakeFolder(ScratchDirectory() + "pictures.QKZ");
  const std::string plain = folder + kSeparator + "picture";
  WriteScratchFile(std::string("pictures.QKZ") + kSeparator + "picture", good);
  ExpectCodes(plain.c_str(), 0, 0, 0, {0, 2, 2, Failure::kWrongExtension});
  const std::string inside = WriteScratchFile(std::string("pictures.QKZ") + kSeparator + "in.QKZ",
                                              good);
  ExpectCodes(inside.c_str(), 0, 0, 0, {1, 0, 0, Failure::kNone});
}

TEST(ImportFilterMemoryFailureTest, EachConditionGetsItsCodes) {
  const Bytes good = MakeQkzPicture(5, 3);
  const LONG_PTR size = static_cast<LONG_PTR>(good.size());
  struct Case {
    const char* what;
    Bytes bytes;
    LONG_PTR len;
    Codes codes;
  } cases[] = {
      {"width 0", MakeQkzPicture(0, 3), 0, {0, 2, -1, Failure::kNotQkzHead}},
      {"height 0", MakeQkzHead(5, 0), 0, {0, 2, -1, Failure::kNotQkzHead}},
      {"top bit of width", MakeQkzHead(0x80000000u, 1), 0, {0, 2, -1, Failure::kNotQkzHead}},
      {"top bit of height", MakeQkzHead(4, 0xFFFFFFFFu), 0, {0, 2, -1, Failure::kNotQkzHead}},
      {"4 GiB", MakeQkzHead(0x10000, 0x10000), 0, {0, 2, -1, Failure::kNotQkzHead}},
      {"no length", good, 0, {1, 0, 0, Failure::kNone}},
      {"negative length", good, -1, {1, 0, 0, Failure::kNone}},
      {"exact length", good, size, {1, 0, 0, Failure::kNone}},
      {"longer length", good, size + 100, {1, 0, 0, Failure::kNone}},
      {"one byte short", good, size - 1, {1, 0, -1, Failure::kImageShorterThanPicture}},
      {"head only", good, 1032, {1, 0, -1, Failure::kImageShorterThanPicture}},
      {"head one byte short", good, 1031, {1, 2, -1, Failure::kHeadTooShort}},
      {"one byte", good, 1, {1, 2, -1, Failure::kHeadTooShort}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The image holds exactly what len says, so that a read past it shows
    // under the address sanitizer; IsSupported gets the whole buffer, as a
    // host gives it at least the first 1032 bytes of a file.
    Bytes image = c.bytes;
    if (c.len > 0 && static_cast<size_t>(c.len) < image.size()) image.resize(c.len);
    const Bytes& head = c.bytes;
    EXPECT_EQ(Filter().IsSupported("", reinterpret_cast<ULONG_PTR>(head.data())),
              c.codes.isSupported);
    EXPECT_EQ(Filter().IsSupported("other.txt", reinterpret_cast<ULONG_PTR>(head.data())),
              c.codes.isSupported);
    ExpectCodes(reinterpret_cast<LPCSTR>(image.data()), reinterpret_cast<ULONG_PTR>(head.data()),
                c.len, 1, c.codes);
  }
  PictureInfo info;
  EXPECT_EQ(Filter().GetPictureInfo(nullptr, 0, 1, &info), 2);
  HLOCAL bitmapInfo = kUntouched, pixels = kUntouched;
  EXPECT_EQ(Filter().GetPicture(nullptr, 0, 1, &bitmapInfo, &pixels, nullptr, 0), -1);
  EXPECT_EQ(Filter().GetPicture(nullptr, 0, 0, &bitmapInfo, &pixels, nullptr, 0), 2);
  EXPECT_EQ(bitmapInfo, kUntouched);
  EXPECT_EQ(pixels, kUntouched);
  // Why, in the linked logic: no image at address 0, and a null file name
  // has no ".QKZ".
  EXPECT_EQ(korvo::DescribePicture(static_cast<LPCSTR>(nullptr), 0, 1, &info), Failure::kNullImage);
  EXPECT_EQ(korvo::DecodePicture(static_cast<LPCSTR>(nullptr), 0, 1, &bitmapInfo, &pixels),
            Failure::kNullImage);
  EXPECT_EQ(korvo::DecodePicture(static_cast<LPCSTR>(nullptr), 0, 0, &bitmapInfo, &pixels),
            Failure::kWrongExtension);

  // Nowhere to store the result: refused as input that is not taken, before
  // anything is read, from memory and from a file alike.
  const std::string file = WriteScratchFile("nowhere.QKZ", good);
  struct NullCase {
    LPCSTR buf;
    unsigned flag;
    int getPictureInfo, getPicture;
  } nullCases[] = {{reinterpret_cast<LPCSTR>(good.data()), 1, 2, -1}, {file.c_str(), 0, 2, 2}};
  for (const NullCase& c : nullCases) {
    SCOPED_TRACE(testing::Message() << "flag " << c.flag);
    const long live = LiveBlocks();
    EXPECT_EQ(Filter().GetPictureInfo(c.buf, 0, c.flag, nullptr), c.getPictureInfo);
    EXPECT_EQ(korvo::DescribePicture(c.buf, 0, c.flag, nullptr), Failure::kNullOutput);
    for (int missing = 0; missing < 3; ++missing) {
      HLOCAL slot = kUntouched;
      HLOCAL* infoSlot = missing == 1 ? &slot : nullptr;
      HLOCAL* pixelSlot = missing == 0 ? &slot : nullptr;
      EXPECT_EQ(Filter().GetPicture(c.buf, 0, c.flag, infoSlot, pixelSlot, nullptr, 0),
                c.getPicture);
      EXPECT_EQ(korvo::DecodePicture(c.buf, 0, c.flag, infoSlot, pixelSlot),
                Failure::kNullOutput);
      EXPECT_EQ(slot, kUntouched) << "stored through the one slot given";
    }
    EXPECT_EQ(LiveBlocks(), live);
  }
}

// Another party holds the file open for writing: the filter, which shares
// only reading, cannot open it.
class WriterHold {
 public:
  explicit WriterHold(const std::string& path) {
#ifdef _WIN32
    handle_ = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    held_ = handle_ != INVALID_HANDLE_VALUE;
#else
    fd_ = open(path.c_str(), O_RDWR);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    held_ = fd_ >= 0 && fcntl(fd_, F_OFD_SETLK, &lock) == 0;
#endif
  }
  ~WriterHold() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#else
    if (fd_ >= 0) close(fd_);
#endif
  }
  bool held() const { return held_; }

 private:
  bool held_ = false;
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
};

TEST(ImportFilterFileFailureTest, AFileHeldOpenForWritingCannotBeOpened) {
  const std::string path = WriteScratchFile("held.QKZ", MakeQkzPicture(3, 2));
  {
    WriterHold writer(path);
    ASSERT_TRUE(writer.held());
    ExpectCodes(path.c_str(), 0, 0, 0, {0, 2, 2, Failure::kPictureFileCannotOpen});
  }
  ExpectCodes(path.c_str(), 0, 0, 0, {1, 0, 0, Failure::kNone});
}

}  // namespace
