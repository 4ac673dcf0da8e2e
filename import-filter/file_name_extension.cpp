#include "import-filter/file_name_extension.h"

namespace korvo {

void FileNameExtension(LPCSTR name, char (&extension)[kExtensionCapacity]) {
  extension[0] = '\0';
  const char* scan = name;
  if (scan[0] != '\0' && scan[1] == ':') scan += 2;
  const char* component = scan;
  const char* dot = nullptr;
  while (*scan != '\0') {
    if (platform::IsDBCSLeadByte(static_cast<BYTE>(*scan))) {
      if (scan[1] == '\0') break;  // a lead byte without its trail ends the name
      scan += 2;
      continue;
    }
    if (*scan == '\\' || *scan == '/')
      component = scan + 1;
    else if (*scan == '.')
      dot = scan;
    ++scan;
  }
  if (dot == nullptr || dot < component) return;
  int length = 0;
  while (length < kExtensionCapacity - 1 && dot[length] != '\0') {
    extension[length] = dot[length];
    ++length;
  }
  extension[length] = '\0';
}

bool HasQkzExtension(LPCSTR name) {
  char extension[kExtensionCapacity];
  FileNameExtension(name, extension);
  return platform::lstrcmpA(extension, ".QKZ") == 0;
}

bool HasQkzExtensionW(LPCWSTR name) {
  const WCHAR* scan = name;
  if (scan[0] != 0 && scan[1] == u':') scan += 2;
  const WCHAR* dot = nullptr;
  for (; *scan != 0; ++scan) {
    if (*scan == u'\\' || *scan == u'/')
      dot = nullptr;  // a dot of an earlier component does not count
    else if (*scan == u'.')
      dot = scan;
  }
  if (dot == nullptr) return false;
  const char16_t kExtension[] = u".QKZ";
  for (int i = 0; i < 5; ++i)
    if (static_cast<char16_t>(dot[i]) != kExtension[i]) return false;
  return true;
}

}  // namespace korvo
