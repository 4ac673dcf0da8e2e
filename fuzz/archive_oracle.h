// What the extractor must make of any file, worked out here independently of
// its parsers: a plain, unhurried reading of both archive layouts that says
// which layout (if any) takes the file and the directory it must list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

enum class Layout { kNone, kOffsetTable, kNamedEntry };

struct ExpectedEntry {
  uint32_t position;
  uint32_t compsize;
  uint32_t filesize;
  std::string filename;  // as listed, ".QKZ" included
};

struct ExpectedArchive {
  Layout layout = Layout::kNone;
  std::vector<ExpectedEntry> entries;
  uint32_t palettePosition = 0;  // named-entry: where the shared palette's triples lie
};

// The layouts in the order the extractor tries them; the first that takes
// the file decides.
ExpectedArchive ExpectArchive(const uint8_t* data, size_t size);

// One layout alone; layout kNone when it refuses the file.
ExpectedArchive ExpectOffsetTableArchive(const uint8_t* data, size_t size);
ExpectedArchive ExpectNamedEntryArchive(const uint8_t* data, size_t size);

// The bytes GetFile must hand out for `entry`, or false when the extract
// must fail because the file ends before what it reads (6).
bool ExpectExtract(const ExpectedArchive& archive, const ExpectedEntry& entry,
                   const uint8_t* data, size_t size, std::vector<uint8_t>* out);

}  // namespace fuzz
