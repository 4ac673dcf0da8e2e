// What korvo mount knows of an archive from mounting to unmounting: per entry
// where it lies and how large it is served, read once by the extractor's own
// layout parsers. No entry is read whole; its head is built on its first
// read (mount_reads.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive-extractor/directory_array.h"
#include "tools/host/plugin_calls.h"
#include "tools/host/platform/positional_file.h"

namespace korvo {

// How entries are shown: as the QKZ bytes extract --format qkz writes, or
// as the 8-bit bottom-up BMP extract --format bmp writes.
enum class MountFormat { kQkz, kBmp };

struct MountEntry {
  uint32_t position = 0;    // where the entry starts in the archive
  uint32_t storedSize = 0;  // its bytes there
  uint32_t qkzSize = 0;     // the QKZ picture extract gives
  uint64_t servedSize = 0;  // the file shown: qkzSize, or the BMP's size
};

struct MountIndex {
  MountFormat format = MountFormat::kQkz;
  bool named = false;  // named-entry layout: heads are rebuilt
  uint8_t sharedPalette[kPaletteBytes] = {};
  std::vector<MountEntry> entries;  // in listing order
};

// Bytes of a BMP's file header, info header and 256-colour table.
constexpr uint32_t kBmpHeadBytes = 14 + 40 + 4 * 256;

// The size of the BMP of a picture of this width and height, or 0 when the
// import filter takes no such picture (extract fails on it, and so do reads).
uint64_t BmpSizeOf(uint32_t width, uint32_t height);

// Parses `path` with the layouts and checks that the parse gives `listed`,
// the plug-in's listing, entry for entry. Offset-table heads are read from
// `file` for BMP sizes. False with the reason in *error.
bool IndexArchive(const std::string& path, const PositionalFile& file,
                  const std::vector<ArchiveEntry>& listed, MountFormat format, MountIndex* index,
                  std::string* error);

}  // namespace korvo
