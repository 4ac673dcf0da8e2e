// Named-entry archives for tests: the small two-entry archive laid out by
// hand, and palettes and rows in which every byte tells where it belongs.
#pragma once

#include <array>
#include <cstdint>

#include "tests/support/test_files.h"
#include "tools/archive-writer/archive_writer.h"

using Triples = std::array<uint8_t, 768>;

// 256 red, green, blue triples, all distinct from another seed's.
Triples MakeTriples(uint8_t seed);

// Rows of RowStride(width, 8) x height bytes, fill bytes included.
Bytes MakeRows(uint32_t width, uint32_t height, uint8_t seed);

// The 828-byte archive: count 2; "Palette" at 22 (width 1, height 1, palette
// flag 1, its palette at 31-798, its row at 799-802); "a" at 803 (width 5,
// height 2, palette flag 0, rows at 812-827).
constexpr uint32_t kSmallPalettePosition = 22;
constexpr uint32_t kSmallEntryPosition = 803;
Bytes SmallNamedArchive();
// Its Palette entry's 768 bytes and the rows of "a".
Triples SmallArchiveTriples();
Bytes SmallArchiveRows();

// The complete QKZ picture an entry of this size, palette and rows becomes.
Bytes ExpectedPicture(uint32_t width, uint32_t height, const Triples& triples, const Bytes& rows);

// A named entry for the archive writer.
korvo::NamedEntry MakeNamedEntry(const std::string& name, uint32_t width, uint32_t height,
                                 uint8_t seed, bool ownPalette, size_t gap = 0);
