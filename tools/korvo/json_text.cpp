#include "tools/korvo/json_text.h"

#include <cstdio>

namespace korvo {
namespace {

// Length of the well-formed UTF-8 sequence at text[at], or 0.
size_t Utf8SequenceLength(const std::string& text, size_t at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  unsigned char lead = byte(0);
  size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  // The second byte's range rules out overlong forms, surrogates and values
  // past U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  char escape[8];
  for (size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte < 0x20 || byte == 0x7F) {
      snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else if (byte < 0x80) {
      out += static_cast<char>(byte);
    } else if (size_t length = Utf8SequenceLength(text, i); length != 0) {
      out.append(text, i, length);
      i += length - 1;
    } else {
      snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    }
  }
  return out + "\"";
}

std::string HexOf(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

}  // namespace korvo
