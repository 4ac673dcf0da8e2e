#include "tools/korvo/file_system.h"

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
FILE* OpenExisting(const std::string& path) { return _wfopen(WideOf(path).c_str(), L"rb"); }

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
FILE* OpenExisting(const std::string& path) { return fopen(path.c_str(), "rb"); }
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

bool RenameOver(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}
std::filesystem::path PathOf(const std::string& path) { return std::filesystem::path(path); }
std::string Utf8Of(const std::filesystem::path& path) { return path.native(); }

#endif

FILE* OpenForReading(const std::string& path, std::string* error) {
  std::error_code failure;
  if (std::filesystem::is_directory(PathOf(path), failure)) {
    *error = "is a folder";
    return nullptr;
  }
  FILE* file = OpenExisting(path);
  if (file == nullptr) *error = std::string("cannot open: ") + strerror(errno);
  return file;
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
