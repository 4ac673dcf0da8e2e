// The ASCII rules of names and numbers in text: letter case as hosts and
// Windows fold it (A-Z only), and hexadecimal digits. Header-only, for every
// folder, on bytes and on UTF-16 units alike.
#pragma once

namespace korvo {

// A-Z turned into a-z; every other byte or unit as it is.
template <typename Unit>
constexpr Unit FoldAscii(Unit unit) {
  return unit >= Unit('A') && unit <= Unit('Z') ? static_cast<Unit>(unit + 0x20) : unit;
}

// The text with A-Z turned into a-z, bytes or UTF-16 units alike.
template <typename Text>
Text FoldAsciiText(Text text) {
  for (auto& unit : text) unit = FoldAscii(unit);
  return text;
}

// The hexadecimal digit of the low four bits of `value`: "0"-"9", "A"-"F",
// or "a"-"f" when `lower`.
constexpr char HexDigit(unsigned value, bool lower = false) {
  char digit = "0123456789ABCDEF"[value & 0xF];
  return lower ? FoldAscii(digit) : digit;
}

}  // namespace korvo
