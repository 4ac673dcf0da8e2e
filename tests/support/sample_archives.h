// Small archives of both layouts with everything a host must get out of
// them: each entry's listed record and the exact bytes GetFile hands out.
// Built with the archive writer; the expectations are worked out here from
// the pictures that went in, not read back from the archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

struct SampleEntry {
  std::string filename;  // as listed
  uint32_t position = 0;
  uint32_t compsize = 0;
  uint32_t filesize = 0;
  Bytes extracted;  // what GetFile hands out: a complete QKZ picture
  uint32_t rowsPosition = 0;  // where the picture's rows lie in the archive
};

struct SampleArchive {
  Bytes bytes;
  std::vector<SampleEntry> entries;
};

// Three entries (a complete picture each, the first followed by trailing
// bytes). `seed` gives every picture its own palette and rows.
SampleArchive SampleOffsetTableArchive(uint8_t seed);

// The Palette entry and three more: one that uses the shared palette, one
// with a palette of its own and a gap before its rows, and one named `name`
// ("Sample" if empty) on the shared palette.
SampleArchive SampleNamedEntryArchive(uint8_t seed, const std::string& name = "");

// The index of the first entry using the shared palette, and of one with its
// own, in a SampleNamedEntryArchive.
constexpr size_t kSharedPaletteEntry = 1;
constexpr size_t kOwnPaletteEntry = 2;

// Sets byte `offset` of the rows of entry `index` to `value`, in the archive
// and in the entry's expected bytes alike: another version of the same
// archive, with the same directory.
void SetRowByte(SampleArchive* archive, size_t index, uint32_t offset, uint8_t value);
