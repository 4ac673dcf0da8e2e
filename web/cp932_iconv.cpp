// iconv for the web engine: code page 932 to UTF-8, from the table the build
// takes from glibc's iconv (cp932_table.cpp). The engine's C library has no
// code page 932, and korvo's name decoding (tools/korvo/names/name_encoding.cpp and tools/host/platform/text_encoding.cpp)
// runs unchanged on top of this: it stops at the first byte that does not
// decode, as with glibc, and shows that byte as \xNN.
#include <errno.h>
#include <iconv.h>
#include <strings.h>

#include <cstdint>
#include <cstring>

#include "cp932_table.inc"

namespace {

// The one conversion there is; its address is the descriptor.
int cp932ToUtf8 = 0;

size_t Utf8Length(uint32_t unit) { return unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3; }

void PutUtf8(uint32_t unit, char* out) {
  auto byte = [](uint32_t value) { return static_cast<char>(static_cast<unsigned char>(value)); };
  if (unit < 0x80) {
    out[0] = byte(unit);
  } else if (unit < 0x800) {
    out[0] = byte(0xC0 | unit >> 6);
    out[1] = byte(0x80 | (unit & 0x3F));
  } else {
    out[0] = byte(0xE0 | unit >> 12);
    out[1] = byte(0x80 | (unit >> 6 & 0x3F));
    out[2] = byte(0x80 | (unit & 0x3F));
  }
}

}  // namespace

extern "C" {

iconv_t iconv_open(const char* to, const char* from) {
  if ((strcasecmp(to, "UTF-8") == 0 || strcasecmp(to, "UTF8") == 0) && strcasecmp(from, "CP932") == 0)
    return reinterpret_cast<iconv_t>(&cp932ToUtf8);
  errno = EINVAL;
  return reinterpret_cast<iconv_t>(-1);
}

int iconv_close(iconv_t) { return 0; }

size_t iconv(iconv_t converter, char** in, size_t* inLeft, char** out, size_t* outLeft) {
  if (converter != reinterpret_cast<iconv_t>(&cp932ToUtf8)) {
    errno = EBADF;
    return static_cast<size_t>(-1);
  }
  if (in == nullptr || *in == nullptr) return 0;  // no shift state to reset or flush
  while (*inLeft > 0) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(*in);
    uint32_t unit = kCp932Single[bytes[0]];
    size_t length = 1;
    if (unit == kCp932Lead) {
      if (*inLeft < 2) {
        errno = EINVAL;
        return static_cast<size_t>(-1);
      }
      unit = kCp932Pairs[kCp932LeadRow[bytes[0]] - 1][bytes[1]];
      length = 2;
    }
    if (unit == kCp932Invalid) {
      errno = EILSEQ;
      return static_cast<size_t>(-1);
    }
    if (Utf8Length(unit) > *outLeft) {
      errno = E2BIG;
      return static_cast<size_t>(-1);
    }
    PutUtf8(unit, *out);
    *out += Utf8Length(unit);
    *outLeft -= Utf8Length(unit);
    *in += length;
    *inLeft -= length;
  }
  return 0;
}

}  // extern "C"
