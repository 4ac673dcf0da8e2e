#include "import-filter/bitmap_info.h"

#include "host-contract/block_owner.h"
#include "host-contract/host_contract.h"
#include "common/little_endian.h"

namespace korvo {
namespace {

// BITMAPINFOHEADER fields that are not left zero by the allocation.
constexpr uint32_t kBiSize = 0;
constexpr uint32_t kBiWidth = 4;
constexpr uint32_t kBiHeight = 8;
constexpr uint32_t kBiPlanes = 12;
constexpr uint32_t kBiBitCount = 14;
// biCompression (16, BI_RGB), biSizeImage (20), the densities (24, 28),
// biClrUsed (32: all 256 colours) and biClrImportant (36) stay 0.

}  // namespace

Failure BuildBitmapInfo(const uint8_t* head, const QkzGeometry& geometry, BlockOwner* info) {
  auto* bytes = static_cast<uint8_t*>(AllocateAndLock(info, GHND, kBitmapInfoSize));
  if (bytes == nullptr) return Failure::kNoMemory;
  WriteLe32(bytes + kBiSize, kBitmapInfoHeaderSize);
  WriteLe32(bytes + kBiWidth, geometry.width);
  WriteLe32(bytes + kBiHeight, geometry.height);
  WriteLe16(bytes + kBiPlanes, 1);
  WriteLe16(bytes + kBiBitCount, 8);
  PaletteToColourTable(head + kQkzPaletteOffset, bytes + kBitmapInfoHeaderSize);
  return Failure::kNone;
}

}  // namespace korvo
