#include "import-filter/decode_picture.h"

#include "host-contract/block_owner.h"
#include "host-contract/scope_guard.h"
#include "import-filter/bitmap_info.h"
#include "import-filter/memory_input.h"
#include "import-filter/picture_file.h"
#include "import-filter/support_check.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {
namespace {

// The handles of one decode: owned until both are handed over together on
// success, freed together on any other way out.
struct DecodedBlocks {
  BlockOwner info;
  BlockOwner pixels;
};

void HandOverBoth(DecodedBlocks& blocks, HLOCAL* pHBInfo, HLOCAL* pHBm) {
  HandOver(&blocks.info, pHBInfo);
  HandOver(&blocks.pixels, pHBm);
}

// Allocates the pixel block (not zero-filled: every byte is written) and locks
// it: kNone with *pixels pointing into it, or kNoMemory.
Failure AllocatePixelBlock(const QkzGeometry& geometry, DecodedBlocks& blocks, uint8_t** pixels) {
  *pixels = static_cast<uint8_t*>(AllocateAndLock(&blocks.pixels, GMEM_MOVEABLE, geometry.rowBytes));
  return *pixels == nullptr ? Failure::kNoMemory : Failure::kNone;
}

// Reads the rows, which follow the head, into the pixel block with one read, then turns them bottom-up in place: the same
// bytes as a read per row straight into its place, without a system call per
// row (a tall, narrow picture would otherwise cost millions). kNone, or
// kFileEndsEarly when the file ends inside the rows. Nothing behind the last
// row is read.
Failure ReadRowsBottomUp(HANDLE file, const QkzGeometry& geometry, uint8_t* pixels) {
  if (!ReadExactly(file, kQkzRowsOffset, pixels, geometry.rowBytes)) return Failure::kFileEndsEarly;
  ReverseRowOrder(geometry, pixels);
  return Failure::kNone;
}

Failure DecodeMemoryImage(const uint8_t* image, LONG_PTR len, HLOCAL* pHBInfo, HLOCAL* pHBm) {
  QkzGeometry geometry;
  Failure failure = ReadMemoryImageGeometry(image, len, &geometry);
  if (failure != Failure::kNone) return failure;
  if (!MemoryImageHolds(len, geometry.pictureSize)) return Failure::kImageShorterThanPicture;
  DecodedBlocks blocks;
  failure = BuildBitmapInfo(image, geometry, &blocks.info);
  if (failure != Failure::kNone) return failure;
  uint8_t* pixels = nullptr;
  failure = AllocatePixelBlock(geometry, blocks, &pixels);
  if (failure != Failure::kNone) return failure;
  CopyRowsBottomUp(geometry, image + kQkzRowsOffset, pixels);
  HandOverBoth(blocks, pHBInfo, pHBm);
  return Failure::kNone;
}

Failure DecodeFile(const HostPath& name, HLOCAL* pHBInfo, HLOCAL* pHBm) {
  // The blocks are declared first, so that the file is closed before they
  // are freed.
  DecodedBlocks blocks;
  HANDLE file = INVALID_HANDLE_VALUE;
  ScopeExit close([&] { ClosePictureFile(file); });
  // The support test's open and head serve the decode: the sizes come from
  // the head that passed the test, and the rows follow it in the same file.
  uint8_t head[kQkzHeadSize];
  QkzGeometry geometry;
  Failure failure = OpenQkzFile(name, &file, head, &geometry);
  if (failure != Failure::kNone) return failure;
  // A file that ends inside its rows fails when they are read. Found out
  // first, it costs nothing: a head of a few bytes may claim nearly 4 GiB of
  // rows, and a viewer offers every file it browses to the filter.
  if (!FileCanHold(file, geometry.pictureSize)) return Failure::kFileEndsEarly;
  failure = BuildBitmapInfo(head, geometry, &blocks.info);
  if (failure != Failure::kNone) return failure;
  uint8_t* pixels = nullptr;
  failure = AllocatePixelBlock(geometry, blocks, &pixels);
  if (failure != Failure::kNone) return failure;
  failure = ReadRowsBottomUp(file, geometry, pixels);
  if (failure != Failure::kNone) return failure;
  HandOverBoth(blocks, pHBInfo, pHBm);
  return Failure::kNone;
}

}  // namespace

template <typename Unit>
Failure DecodePicture(const Unit* buf, LONG_PTR len, unsigned flag, HLOCAL* pHBInfo,
                      HLOCAL* pHBm) {
  if (pHBInfo == nullptr || pHBm == nullptr) return Failure::kNullOutput;
  if (flag & kFlagMemoryInput)
    return DecodeMemoryImage(reinterpret_cast<const uint8_t*>(buf), len, pHBInfo, pHBm);
  return DecodeFile(buf, pHBInfo, pHBm);
}

template Failure DecodePicture(const char*, LONG_PTR, unsigned, HLOCAL*, HLOCAL*);
template Failure DecodePicture(const WCHAR*, LONG_PTR, unsigned, HLOCAL*, HLOCAL*);

int DecodeResultCode(Failure failure, unsigned flag) {
  return (flag & kFlagMemoryInput) ? MemoryDecodeResultCodeOf(failure) : ResultCodeOf(failure);
}

}  // namespace korvo
