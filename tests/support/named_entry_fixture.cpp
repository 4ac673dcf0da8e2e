#include "tests/support/named_entry_fixture.h"

#include <cstring>

Triples SmallArchiveTriples() { return MakeTriples(0x11); }

Bytes SmallArchiveRows() { return MakeRows(5, 2, 0x40); }

Bytes SmallNamedArchive() {
  Bytes bytes(828, 0);
  PutLe32(bytes, 0, 2);
  std::memcpy(&bytes[4], "Palette", 8);
  PutLe32(bytes, 12, kSmallPalettePosition);
  bytes[16] = 'a';
  bytes[17] = 0;
  PutLe32(bytes, 18, kSmallEntryPosition);
  PutLe32(bytes, 22, 1);
  PutLe32(bytes, 26, 1);
  bytes[30] = 1;
  const Triples triples = SmallArchiveTriples();
  std::memcpy(&bytes[31], triples.data(), triples.size());
  for (int i = 0; i < 4; ++i) bytes[799 + i] = static_cast<uint8_t>(0xC0 + i);
  PutLe32(bytes, 803, 5);
  PutLe32(bytes, 807, 2);
  bytes[811] = 0;
  const Bytes rows = SmallArchiveRows();
  std::memcpy(&bytes[812], rows.data(), rows.size());
  return bytes;
}

korvo::NamedEntry MakeNamedEntry(const std::string& name, uint32_t width, uint32_t height,
                                 uint8_t seed, bool ownPalette, size_t gap) {
  korvo::NamedEntry entry;
  entry.name = name;
  entry.width = width;
  entry.height = height;
  entry.ownPalette = ownPalette;
  entry.palette = MakeTriples(static_cast<uint8_t>(seed * 13 + 5));
  entry.gap.assign(gap, static_cast<uint8_t>(0xE0 + seed));
  entry.rows = MakeRows(width, height, seed);
  return entry;
}
