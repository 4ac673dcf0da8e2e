#include "tools/host/platform/code_pages.h"

#ifdef _WIN32
#include <windows.h>

namespace korvo {

bool WideOfCodePage(unsigned codePage, const std::string& bytes, std::wstring* wide, bool strict) {
  wide->clear();
  if (bytes.empty()) return true;
  DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
  int size = static_cast<int>(bytes.size());
  int units = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
  if (units <= 0) return false;
  wide->assign(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(codePage, flags, bytes.data(), size, &(*wide)[0], units);
  return true;
}

bool CodePageOfWide(unsigned codePage, const std::wstring& wide, std::string* bytes, bool strict) {
  bytes->clear();
  if (wide.empty()) return true;
  // UTF-8 takes neither flag nor default character; it has a form for all
  // but unpaired surrogates, which WC_ERR_INVALID_CHARS refuses.
  bool utf8 = codePage == CP_UTF8;
  DWORD flags = !strict ? 0 : utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL defaulted = FALSE;
  BOOL* usedDefault = strict && !utf8 ? &defaulted : nullptr;
  int units = static_cast<int>(wide.size());
  int size = WideCharToMultiByte(codePage, flags, wide.data(), units, nullptr, 0, nullptr, usedDefault);
  if (size <= 0 || defaulted) return false;
  bytes->assign(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), units, &(*bytes)[0], size, nullptr, usedDefault);
  return !defaulted;
}

std::wstring WideOf(const std::string& utf8) {
  std::wstring wide;
  WideOfCodePage(CP_UTF8, utf8, &wide);
  return wide;
}

std::string Utf8OfWide(const std::wstring& wide) {
  std::string utf8;
  CodePageOfWide(CP_UTF8, wide, &utf8);
  return utf8;
}

}  // namespace korvo
#endif
