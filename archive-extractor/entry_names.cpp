#include "archive-extractor/entry_names.h"

#include <cstring>

#include "common/ascii.h"

namespace korvo {

void FormatPositionName(uint32_t position, char (&name)[kPositionNameBytes]) {
  for (int i = 7; i >= 0; --i, position >>= 4) name[i] = HexDigit(position);
  std::memcpy(name + 8, ".QKZ", 5);
}

void FormatStoredName(const char* stored, uint32_t length, char* name) {
  std::memcpy(name, stored, length);
  std::memcpy(name + length, ".QKZ", 5);
}

}  // namespace korvo
