#include "tools/korvo/positional_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/korvo/file_system.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvo {

#ifdef _WIN32

PositionalFile::~PositionalFile() {
  if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

bool OpenPositionalFile(const std::string& path, PositionalFile* file, std::string* error) {
  std::error_code failure;
  if (std::filesystem::is_directory(PathOf(path), failure)) {
    *error = "is a folder";
    return false;
  }
  HANDLE handle = CreateFileW(WideOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = GetLastError() == ERROR_ACCESS_DENIED ? "cannot open: Permission denied"
                                                   : "cannot open: No such file or directory";
    return false;
  }
  file->handle = reinterpret_cast<intptr_t>(handle);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle, &size)) {
    *error = "cannot read the file's size";
    return false;
  }
  file->size = static_cast<uint64_t>(size.QuadPart);
  return true;
}

uint32_t ReadPositional(const PositionalFile& file, uint64_t position, uint8_t* out, uint32_t count) {
  uint32_t done = 0;
  while (done < count) {
    OVERLAPPED at = {};
    const uint64_t where = position + done;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file.handle), out + done, count - done, &got, &at) ||
        got == 0)
      break;
    done += got;
  }
  return done;
}

#else

PositionalFile::~PositionalFile() {
  if (handle != -1) close(static_cast<int>(handle));
}

bool OpenPositionalFile(const std::string& path, PositionalFile* file, std::string* error) {
  // O_NONBLOCK: a FIFO at the name must not hold korvo up; it is refused below.
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) {
    *error = std::string("cannot open: ") + strerror(errno);
    return false;
  }
  file->handle = descriptor;
  struct stat about = {};
  if (fstat(descriptor, &about) != 0) {
    *error = "cannot read the file's size";
    return false;
  }
  if (!S_ISREG(about.st_mode)) {
    *error = S_ISDIR(about.st_mode) ? "is a folder" : "not a plain file";
    return false;
  }
  file->size = static_cast<uint64_t>(about.st_size);
  return true;
}

uint32_t ReadPositional(const PositionalFile& file, uint64_t position, uint8_t* out, uint32_t count) {
  uint32_t done = 0;
  while (done < count) {
    const ssize_t got = pread(static_cast<int>(file.handle), out + done, count - done,
                              static_cast<off_t>(position + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<uint32_t>(got);
  }
  return done;
}

#endif

}  // namespace korvo
