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
// it: 0 with *pixels pointing into it, or 4.
int AllocatePixelBlock(const QkzGeometry& geometry, DecodedBlocks& blocks, uint8_t** pixels) {
  *pixels = static_cast<uint8_t*>(AllocateAndLock(&blocks.pixels, GMEM_MOVEABLE, geometry.rowBytes));
  return *pixels == nullptr ? kResultMemoryError : kResultSuccess;
}

// Reads the rows from the file's current position (the first row) into the
// pixel block with one read, then turns them bottom-up in place: the same
// bytes as a read per row straight into its place, without a system call per
// row (a tall, narrow picture would otherwise cost millions). 0, or 6 when
// the file ends inside the rows. Nothing behind the last row is read.
int ReadRowsBottomUp(HANDLE file, const QkzGeometry& geometry, uint8_t* pixels) {
  if (!ReadExactly(file, pixels, geometry.rowBytes)) return kResultFileError;
  ReverseRowOrder(geometry, pixels);
  return kResultSuccess;
}

int DecodeMemoryImage(const uint8_t* image, LONG_PTR len, HLOCAL* pHBInfo, HLOCAL* pHBm) {
  QkzGeometry geometry;
  if (image == nullptr || !MemoryImageHolds(len, kQkzHeadSize) ||
      !ReadQkzGeometry(image, &geometry) || !MemoryImageHolds(len, geometry.pictureSize))
    return kResultNotHandled;
  DecodedBlocks blocks;
  int result = BuildBitmapInfo(image, geometry, &blocks.info);
  if (result != kResultSuccess) return result;
  uint8_t* pixels = nullptr;
  result = AllocatePixelBlock(geometry, blocks, &pixels);
  if (result != kResultSuccess) return result;
  CopyRowsBottomUp(geometry, image + kQkzRowsOffset, pixels);
  HandOverBoth(blocks, pHBInfo, pHBm);
  return kResultSuccess;
}

int DecodeFile(const HostPath& name, HLOCAL* pHBInfo, HLOCAL* pHBm) {
  // The blocks are declared first, so that the file is closed before they
  // are freed.
  DecodedBlocks blocks;
  HANDLE file = INVALID_HANDLE_VALUE;
  ScopeExit close([&] { ClosePictureFile(file); });
  // The support test's open and head serve the decode: the sizes come from
  // the head that passed the test, and the rows follow it in the same file.
  uint8_t head[kQkzHeadSize];
  QkzGeometry geometry;
  if (!OpenQkzFile(name, &file, head, &geometry)) return kResultBadFormat;
  // A file that ends inside its rows fails with 6 when they are read. Found
  // out first, it costs nothing: a head of a few bytes may claim nearly 4 GiB
  // of rows, and a viewer offers every file it browses to the filter.
  if (!FileCanHold(file, geometry.pictureSize)) return kResultFileError;
  int result = BuildBitmapInfo(head, geometry, &blocks.info);
  if (result != kResultSuccess) return result;
  uint8_t* pixels = nullptr;
  result = AllocatePixelBlock(geometry, blocks, &pixels);
  if (result != kResultSuccess) return result;
  result = ReadRowsBottomUp(file, geometry, pixels);
  if (result != kResultSuccess) return result;
  HandOverBoth(blocks, pHBInfo, pHBm);
  return kResultSuccess;
}

}  // namespace

int DecodePicture(const HostPath& buf, LONG_PTR len, unsigned flag, HLOCAL* pHBInfo,
                  HLOCAL* pHBm) {
  const bool memoryInput = (flag & kFlagMemoryInput) != 0;
  if (pHBInfo == nullptr || pHBm == nullptr)
    return memoryInput ? kResultNotHandled : kResultBadFormat;
  if (memoryInput)
    return DecodeMemoryImage(static_cast<const uint8_t*>(MemoryAddress(buf)), len, pHBInfo, pHBm);
  return DecodeFile(buf, pHBInfo, pHBm);
}

}  // namespace korvo
