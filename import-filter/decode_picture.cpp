#include "import-filter/decode_picture.h"

#include "host-contract/hand_over.h"
#include "import-filter/bitmap_info.h"
#include "import-filter/memory_input.h"
#include "import-filter/picture_file.h"
#include "import-filter/support_check.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {
namespace {

// The handles of one decode. Whatever way the decode ends, both are fully
// unlocked, then handed over together on 0 or freed together otherwise.
struct DecodedBlocks {
  HGLOBAL info = nullptr;
  HGLOBAL pixels = nullptr;
};

void ReleaseOrHandOver(DecodedBlocks& blocks, int result, HLOCAL* pHBInfo, HLOCAL* pHBm) {
  HandOverBlock(blocks.info, result, pHBInfo);
  HandOverBlock(blocks.pixels, result, pHBm);
}

// Allocates the pixel block (not zero-filled: every byte is written) and locks
// it: 0 with *pixels pointing into it, or 4.
int AllocatePixelBlock(const QkzGeometry& geometry, DecodedBlocks& blocks, uint8_t** pixels) {
  blocks.pixels = platform::GlobalAlloc(GMEM_MOVEABLE, geometry.rowBytes);
  if (blocks.pixels == nullptr) return kResultMemoryError;
  *pixels = static_cast<uint8_t*>(platform::GlobalLock(blocks.pixels));
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
  int result = kResultNotHandled;
  QkzGeometry geometry;
  if (image == nullptr || !MemoryImageHolds(len, kQkzHeadSize) ||
      !ReadQkzGeometry(image, &geometry) || !MemoryImageHolds(len, geometry.pictureSize))
    return result;
  DecodedBlocks blocks;
  ScopeExit release([&] { ReleaseOrHandOver(blocks, result, pHBInfo, pHBm); });
  result = BuildBitmapInfo(image, geometry, &blocks.info);
  if (result != kResultSuccess) return result;
  uint8_t* pixels = nullptr;
  result = AllocatePixelBlock(geometry, blocks, &pixels);
  if (result != kResultSuccess) return result;
  CopyRowsBottomUp(geometry, image + kQkzRowsOffset, pixels);
  return result;
}

int DecodeFile(const HostPath& name, HLOCAL* pHBInfo, HLOCAL* pHBm) {
  if (!IsQkzFile(name)) return kResultBadFormat;
  int result = kResultFileError;
  HANDLE file = INVALID_HANDLE_VALUE;
  DecodedBlocks blocks;
  ScopeExit release([&] {
    ClosePictureFile(file);
    ReleaseOrHandOver(blocks, result, pHBInfo, pHBm);
  });
  uint8_t head[kQkzHeadSize];
  result = OpenAndReadHead(name, &file, head);
  if (result != kResultSuccess) return result;
  // The sizes come from this read: the file may have changed since the
  // support test, and nothing is allocated for a head that fails the test.
  QkzGeometry geometry;
  if (!ReadQkzGeometry(head, &geometry)) return result = kResultBadFormat;
  // A file that ends inside its rows fails with 6 when they are read. Found
  // out first, it costs nothing: a head of a few bytes may claim nearly 4 GiB
  // of rows, and a viewer offers every file it browses to the filter.
  if (!FileCanHold(file, geometry.pictureSize)) return result = kResultFileError;
  result = BuildBitmapInfo(head, geometry, &blocks.info);
  if (result != kResultSuccess) return result;
  uint8_t* pixels = nullptr;
  result = AllocatePixelBlock(geometry, blocks, &pixels);
  if (result != kResultSuccess) return result;
  result = ReadRowsBottomUp(file, geometry, pixels);
  return result;
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
