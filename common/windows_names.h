// What Windows will not take in a file name, for the extractor's output to a
// folder and for the names korvo gives its files alike: the characters it
// forbids and the device names it reserves. Header-only, on bytes and on
// UTF-16 units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "common/ascii.h"

namespace korvo {

// A text unit as a number, a byte never sign-extended.
template <typename Unit>
constexpr uint32_t UnitValue(Unit unit) {
  return static_cast<uint32_t>(static_cast<std::make_unsigned_t<Unit>>(unit));
}

constexpr bool IsNameSeparator(uint32_t unit) { return unit == '\\' || unit == '/'; }

// Control characters, DEL, separators and : < > " | ? *.
constexpr bool IsForbiddenNameUnit(uint32_t unit) {
  return unit < 0x20 || unit == 0x7F || IsNameSeparator(unit) || unit == ':' || unit == '<' ||
         unit == '>' || unit == '"' || unit == '|' || unit == '?' || unit == '*';
}

// A digit that makes COM or LPT a device: 0-9, or a superscript 1, 2 or 3,
// which Windows also takes. U+00B9, U+00B2 and U+00B3 are these bytes in the
// Latin code pages.
constexpr bool IsPortDigit(uint32_t unit) {
  return (unit >= '0' && unit <= '9') || unit == 0xB9 || unit == 0xB2 || unit == 0xB3;
}

// A device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM or LPT and a
// digit) in any letter case, whatever follows the first dot and with spaces
// before it. `name` ends at its first 0 unit.
template <typename Unit>
bool IsDeviceName(const Unit* name) {
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  size_t base = 0;
  while (name[base] != 0 && name[base] != '.') ++base;
  while (base > 0 && name[base - 1] == ' ') --base;
  if (base < 3 || base > 7) return false;
  uint32_t lower[7];
  for (size_t i = 0; i < base; ++i) lower[i] = FoldAscii(UnitValue(name[i]));
  for (const char* device : kDevices) {
    size_t i = 0;
    while (i < base && device[i] != '\0' && lower[i] == static_cast<uint32_t>(device[i])) ++i;
    if (i == base && device[i] == '\0') return true;
  }
  const bool port = (lower[0] == 'c' && lower[1] == 'o' && lower[2] == 'm') ||
                    (lower[0] == 'l' && lower[1] == 'p' && lower[2] == 't');
  if (!port) return false;
  if (base == 4) return IsPortDigit(lower[3]);
  // An 8-bit name in UTF-8 spells a superscript digit in two bytes.
  return sizeof(Unit) == 1 && base == 5 && lower[3] == 0xC2 && lower[4] >= 0x80 &&
         IsPortDigit(lower[4]);
}

}  // namespace korvo
