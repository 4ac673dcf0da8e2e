#include "tools/host/platform/files.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvo {

#ifdef _WIN32

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(Utf8OfWide(argv[i]));
  return words;
}

namespace {
// Only a file on a disk, never a folder, a console, a pipe or a device.
FILE* OpenExisting(const std::string& path, std::string* error) {
  // BACKUP_SEMANTICS opens a folder too, so that it is told apart.
  HANDLE handle = CreateFileW(WideOf(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD reason = GetLastError();
    *error = reason == ERROR_ACCESS_DENIED ? "cannot open: Permission denied"
                                           : "cannot open: No such file or directory";
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION about = {};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &about) ||
      (about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(handle);
    *error = "not a regular file";
    return nullptr;
  }
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (descriptor < 0) {
    CloseHandle(handle);
    *error = "cannot open";
    return nullptr;
  }
  FILE* file = _fdopen(descriptor, "rb");
  if (file == nullptr) {
    _close(descriptor);
    *error = "cannot open";
  }
  return file;
}

// A stream to write through an open handle, which it then owns; the handle
// is closed when none can be made.
FILE* WritingStreamOf(HANDLE handle) {
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (descriptor < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  FILE* file = _fdopen(descriptor, "wb");
  if (file == nullptr) _close(descriptor);
  return file;
}
}  // namespace

FILE* CreateNewFile(const std::string& path) {
  // CREATE_NEW fails on any existing name, a link or junction included.
  HANDLE handle = CreateFileW(WideOf(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD reason = GetLastError();
    errno = reason == ERROR_FILE_EXISTS || reason == ERROR_ALREADY_EXISTS ? EEXIST
            : reason == ERROR_ACCESS_DENIED                                ? EACCES
                                                                           : ENOENT;
    return nullptr;
  }
  return WritingStreamOf(handle);
}

bool RemoveFile(const std::string& path) { return _wremove(WideOf(path).c_str()) == 0; }

FILE* OpenInPlace(const std::string& path, bool* created, std::string* error) {
  // OPEN_REPARSE_POINT opens a link itself, which the checks below refuse.
  HANDLE handle = CreateFileW(WideOf(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = GetLastError() == ERROR_ACCESS_DENIED ? "cannot open: Permission denied"
                                                   : "cannot open: No such file or directory";
    return nullptr;
  }
  *created = GetLastError() != ERROR_ALREADY_EXISTS;
  BY_HANDLE_FILE_INFORMATION about = {};
  if (!GetFileInformationByHandle(handle, &about) ||
      (about.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      GetFileType(handle) != FILE_TYPE_DISK || about.nNumberOfLinks != 1) {
    CloseHandle(handle);
    *error = "not a plain file to write into";
    return nullptr;
  }
  FILE* file = WritingStreamOf(handle);
  if (file == nullptr) *error = "cannot open";
  return file;
}

bool EmptyFile(FILE* file) { return fflush(file) == 0 && _chsize_s(_fileno(file), 0) == 0; }
bool SyncFile(FILE* file) { return fflush(file) == 0 && _commit(_fileno(file)) == 0; }
// Windows has no handle to a folder that FlushFileBuffers takes; NTFS
// journals the rename itself.
void SyncFolderOf(const std::string&) {}

bool RenameOver(const std::string& from, const std::string& to) {
  if (MoveFileExW(WideOf(from).c_str(), WideOf(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0)
    return true;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
}

std::filesystem::path PathOf(const std::string& path) { return std::filesystem::path(WideOf(path)); }

std::string Utf8Of(const std::filesystem::path& path) { return Utf8OfWide(path.native()); }

#else

namespace {
// O_NONBLOCK so that a FIFO without a writer cannot hold korvo up before
// fstat tells what it is; reads of a regular file then block as usual.
FILE* OpenExisting(const std::string& path, std::string* error) {
  int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    *error = std::string("cannot open: ") + strerror(errno);
    return nullptr;
  }
  struct stat about = {};
  if (fstat(descriptor, &about) != 0 || !S_ISREG(about.st_mode)) {
    *error = S_ISDIR(about.st_mode) ? "is a folder" : "not a regular file";
    close(descriptor);
    return nullptr;
  }
  const int flags = fcntl(descriptor, F_GETFL);
  FILE* file = flags != -1 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == 0
                   ? fdopen(descriptor, "rb")
                   : nullptr;
  if (file == nullptr) {
    *error = std::string("cannot open: ") + strerror(errno);
    close(descriptor);
  }
  return file;
}
}  // namespace
FILE* CreateNewFile(const std::string& path) {
  int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) close(descriptor);
  return file;
}
bool RemoveFile(const std::string& path) { return remove(path.c_str()) == 0; }

FILE* OpenInPlace(const std::string& path, bool* created, std::string* error) {
  const int flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC;
  int descriptor = open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
  *created = descriptor >= 0;
  // O_NONBLOCK: a FIFO planted at the name must not hold korvo up.
  if (descriptor < 0 && errno == EEXIST) descriptor = open(path.c_str(), flags | O_NONBLOCK);
  if (descriptor < 0) {
    *error = std::string("cannot open: ") + strerror(errno);
    return nullptr;
  }
  struct stat about = {};
  if (fstat(descriptor, &about) != 0 || !S_ISREG(about.st_mode) || about.st_nlink != 1 ||
      fcntl(descriptor, F_SETFL, O_WRONLY) != 0) {
    close(descriptor);
    *error = "not a plain file to write into";
    return nullptr;
  }
  FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) close(descriptor);
  return file;
}

bool EmptyFile(FILE* file) { return fflush(file) == 0 && ftruncate(fileno(file), 0) == 0; }
bool SyncFile(FILE* file) { return fflush(file) == 0 && fsync(fileno(file)) == 0; }

void SyncFolderOf(const std::string& path) {
  std::string folder = PathOf(path).parent_path().native();
  if (folder.empty()) folder = ".";
  int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  // The file is whole under its name already; a file system that cannot
  // flush a folder leaves nothing to undo.
  (void)fsync(descriptor);
  close(descriptor);
}

bool RenameOver(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}
std::filesystem::path PathOf(const std::string& path) { return std::filesystem::path(path); }
std::string Utf8Of(const std::filesystem::path& path) { return path.native(); }

#endif

bool IsTerminal(FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

FILE* OpenForReading(const std::string& path, std::string* error) {
  std::error_code failure;
  if (std::filesystem::is_directory(PathOf(path), failure)) {
    *error = "is a folder";
    return nullptr;
  }
  return OpenExisting(path, error);
}

bool ReadWholeFile(const std::string& path, Bytes* data, std::string* error) {
  FILE* file = OpenForReading(path, error);
  if (file == nullptr) return false;
  data->clear();
  uint8_t buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) data->insert(data->end(), buffer, buffer + got);
  bool failed = ferror(file) != 0;
  fclose(file);
  if (failed) *error = "cannot read the file";
  return !failed;
}

}  // namespace korvo
