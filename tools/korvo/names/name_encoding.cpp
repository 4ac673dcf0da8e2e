#include "tools/korvo/names/name_encoding.h"

#include <cstdio>

#include "common/ascii.h"
#include "tools/korvo/names/utf8_text.h"


namespace korvo {
namespace {

std::string HexByte(unsigned char byte) {
  return {'\\', 'x', HexDigit(byte >> 4u), HexDigit(byte)};
}

// Appends decoded UTF-8 to `out`, with what a terminal would act on instead
// of showing escaped: controls below 0x80 as \xNN, the others as \uNNNN.
void AppendShown(const std::string& utf8, std::string* out) {
  for (size_t at = 0; at < utf8.size();) {
    size_t length = Utf8SequenceLength(utf8, at);
    if (length == 0) {
      *out += HexByte(static_cast<unsigned char>(utf8[at++]));
      continue;
    }
    uint32_t codePoint = CodePointAt(utf8, at, length);
    if (codePoint < 0x80 && IsTerminalControl(codePoint))
      *out += HexByte(static_cast<unsigned char>(codePoint));
    else if (IsTerminalControl(codePoint))
      *out += std::string{'\\', 'u', HexDigit(codePoint >> 12), HexDigit(codePoint >> 8),
                          HexDigit(codePoint >> 4), HexDigit(codePoint)};
    else
      out->append(utf8, at, length);
    at += length;
  }
}

}  // namespace

bool FindNameEncoding(const std::string& name, NameEncoding* encoding, std::string* error) {
  if (FindTextEncoding(name, encoding)) return true;
  *error = "unknown name encoding '" + name + "'";
  return false;
}

bool DecodeName(const NameEncoding& encoding, const std::string& stored, std::string* utf8) {
  bool whole = true;
  *utf8 = DecodeText(encoding, stored, [&whole](unsigned char) {
    whole = false;
    return std::string();
  });
  return whole;
}

std::string DisplayName(const NameEncoding& encoding, const std::string& stored) {
  std::string shown;
  AppendShown(DecodeText(encoding, stored, HexByte), &shown);
  return shown;
}

bool EncodeName(const NameEncoding& encoding, const std::string& utf8, std::string* stored) {
  return EncodeText(encoding, utf8, stored);
}

int SeparatorByteOf(const NameEncoding& encoding, const std::string& utf8) {
  for (size_t at = 0; at < utf8.size();) {
    size_t length = Utf8SequenceLength(utf8, at);
    if (length == 0) length = 1;
    std::string stored;
    if (EncodeName(encoding, utf8.substr(at, length), &stored) && stored.size() == 1 &&
        (stored[0] == '\\' || stored[0] == '/'))
      return stored[0];
    at += length;
  }
  return 0;
}

}  // namespace korvo
