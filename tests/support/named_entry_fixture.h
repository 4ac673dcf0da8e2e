// Named-entry archives for tests: the small two-entry archive laid out by
// hand, and entries for the archive writer made of the test pictures'
// palettes and rows.
#pragma once

#include <array>
#include <cstdint>

#include "tests/support/test_files.h"
#include "tests/support/test_pictures.h"
#include "tools/archive-writer/archive_writer.h"

// The 828-byte archive: count 2; "Palette" at 22 (width 1, height 1, palette
// flag 1, its palette at 31-798, its row at 799-802); "a" at 803 (width 5,
// height 2, palette flag 0, rows at 812-827).
constexpr uint32_t kSmallPalettePosition = 22;
constexpr uint32_t kSmallEntryPosition = 803;
Bytes SmallNamedArchive();
// Its Palette entry's 768 bytes and the rows of "a".
Triples SmallArchiveTriples();
Bytes SmallArchiveRows();

// A named entry for the archive writer.
korvo::NamedEntry MakeNamedEntry(const std::string& name, uint32_t width, uint32_t height,
                                 uint8_t seed, bool ownPalette, size_t gap = 0);
