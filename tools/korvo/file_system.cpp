#include "tools/korvo/file_system.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

namespace korvo {

#ifdef _WIN32

std::wstring WideOf(const std::string& utf8) {
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (length > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  return wide;
}

std::string Utf8OfWide(const wchar_t* text, size_t length) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &utf8[0], size, nullptr, nullptr);
  return utf8;
}

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(Utf8OfWide(argv[i], wcslen(argv[i])));
  return words;
}

FILE* OpenFile(const std::string& path, const char* mode) {
  return _wfopen(WideOf(path).c_str(), WideOf(mode).c_str());
}

bool RemoveFile(const std::string& path) { return _wremove(WideOf(path).c_str()) == 0; }

bool RenameOver(const std::string& from, const std::string& to) {
  if (MoveFileExW(WideOf(from).c_str(), WideOf(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0)
    return true;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
}

std::filesystem::path PathOf(const std::string& path) { return std::filesystem::path(WideOf(path)); }

std::string Utf8Of(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  return Utf8OfWide(wide.data(), wide.size());
}

#else

FILE* OpenFile(const std::string& path, const char* mode) { return fopen(path.c_str(), mode); }
bool RemoveFile(const std::string& path) { return remove(path.c_str()) == 0; }
bool RenameOver(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}
std::filesystem::path PathOf(const std::string& path) { return std::filesystem::path(path); }
std::string Utf8Of(const std::filesystem::path& path) { return path.native(); }

#endif

}  // namespace korvo
