// An oracle keeps its own rules, written independently of the code it checks.
#include "fuzz/filter_oracle.h"

#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host-contract/host_contract.h"
#include "import-filter/decode_picture.h"
#include "import-filter/picture_info.h"
#include "import-filter/support_check.h"
#include "tests/support/untouched.h"

namespace fuzz {
namespace {

constexpr size_t kHead = 1032;
constexpr size_t kBitmapInfoBytes = 40 + 4 * 256;

void CheckPictureInfo(const korvo::PictureInfo& info, const ExpectedPicture& picture) {
  FUZZ_CHECK(info.left == 0 && info.top == 0);
  FUZZ_CHECK(static_cast<uint32_t>(info.width) == picture.width);
  FUZZ_CHECK(static_cast<uint32_t>(info.height) == picture.height);
  FUZZ_CHECK(info.x_density == 0 && info.y_density == 0);
  FUZZ_CHECK(info.colorDepth == 8 && info.hInfo == nullptr);
}

// The two handed-over blocks against the picture they came from: the header,
// every colour and every row, bottom-up, fill bytes included.
void CheckDecoded(const uint8_t* data, const ExpectedPicture& picture, HLOCAL info,
                  HLOCAL pixels) {
  FUZZ_CHECK(info != nullptr && pixels != nullptr);
  FUZZ_CHECK(LockCount(info) == 0 && LockCount(pixels) == 0);
  Bytes header = BlockBytes(info);
  FUZZ_CHECK(header.size() == kBitmapInfoBytes);
  const uint32_t expected[] = {40, picture.width, picture.height, 1 | 8u << 16, 0, 0, 0, 0, 0, 0};
  for (size_t field = 0; field < sizeof expected / sizeof expected[0]; ++field)
    FUZZ_CHECK(ReadLe32(&header[4 * field]) == expected[field]);
  for (size_t i = 0; i < 256; ++i) {
    const uint8_t* entry = data + 8 + 4 * i;
    const uint8_t* colour = &header[40 + 4 * i];
    FUZZ_CHECK(colour[0] == entry[2] && colour[1] == entry[1] && colour[2] == entry[0]);
    FUZZ_CHECK(colour[3] == 0);
  }
  Bytes rows = BlockBytes(pixels);
  FUZZ_CHECK(rows.size() == uint64_t{picture.stride} * picture.height);
  for (uint32_t r = 0; r < picture.height; ++r)
    FUZZ_CHECK(memcmp(&rows[size_t{picture.height - 1 - r} * picture.stride],
                      data + kHead + size_t{r} * picture.stride, picture.stride) == 0);
}

// GetPicture's answer: on 0 the blocks are checked and freed, otherwise the
// host's locations must be as they were.
void CheckGetPicture(int result, int expected, const uint8_t* data,
                     const ExpectedPicture& picture, HLOCAL info, HLOCAL pixels) {
  FUZZ_CHECK(result == expected);
  if (result != 0) {
    FUZZ_CHECK(info == kUntouched && pixels == kUntouched);
    return;
  }
  CheckDecoded(data, picture, info, pixels);
  platform::GlobalFree(info);
  platform::GlobalFree(pixels);
}

}  // namespace

ExpectedPicture ExpectPicture(const uint8_t* data, size_t size) {
  ExpectedPicture picture;
  if (size < 8) return picture;
  picture.width = ReadLe32(data);
  picture.height = ReadLe32(data + 4);
  picture.stride = static_cast<uint32_t>((uint64_t{picture.width} + 3) & ~uint64_t{3});
  picture.size = kHead + uint64_t{picture.stride} * picture.height;
  picture.valid = picture.width != 0 && picture.height != 0 && picture.width < 0x80000000u &&
                  picture.height < 0x80000000u && picture.size <= 0xFFFFFFFFu;
  return picture;
}

void CheckFilterOnMemory(const uint8_t* data, size_t size) {
  const long live = Hooks().liveBlocks;
  // The host hands IsSupported at least the head's 1032 bytes.
  std::vector<uint8_t> first(data, data + size);
  if (first.size() < kHead) first.resize(kHead, 0);
  const ExpectedPicture head = ExpectPicture(first.data(), first.size());
  FUZZ_CHECK(korvo::CheckSupport("", reinterpret_cast<ULONG_PTR>(first.data())) == head.valid);

  // A `len` of 0 would say "no length given", so an empty image stops here.
  if (size == 0) return;
  const ExpectedPicture picture = ExpectPicture(data, size);
  const auto* buf = reinterpret_cast<LPCSTR>(data);
  const auto len = static_cast<LONG_PTR>(size);
  korvo::PictureInfo info = Untouched<korvo::PictureInfo>();
  const bool described = picture.valid && size >= kHead;
  FUZZ_CHECK(korvo::ResultCodeOf(korvo::DescribePicture(buf, len, korvo::kFlagMemoryInput,
                                                         &info)) == (described ? 0 : 2));
  if (described) CheckPictureInfo(info, picture);

  HLOCAL bitmapInfo = kUntouched, pixels = kUntouched;
  int result = korvo::DecodeResultCode(
      korvo::DecodePicture(buf, len, korvo::kFlagMemoryInput, &bitmapInfo, &pixels),
      korvo::kFlagMemoryInput);
  const bool whole = described && size >= picture.size;
  CheckGetPicture(result, whole ? 0 : -1, data, picture, bitmapInfo, pixels);
  FUZZ_CHECK(Hooks().liveBlocks == live);
}

void CheckFilterOnFile(const char* path, const uint8_t* data, size_t size) {
  const long live = Hooks().liveBlocks;
  ServeFile(path, data, size);
  const ExpectedPicture picture = ExpectPicture(data, size);
  const bool supported = picture.valid && size >= kHead;
  FUZZ_CHECK(korvo::CheckSupport(path, 0) == supported);

  korvo::PictureInfo info = Untouched<korvo::PictureInfo>();
  FUZZ_CHECK(korvo::ResultCodeOf(korvo::DescribePicture(path, 0, 0, &info)) ==
             (supported ? 0 : 2));
  if (supported) CheckPictureInfo(info, picture);

  // A decode holds the BITMAPINFO block and a pixel block the file must
  // have filled: nothing is reserved for rows the file does not hold.
  HLOCAL bitmapInfo = kUntouched, pixels = kUntouched;
  Hooks().peakLiveBytes = Hooks().liveBytes.load();
  const long long before = Hooks().liveBytes;
  int result = korvo::DecodeResultCode(korvo::DecodePicture(path, 0, 0, &bitmapInfo, &pixels), 0);
  FUZZ_CHECK(Hooks().peakLiveBytes - before <= static_cast<long long>(kBitmapInfoBytes + size));
  const int expected = !supported ? 2 : size < picture.size ? 6 : 0;
  CheckGetPicture(result, expected, data, picture, bitmapInfo, pixels);
  FUZZ_CHECK(Hooks().liveBlocks == live);
}

}  // namespace fuzz
