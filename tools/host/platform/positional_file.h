// A file read at positions: each read asks the system for exactly the bytes
// wanted, at any 64-bit position, so a reader that needs a few rows of a
// large picture reads those rows and nothing else.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace korvo {

struct PositionalFile {
  FILE* file = nullptr;  // read at positions only, never through the stream
  uint64_t size = 0;
  PositionalFile() = default;
  PositionalFile(const PositionalFile&) = delete;
  PositionalFile& operator=(const PositionalFile&) = delete;
  ~PositionalFile();  // closes it
};

// Opens an existing regular file to read, as every input is opened; fails
// with the reason ("cannot open: ...", "is a folder", "not a regular file").
bool OpenPositionalFile(const std::string& path, PositionalFile* file, std::string* error);

// Reads up to `count` bytes at `position` into `out`, in one read where the
// system delivers them so; answers how many arrived.
uint32_t ReadPositional(const PositionalFile& file, uint64_t position, uint8_t* out, uint32_t count);

}  // namespace korvo
