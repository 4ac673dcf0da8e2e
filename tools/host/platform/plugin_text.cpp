#include "tools/host/platform/plugin_text.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace korvo {

bool EightBitPath(const std::string& path, std::string* eightBit) {
#ifdef _WIN32
  return CodePageOfWide(CP_ACP, WideOf(path), eightBit, true);
#else
  *eightBit = path;
  return true;
#endif
}

std::string EightBitOf(const std::string& path) {
  std::string eightBit;
  EightBitPath(path, &eightBit);
  return eightBit;
}

std::string StoredNameOf(const fileInfo& record) {
  return std::string(record.filename, strnlen(record.filename, sizeof record.filename));
}

#ifdef _WIN32
std::string StoredNameOf(const fileInfoW& record) {
  size_t units = 0;
  while (units < 200 && record.filename[units] != 0) ++units;
  std::string stored;
  CodePageOfWide(CP_ACP, std::wstring(record.filename, units), &stored);
  return stored;
}
#endif

}  // namespace korvo
