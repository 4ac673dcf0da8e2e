// Files by UTF-8 name. korvo keeps every path and name in UTF-8; on Windows
// these open, create, rename and remove through the wide functions, so any
// name the file system holds works, whatever the system code page.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "tools/host/platform/code_pages.h"

namespace korvo {

// Creates `path` as a new file to write, never through a link nor over
// anything that has the name (errno EEXIST then).
FILE* CreateNewFile(const std::string& path);
bool RemoveFile(const std::string& path);
// Opens `path` to be written in place, keeping the file others may hold
// open: creates it new when nothing has the name (`created`), else opens the
// regular file there, never through a link nor a file with a second name.
// Fails with the reason.
FILE* OpenInPlace(const std::string& path, bool* created, std::string* error);
// Cuts an open file to nothing, and forces its bytes to the disk.
bool EmptyFile(FILE* file);
bool SyncFile(FILE* file);
// Forces the entries of the folder that holds `path` (a rename into it) to
// the disk; a no-op where folders cannot be flushed (Windows).
void SyncFolderOf(const std::string& path);
// Renames over an existing file; errno tells why not.
bool RenameOver(const std::string& from, const std::string& to);

std::filesystem::path PathOf(const std::string& path);
std::string Utf8Of(const std::filesystem::path& path);

// Opens the file at `path` to read it, refusing anything but a regular file
// (a folder, a device such as /dev/zero, a FIFO, a socket) without waiting
// on it; fails with the reason.
FILE* OpenForReading(const std::string& path, std::string* error);

// The whole file; fails with the reason.
bool ReadWholeFile(const std::string& path, Bytes* data, std::string* error);

// Whether the stream goes to a terminal, where a progress line may redraw.
bool IsTerminal(FILE* stream);

#ifdef _WIN32
// The command line's words in UTF-8, and output in UTF-8 on a console.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);
#endif

}  // namespace korvo
