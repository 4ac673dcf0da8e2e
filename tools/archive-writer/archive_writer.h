// Writers of both Brimmel archive layouts, for the command-line host, the
// tests and the fuzz corpora. They build the archive bytes in memory.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace korvo {

// An offset-table archive: the count, the table of positions, then each entry
// (normally a complete QKZ picture, plus any bytes that should trail it) laid
// out one behind the other in the given order.
Bytes BuildOffsetTableArchive(const std::vector<Bytes>& entries);

// One entry of a named-entry archive.
struct NamedEntry {
  std::string name;                       // stored name, without ".QKZ"
  uint32_t width = 0;
  uint32_t height = 0;
  bool ownPalette = false;                // store `palette` with the entry
  std::array<uint8_t, 768> palette = {};  // red, green, blue triples
  Bytes gap;                              // bytes between header/palette and rows
  Bytes rows;                             // the rows, top row first, stride bytes each
};

// A named-entry archive: the count, the name records, then the entries in
// record order. The Palette entry is whichever entry is named "Palette"; its
// 768 bytes must follow its stored header, so give it ownPalette.
Bytes BuildNamedEntryArchive(const std::vector<NamedEntry>& entries);

// A complete QKZ picture from its size, its 256 red, green, blue triples and
// its rows (stride bytes each, top row first).
Bytes BuildQkzPicture(uint32_t width, uint32_t height, const std::array<uint8_t, 768>& palette,
                      const Bytes& rows);

}  // namespace korvo
