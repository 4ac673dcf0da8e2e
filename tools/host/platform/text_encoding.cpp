#include "tools/host/platform/text_encoding.h"

#include <cerrno>
#include <cstring>

#include "common/ascii.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/host/platform/code_pages.h"
#else
#include <iconv.h>
#endif

namespace korvo {

#ifdef _WIN32
// Windows: the code page functions.
namespace {

struct CodePageName {
  const char* name;
  unsigned codePage;
};

// Names iconv users type, for the code pages Windows has under numbers.
const CodePageName kCodePages[] = {
    {"cp932", 932},        {"shift_jis", 932},   {"shift-jis", 932},  {"sjis", 932},
    {"windows-31j", 932},  {"utf-8", CP_UTF8},   {"utf8", CP_UTF8},   {"euc-jp", 20932},
    {"latin1", 28591},     {"iso-8859-1", 28591}, {"ascii", 20127},   {"us-ascii", 20127},
    {"gbk", 936},          {"euc-kr", 949},       {"big5", 950},
};

// Length of the character at the start of `bytes` (at most `left` bytes), or
// 0 when no prefix of up to four bytes decodes.
size_t CharacterLength(unsigned codePage, const char* bytes, size_t left, std::wstring* wide) {
  for (size_t length = 1; length <= 4 && length <= left; ++length) {
    std::wstring units;
    if (WideOfCodePage(codePage, std::string(bytes, length), &units, true)) {
      *wide += units;
      return length;
    }
  }
  return 0;
}

// Walks the stored name character by character, calling `undecodable` for
// each byte that starts no character. Returns the decoded text.
std::string DecodeRuns(const TextEncoding& encoding, const std::string& stored, const ByteShown& undecodable) {
  std::string out;
  std::wstring run;
  for (size_t i = 0; i < stored.size();) {
    size_t length = CharacterLength(encoding.codePage, stored.data() + i, stored.size() - i, &run);
    if (length != 0) {
      i += length;
      continue;
    }
    out += Utf8OfWide(run);
    run.clear();
    out += undecodable(static_cast<unsigned char>(stored[i]));
    ++i;
  }
  return out + Utf8OfWide(run);
}

}  // namespace
#else
// POSIX: iconv.
namespace {

// Converts `text` with `converter` into `out` up to the first byte that does
// not convert; returns its offset, or text.size() when all of it converted.
size_t ConvertRun(iconv_t converter, const std::string& text, size_t from, std::string* out) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(text.data()) + from;
  size_t inLeft = text.size() - from;
  char buffer[256];
  while (inLeft > 0) {
    char* outAt = buffer;
    size_t outLeft = sizeof buffer;
    size_t done = iconv(converter, &in, &inLeft, &outAt, &outLeft);
    out->append(buffer, static_cast<size_t>(outAt - buffer));
    if (done == static_cast<size_t>(-1) && errno != E2BIG) break;
  }
  // Flush any shift state, so stateful encodings end in their initial state.
  char* outAt = buffer;
  size_t outLeft = sizeof buffer;
  iconv(converter, nullptr, nullptr, &outAt, &outLeft);
  out->append(buffer, static_cast<size_t>(outAt - buffer));
  return text.size() - inLeft;
}

std::string DecodeRuns(const TextEncoding& encoding, const std::string& stored, const ByteShown& undecodable) {
  std::string out;
  iconv_t converter = iconv_open("UTF-8", encoding.name.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    for (char c : stored) out += undecodable(static_cast<unsigned char>(c));
    return out;
  }
  for (size_t at = 0; at < stored.size();) {
    at = ConvertRun(converter, stored, at, &out);
    if (at < stored.size()) out += undecodable(static_cast<unsigned char>(stored[at++]));
  }
  iconv_close(converter);
  return out;
}

}  // namespace
#endif

bool FindTextEncoding(const std::string& name, TextEncoding* encoding) {
  encoding->name = name;
  encoding->codePage = 0;
#ifdef _WIN32
  const std::string lower = FoldAsciiText(name);
  unsigned codePage = 0;
  for (const CodePageName& known : kCodePages)
    if (lower == known.name) codePage = known.codePage;
  // "cp1252", "windows-1252": any code page by number.
  for (const char* prefix : {"cp", "windows-"}) {
    size_t length = strlen(prefix);
    if (codePage == 0 && lower.compare(0, length, prefix) == 0 && lower.size() > length &&
        lower.find_first_not_of("0123456789", length) == std::string::npos && lower.size() < length + 6)
      codePage = static_cast<unsigned>(std::stoul(lower.substr(length)));
  }
  if (codePage != 0 && IsValidCodePage(codePage)) {
    encoding->codePage = codePage;
    return true;
  }
  return false;
#else
  iconv_t in = iconv_open("UTF-8", name.c_str()), out = iconv_open(name.c_str(), "UTF-8");
  bool known = in != reinterpret_cast<iconv_t>(-1) && out != reinterpret_cast<iconv_t>(-1);
  if (in != reinterpret_cast<iconv_t>(-1)) iconv_close(in);
  if (out != reinterpret_cast<iconv_t>(-1)) iconv_close(out);
  return known;
#endif
}

std::string DecodeText(const TextEncoding& encoding, const std::string& stored,
                       const ByteShown& undecodable) {
  return DecodeRuns(encoding, stored, undecodable);
}

bool EncodeText(const TextEncoding& encoding, const std::string& utf8, std::string* stored) {
#ifdef _WIN32
  // No best-fit stand-ins: a character without its own form fails.
  std::wstring wide;
  return WideOfCodePage(CP_UTF8, utf8, &wide, true) &&
         CodePageOfWide(encoding.codePage, wide, stored, true);
#else
  iconv_t converter = iconv_open(encoding.name.c_str(), "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  stored->clear();
  bool whole = ConvertRun(converter, utf8, 0, stored) == utf8.size();
  iconv_close(converter);
  return whole;
#endif
}

}  // namespace korvo
