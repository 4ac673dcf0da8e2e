#include "tools/korvo/pictures/bmp_file.h"
#include "tools/korvo/mount/mount_reads.h"

#include <algorithm>
#include <cstring>

#include "archive-extractor/named_entry_archive.h"
#include "common/little_endian.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {
namespace {

bool ReadExactly(const PositionalFile& file, uint64_t position, uint8_t* out, uint32_t count) {
  return ReadPositional(file, position, out, count) == count;
}

// The QKZ head extract gives a named entry: its stored size and palette, or
// the shared one; where its rows start. False when the stored header no
// longer gives the listed picture.
bool RebuildNamedHead(const PositionalFile& file, const MountIndex& index, const MountEntry& entry,
                      uint8_t* head, uint64_t* rowsPosition) {
  uint8_t header[kStoredHeaderBytes];
  if (!ReadExactly(file, entry.position, header, sizeof header)) return false;
  const uint32_t width = ReadLe32(header + kQkzWidthOffset), height = ReadLe32(header + kQkzHeightOffset);
  const uint64_t rows = QkzPictureSize(width, height) - kQkzHeadSize;
  if (QkzPictureSize(width, height) != entry.qkzSize || rows + kStoredHeaderBytes > entry.storedSize)
    return false;
  uint8_t own[kPaletteBytes];
  const bool hasOwn = header[kStoredPaletteFlagOffset] != 0;
  if (hasOwn && !ReadExactly(file, uint64_t{entry.position} + kStoredHeaderBytes, own, sizeof own))
    return false;
  WriteQkzHeadFromTriples(width, height, hasOwn ? own : index.sharedPalette, head);
  *rowsPosition = uint64_t{entry.position} + entry.storedSize - rows;
  return true;
}

// The 1078 bytes in front of the rows in extract --format bmp's file: what
// the import filter hands over (an 8-bit bottom-up BITMAPINFOHEADER, all
// else 0, and the palette as colours) behind a file header.
void WriteBmpHead(const QkzGeometry& geometry, const uint8_t* qkzHead, uint8_t* out) {
  std::memset(out, 0, kBmpHeadBytes);
  WriteBmpFileHeader(kBmpHeadBytes - kBmpFileHeaderSize, geometry.rowBytes, out);
  uint8_t* info = out + kBmpFileHeaderSize;
  WriteBitmapInfoHeader(geometry.width, geometry.height, 8, 0, info);
  PaletteToColourTable(qkzHead + kQkzPaletteOffset, info + kBitmapInfoHeaderSize);
}

}  // namespace

bool BuildServedShape(const PositionalFile& file, const MountIndex& index, size_t at,
                      ServedShape* shape) {
  const MountEntry& entry = index.entries[at];
  uint8_t qkzHead[kQkzHeadSize];
  uint64_t rowsPosition = uint64_t{entry.position} + kQkzHeadSize;
  if (!index.named && index.format == MountFormat::kQkz) {
    // Stored whole: served as it lies, one run of bytes.
    *shape = ServedShape();
    shape->rowsPosition = entry.position;
    shape->stride = entry.qkzSize;
    shape->rowCount = 1;
    return true;
  }
  if (index.named ? !RebuildNamedHead(file, index, entry, qkzHead, &rowsPosition)
                  : !ReadExactly(file, entry.position, qkzHead, kQkzHeadSize))
    return false;
  *shape = ServedShape();
  shape->rowsPosition = rowsPosition;
  if (index.format == MountFormat::kQkz) {
    shape->head.assign(qkzHead, qkzHead + kQkzHeadSize);
    shape->stride = entry.qkzSize - kQkzHeadSize;
    shape->rowCount = 1;
    return true;
  }
  QkzGeometry geometry;
  if (!ReadQkzGeometry(qkzHead, &geometry) || kBmpHeadBytes + uint64_t{geometry.rowBytes} != entry.servedSize)
    return false;
  shape->head.resize(kBmpHeadBytes);
  WriteBmpHead(geometry, qkzHead, shape->head.data());
  shape->stride = geometry.stride;
  shape->rowCount = geometry.height;
  shape->bottomUp = true;
  return true;
}

bool ReadServed(const PositionalFile& file, const ServedShape& shape, uint64_t offset,
                uint32_t count, uint8_t* out) {
  const uint64_t headBytes = shape.head.size();
  if (offset < headBytes) {
    const auto take = static_cast<uint32_t>(std::min<uint64_t>(count, headBytes - offset));
    std::memcpy(out, shape.head.data() + offset, take);
    out += take;
    count -= take;
    offset += take;
  }
  if (count == 0) return true;
  const uint64_t start = offset - headBytes, end = start + count;
  if (!shape.bottomUp) return ReadExactly(file, shape.rowsPosition + start, out, count);
  // Served rows first..last are the archive's rows rowCount-1-first down to
  // rowCount-1-last, which lie together: read them in one run where rows are
  // no larger than the read, then hand them out in reverse.
  const uint64_t first = start / shape.stride, last = (end - 1) / shape.stride;
  const uint64_t lowest = shape.rowCount - 1 - last;
  const uint64_t runBytes = (last - first + 1) * shape.stride;
  Bytes run;
  if (last - first >= 2) {
    run.resize(runBytes);
    if (!ReadExactly(file, shape.rowsPosition + lowest * shape.stride, run.data(),
                     static_cast<uint32_t>(runBytes)))
      return false;
  }
  for (uint64_t row = first; row <= last; ++row) {
    const uint64_t from = std::max(start, row * shape.stride) - row * shape.stride;
    const uint64_t to = std::min(end, (row + 1) * shape.stride) - row * shape.stride;
    const uint64_t stored = shape.rowCount - 1 - row;
    const auto take = static_cast<uint32_t>(to - from);
    if (run.empty()) {
      if (!ReadExactly(file, shape.rowsPosition + stored * shape.stride + from, out, take)) return false;
    } else {
      std::memcpy(out, run.data() + (stored - lowest) * shape.stride + from, take);
    }
    out += take;
  }
  return true;
}

}  // namespace korvo
