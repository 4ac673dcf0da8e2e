// One archive file through every export of the extractor, end to end: probe,
// listing, a lookup of every name, an extract of every position and a decode
// of each extracted picture by the import filter, each answer checked against
// the independent reading of archive_oracle.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// The file's bytes are served from memory under a fixed path.
void CheckArchive(const uint8_t* data, size_t size);

// Bytes a probe of a file of `size` bytes may hold at its peak: the entry
// records the file has room for, with the slack of an array that doubles.
long long ProbeBudget(uint64_t size);

}  // namespace fuzz
