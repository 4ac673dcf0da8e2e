// Two archive layouts for tests of the directory cache and the extractor's
// entry points, independent of the real layouts. A test archive is a real
// file that its parser reads through the platform layer:
//
//   0   4    tag: "TLA1" layout one, "TLA2" layout two, "TLAB" both layouts,
//            "TLAR" layout one, racing (below)
//   4   4    entry count N
//   8   4    1: a 768-byte palette follows (installed by layout two only)
//   12  768  the palette, when present
//   then N records of position (4), size (4) and a name (32 bytes, NUL-padded),
//            listed with ".QKZ" after it
//   then the entries' bytes
//
// Layout one extracts an entry's bytes as stored; layout two puts the shared
// palette it looked up in front of them, so a test sees which palette an
// extract used. A file of another tag is refused with kNotThisLayout, one
// that cannot be opened with kCannotOpen, one cut short with kFileEndsEarly.
// A "TLAR" archive imitates another thread acting between a probe and the
// operation after it: once its parser has read it, it cuts the file at
// racingArchivePath to two bytes, so the next parse of it fails with 6.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "archive-extractor/layouts.h"
#include "tests/support/test_files.h"
#include "tests/support/test_pictures.h"

struct TestEntry {
  std::string name;  // as listed: the stored name and ".QKZ"
  uint32_t size = 0;
  uint8_t fill = 0;       // the entry's bytes are fill, fill + 1, ...
  uint32_t position = 0;  // 0: stored behind the previous entry; else a record only
};

// The bytes of a test archive of tag `tag` (4 letters).
Bytes BuildTestArchive(const char* tag, const std::vector<TestEntry>& entries,
                       const Triples* palette = nullptr);

// The bytes an entry holds in a test archive.
Bytes TestEntryBytes(const TestEntry& entry);

// Position of entry `index` in BuildTestArchive(tag, entries, palette).
uint32_t TestEntryPosition(const std::vector<TestEntry>& entries, size_t index,
                           bool withPalette);


extern const korvo::LayoutTable kTestLayouts;

// Calls of each test layout's parser and extract operation.
extern std::atomic<int> testParses[korvo::kLayoutCount];
extern std::atomic<int> testExtracts[korvo::kLayoutCount];
void ResetTestLayoutCounts();

// The file a racing archive's parser cuts short.
extern std::string racingArchivePath;
