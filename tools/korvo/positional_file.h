// A file read at positions: each read asks the system for exactly the bytes
// wanted, at any 64-bit position, so a reader that needs a few rows of a
// large picture reads those rows and nothing else.
#pragma once

#include <cstdint>
#include <string>

namespace korvo {

struct PositionalFile {
  intptr_t handle = -1;  // a descriptor, or a Windows HANDLE
  uint64_t size = 0;
  PositionalFile() = default;
  PositionalFile(const PositionalFile&) = delete;
  PositionalFile& operator=(const PositionalFile&) = delete;
  ~PositionalFile();  // closes it
};

// Opens an existing plain file to read; fails with the reason ("cannot
// open: ...", "is a folder", "not a plain file").
bool OpenPositionalFile(const std::string& path, PositionalFile* file, std::string* error);

// Reads up to `count` bytes at `position` into `out`, in one read where the
// system delivers them so; answers how many arrived.
uint32_t ReadPositional(const PositionalFile& file, uint64_t position, uint8_t* out, uint32_t count);

}  // namespace korvo
