#include "tools/host/platform/positional_file.h"

#include <cerrno>

#include "tools/host/platform/files.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvo {
namespace {

// The file's size from its open handle; false when the system cannot say.
bool SizeOf(FILE* file, uint64_t* size) {
#ifdef _WIN32
  LARGE_INTEGER bytes;
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), &bytes)) return false;
  *size = static_cast<uint64_t>(bytes.QuadPart);
#else
  struct stat about = {};
  if (fstat(fileno(file), &about) != 0) return false;
  *size = static_cast<uint64_t>(about.st_size);
#endif
  return true;
}

// One read at a 64-bit position, without moving a file position that
// another reader shares; the bytes that arrived, or -1 on a failure.
int64_t ReadOnceAt(FILE* file, uint64_t position, uint8_t* out, uint32_t count) {
#ifdef _WIN32
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(position);
  at.OffsetHigh = static_cast<DWORD>(position >> 32);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), out, count, &got, &at))
    return -1;
  return got;
#else
  ssize_t got;
  do got = pread(fileno(file), out, count, static_cast<off_t>(position));
  while (got < 0 && errno == EINTR);
  return got;
#endif
}

}  // namespace

PositionalFile::~PositionalFile() {
  if (file != nullptr) fclose(file);
}

bool OpenPositionalFile(const std::string& path, PositionalFile* file, std::string* error) {
  // Opened as every input is: a regular file only, never blocking on a FIFO.
  file->file = OpenForReading(path, error);
  if (file->file == nullptr) return false;
  if (SizeOf(file->file, &file->size)) return true;
  *error = "cannot read the file's size";
  return false;
}

uint32_t ReadPositional(const PositionalFile& file, uint64_t position, uint8_t* out, uint32_t count) {
  uint32_t done = 0;
  while (done < count) {
    const int64_t got = ReadOnceAt(file.file, position + done, out + done, count - done);
    if (got <= 0) break;
    done += static_cast<uint32_t>(got);
  }
  return done;
}

}  // namespace korvo
