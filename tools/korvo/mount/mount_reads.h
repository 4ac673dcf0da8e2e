// An entry's bytes as korvo mount serves them: a head built in memory, then
// rows read where they lie in the archive, in their order (QKZ) or last row
// first (BMP). Reads ask the archive for the bytes wanted and no more.
#pragma once

#include <cstdint>
#include <memory>

#include "common/bytes.h"
#include "tools/korvo/mount/mount_index.h"
#include "tools/host/platform/positional_file.h"

namespace korvo {

struct ServedShape {
  Bytes head;                 // served first
  uint64_t rowsPosition = 0;  // of the archive's first row
  uint64_t stride = 0;        // bytes of a row
  uint32_t rowCount = 0;
  bool bottomUp = false;  // the archive's last row served first
};

// The shape of entry `index`, reading its stored head (and own palette) from
// `file`. False when they cannot be read or no longer match the listing, or
// (BMP) for a picture the import filter refuses.
bool BuildServedShape(const PositionalFile& file, const MountIndex& index, size_t entry,
                      ServedShape* shape);

// Copies the `count` bytes at `offset` of an entry of this shape to `out`
// (the caller keeps within the entry's served size). False when the archive
// delivers fewer bytes than asked.
bool ReadServed(const PositionalFile& file, const ServedShape& shape, uint64_t offset,
                uint32_t count, uint8_t* out);

}  // namespace korvo
