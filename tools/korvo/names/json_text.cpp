#include "tools/korvo/names/json_text.h"

#include <cstdio>

#include "common/ascii.h"
#include "tools/korvo/names/utf8_text.h"

namespace korvo {

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
  std::string hex;
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    hex += HexDigit(byte >> 4, true);
    hex += HexDigit(byte, true);
  }
  return hex;
}

}  // namespace korvo
