// Files by UTF-8 name. korvo keeps every path and name in UTF-8; on Windows
// these open, create, rename and remove through the wide functions, so any
// name the file system holds works, whatever the system code page.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace korvo {

FILE* OpenFile(const std::string& path, const char* mode);
bool RemoveFile(const std::string& path);
// Renames over an existing file; errno tells why not.
bool RenameOver(const std::string& from, const std::string& to);

std::filesystem::path PathOf(const std::string& path);
std::string Utf8Of(const std::filesystem::path& path);

#ifdef _WIN32
std::wstring WideOf(const std::string& utf8);
std::string Utf8OfWide(const wchar_t* text, size_t length);
// The command line's words in UTF-8, and output in UTF-8 on a console.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);
#endif

}  // namespace korvo
