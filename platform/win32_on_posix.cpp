// The Windows emulation: the platform operations without Windows, with the
// Win32 semantics that the plug-ins rely on (see platform.h for the handle
// representation). What the instrumented layer adds for tests, faults and
// files served from memory, lives in test_instruments.h.
#ifndef _WIN32

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/test_instruments.h"

namespace platform {
namespace {

// Layout of a block; see the top of platform.h.
struct BlockHeader {
  uint32_t magic;      // kBlockMagic while the block is alive
  uint32_t flags;      // the GlobalAlloc flags
  uint32_t lockCount;  // moveable blocks only
  uint32_t reserved;
  uint64_t size;       // bytes of data
};
constexpr uint32_t kBlockMagic = 0x424D474Bu;  // "KGMB"
constexpr size_t kBlockDataOffset = 32;

BlockHeader* HeaderOf(HGLOBAL block) {
  auto* header = static_cast<BlockHeader*>(block);
  if (header == nullptr || header->magic != kBlockMagic) return nullptr;
  return header;
}

HANDLE FileHandle(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)); }
int Descriptor(HANDLE file) { return static_cast<int>(reinterpret_cast<intptr_t>(file)); }

// Another party holds the file open for writing (a write lock on it): a
// reader that shares only reading must then be refused, as on Windows.
bool HeldForWriting(int fd) {
  struct flock probe = {};
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (InjectedFault(kOpAlloc)) return nullptr;
  if (bytes > SIZE_MAX - kBlockDataOffset) return nullptr;
  void* memory = (flags & GMEM_ZEROINIT) ? calloc(1, kBlockDataOffset + bytes)
                                         : malloc(kBlockDataOffset + bytes);
  if (memory == nullptr) return nullptr;
  auto* header = static_cast<BlockHeader*>(memory);
  *header = BlockHeader{kBlockMagic, flags, 0, 0, bytes};
  CountBlock(+1, static_cast<long long>(bytes));
  return header;
}

void* GlobalLock(HGLOBAL block) {
  if (InjectedFault(kOpLock)) return nullptr;
  BlockHeader* header = HeaderOf(block);
  if (header == nullptr) return nullptr;
  if (header->flags & GMEM_MOVEABLE) {
    if (header->lockCount == GMEM_LOCKCOUNT) return nullptr;
    ++header->lockCount;
  }
  return reinterpret_cast<char*>(header) + kBlockDataOffset;
}

BOOL GlobalUnlock(HGLOBAL block) {
  BlockHeader* header = HeaderOf(block);
  if (header == nullptr || header->lockCount == 0) return 0;
  --header->lockCount;
  return header->lockCount != 0;
}

UINT GlobalFlags(HGLOBAL block) {
  BlockHeader* header = HeaderOf(block);
  return header == nullptr ? 0 : header->lockCount;
}

SIZE_T GlobalSize(HGLOBAL block) {
  BlockHeader* header = HeaderOf(block);
  return header == nullptr ? 0 : static_cast<SIZE_T>(header->size);
}

HGLOBAL GlobalFree(HGLOBAL block) {
  BlockHeader* header = HeaderOf(block);
  if (header == nullptr) return block;
  CountBlock(-1, static_cast<long long>(header->size));
  header->magic = 0;
  free(header);
  return nullptr;
}

namespace {

// A new file for writing, never one that exists: the caller picks a fresh
// name and renames it into place when it is complete.
HANDLE CreateNewFile(LPCSTR name) {
  if (InjectedFault(kOpCreate)) {
    errno = EIO;  // an injected failure is never "the name exists"
    return INVALID_HANDLE_VALUE;
  }
  int fd;
  do {
    fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  CountOpenFile(+1);
  return FileHandle(fd);
}

// The UTF-8 form of a NUL-terminated UTF-16 name in a malloc'd buffer, or
// nullptr when the name holds an unpaired surrogate (no file has that name)
// or there is no memory.
char* Utf8Name(LPCWSTR name) {
  if (name == nullptr) return nullptr;
  size_t units = 0;
  while (name[units] != 0) ++units;
  if (units > (SIZE_MAX - 1) / 3) return nullptr;
  auto* out = static_cast<char*>(malloc(units * 3 + 1));  // 3 bytes per unit at most
  if (out == nullptr) return nullptr;
  size_t at = 0;
  for (size_t i = 0; i < units; ++i) {
    uint32_t code = name[i];
    if (code >= 0xD800 && code <= 0xDBFF && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (name[i + 1] - 0xDC00u);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      free(out);
      return nullptr;
    }
    if (code < 0x80) {
      out[at++] = static_cast<char>(code);
    } else if (code < 0x800) {
      out[at++] = static_cast<char>(0xC0 | code >> 6);
      out[at++] = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out[at++] = static_cast<char>(0xE0 | code >> 12);
      out[at++] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out[at++] = static_cast<char>(0x80 | (code & 0x3F));
    } else {  // a pair: two units made four bytes
      out[at++] = static_cast<char>(0xF0 | code >> 18);
      out[at++] = static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out[at++] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out[at++] = static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  out[at] = '\0';
  return out;
}

// The code point of the UTF-8 sequence at `text` (`left` bytes remain) and
// its length in *length; U+FFFD and a length of 1 for a byte that starts no
// valid sequence (overlong forms and surrogates included).
uint32_t DecodeUtf8(const unsigned char* text, size_t left, size_t* length) {
  *length = 1;
  unsigned char lead = text[0];
  if (lead < 0x80) return lead;
  size_t need = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
  if (need == 0 || need > left) return 0xFFFD;
  uint32_t code = lead & (0x7F >> need);
  for (size_t i = 1; i < need; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0xFFFD;
    code = code << 6 | (text[i] & 0x3Fu);
  }
  const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[need] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0xFFFD;
  *length = need;
  return code;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, DWORD disposition,
                   DWORD flagsAndAttributes) {
  char* utf8 = Utf8Name(name);
  if (utf8 == nullptr) {
    // Counted like any open, so that a test's tally does not depend on the name.
    InjectedFault(access == GENERIC_WRITE ? kOpCreate : kOpOpen);
    errno = ENOENT;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file = CreateFileA(utf8, access, share, disposition, flagsAndAttributes);
  free(utf8);
  return file;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, DWORD disposition, DWORD) {
  if (access == GENERIC_WRITE && disposition == CREATE_NEW && name != nullptr)
    return CreateNewFile(name);
  if (InjectedFault(kOpOpen)) return INVALID_HANDLE_VALUE;
  if (name == nullptr || access != GENERIC_READ || disposition != OPEN_EXISTING)
    return INVALID_HANDLE_VALUE;
  if (HANDLE served = OpenMemoryFile(name)) {
    if (served != INVALID_HANDLE_VALUE) CountOpenFile(+1);
    return served;
  }
  int fd;
  do {
    fd = open(name, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  // A folder cannot be opened as a file.
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || HeldForWriting(fd)) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  CountOpenFile(+1);
  return FileHandle(fd);
}

namespace {

// Up to `limit` bytes at `position` into `buffer`, *got the bytes read: false
// when the system fails a read, true at the end of the file or the limit.
bool ReadDescriptorAt(int fd, DWORD position, void* buffer, DWORD limit, DWORD* got) {
  auto* out = static_cast<char*>(buffer);
  while (*got < limit) {
    ssize_t piece = pread(fd, out + *got, limit - *got, static_cast<off_t>(uint64_t{position} + *got));
    if (piece < 0 && errno == EINTR) continue;
    if (piece < 0) return false;
    if (piece == 0) break;
    *got += static_cast<DWORD>(piece);
  }
  return true;
}

}  // namespace

BOOL ReadFileAt(HANDLE file, DWORD position, void* buffer, DWORD bytesToRead, DWORD* bytesRead) {
  *bytesRead = 0;
  DWORD limit = bytesToRead;
  bool fault = InjectedFault(kOpRead);
  if (fault) {
    long shortBy = Hooks()->readShortBy.load();
    if (shortBy <= 0 || static_cast<DWORD>(shortBy) > bytesToRead) return 0;
    limit = bytesToRead - static_cast<DWORD>(shortBy);
  }
  if (MemoryFile* served = MemoryFileOf(file)) {
    uint64_t left = served->size - std::min<uint64_t>(position, served->size);
    *bytesRead = static_cast<DWORD>(std::min<uint64_t>(limit, left));
    if (*bytesRead > 0) memcpy(buffer, served->bytes + position, *bytesRead);
    CountBytesRead(*bytesRead);
    return fault ? 0 : 1;
  }
  const bool read = ReadDescriptorAt(Descriptor(file), position, buffer, limit, bytesRead);
  CountBytesRead(*bytesRead);
  return fault || !read ? 0 : 1;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) {
  *bytesWritten = 0;
  if (InjectedFault(kOpWrite)) return 0;
  if (MemoryFileOf(file) != nullptr) return 0;
  const auto* in = static_cast<const char*>(buffer);
  while (*bytesWritten < bytesToWrite) {
    ssize_t put = write(Descriptor(file), in + *bytesWritten, bytesToWrite - *bytesWritten);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return 0;
    *bytesWritten += static_cast<DWORD>(put);
  }
  return 1;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
  if (InjectedFault(kOpRename)) return 0;
  if (from == nullptr || to == nullptr) return 0;
  if (flags & MOVEFILE_REPLACE_EXISTING) return rename(from, to) == 0;
  // Without replacing: a hard link fails when `to` exists, then the old name goes.
  if (link(from, to) != 0) return 0;
  return unlink(from) == 0;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  char* fromUtf8 = Utf8Name(from);
  char* toUtf8 = Utf8Name(to);
  BOOL moved = fromUtf8 != nullptr && toUtf8 != nullptr ? MoveFileExA(fromUtf8, toUtf8, flags)
                                                          : (InjectedFault(kOpRename), 0);
  free(fromUtf8);
  free(toUtf8);
  return moved;
}

BOOL DeleteFileA(LPCSTR name) { return name != nullptr && unlink(name) == 0; }

BOOL DeleteFileW(LPCWSTR name) {
  char* utf8 = Utf8Name(name);
  BOOL deleted = utf8 != nullptr && DeleteFileA(utf8);
  free(utf8);
  return deleted;
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  if (InjectedFault(kOpSize)) return 0;
  struct stat status;
  if (MemoryFile* served = MemoryFileOf(file)) {
    status.st_size = static_cast<off_t>(served->size);
    status.st_mtim.tv_sec = 0;
    status.st_mtim.tv_nsec = 0;
  } else if (fstat(Descriptor(file), &status) != 0) {
    return 0;
  }
  *information = BY_HANDLE_FILE_INFORMATION{};
  const auto size = static_cast<uint64_t>(status.st_size);
  information->nFileSizeLow = static_cast<DWORD>(size);
  information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  // 100-nanosecond intervals since 1601, as Windows counts them.
  constexpr int64_t kIntervalsTo1970 = 116444736000000000;
  int64_t intervals = static_cast<int64_t>(status.st_mtim.tv_sec) * 10000000 +
                      status.st_mtim.tv_nsec / 100 + kIntervalsTo1970;
  if (intervals < 0) intervals = 0;
  information->ftLastWriteTime.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(intervals));
  information->ftLastWriteTime.dwHighDateTime =
      static_cast<DWORD>(static_cast<uint64_t>(intervals) >> 32);
  return 1;
}

DWORD GetFileSize(HANDLE file, DWORD* high) {
  if (InjectedFault(kOpSize)) return INVALID_FILE_SIZE;
  uint64_t size;
  if (MemoryFile* served = MemoryFileOf(file)) {
    size = served->size;
  } else {
    struct stat status;
    if (fstat(Descriptor(file), &status) != 0) return INVALID_FILE_SIZE;
    size = static_cast<uint64_t>(status.st_size);
  }
  if (high != nullptr) *high = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size);
}

BOOL CloseHandle(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) return 0;
  CountOpenFile(-1);
  if (MemoryFile* served = MemoryFileOf(file)) {
    served->open = false;
    return 1;
  }
  return close(Descriptor(file)) == 0;
}


BOOL IsDBCSLeadByte(BYTE byte) {
  PlatformHooks* hooks = Hooks();
  const unsigned char* table = hooks == nullptr ? nullptr : hooks->leadBytes.load();
  return table != nullptr && table[byte] != 0;
}

int MultiByteToWideChar(LPCSTR text, int bytes, LPWSTR out, int outUnits) {
  if (text == nullptr || outUnits < 0) return 0;
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  size_t total = bytes < 0 ? strlen(text) + 1 : static_cast<size_t>(bytes);
  size_t units = 0;
  for (size_t at = 0; at < total;) {
    size_t length = 1;
    uint32_t code = DecodeUtf8(in + at, total - at, &length);
    at += length;
    size_t need = code >= 0x10000 ? 2 : 1;
    if (outUnits > 0) {
      if (units + need > static_cast<size_t>(outUnits)) return 0;  // as Windows: too small
      if (need == 2) {
        out[units] = static_cast<WCHAR>(0xD800 + ((code - 0x10000) >> 10));
        out[units + 1] = static_cast<WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF));
      } else {
        out[units] = static_cast<WCHAR>(code);
      }
    }
    units += need;
    if (units > INT32_MAX) return 0;
  }
  return static_cast<int>(units);
}

BOOL SetFileTime(HANDLE file, const FILETIME* lastWrite) {
  if (MemoryFileOf(file) != nullptr) return 0;
  constexpr uint64_t kIntervalsPerSecond = 10000000;
  constexpr uint64_t kIntervalsTo1970 = 116444736000000000;
  const uint64_t intervals = uint64_t{lastWrite->dwHighDateTime} << 32 | lastWrite->dwLowDateTime;
  if (intervals < kIntervalsTo1970) return 0;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>((intervals - kIntervalsTo1970) / kIntervalsPerSecond);
  times[1].tv_nsec = static_cast<long>((intervals - kIntervalsTo1970) % kIntervalsPerSecond * 100);
  return futimens(Descriptor(file), times) == 0;
}

DWORD GetLastError() { return errno == EEXIST ? ERROR_FILE_EXISTS : 31u; }  // 31: general failure

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

void InitializeCriticalSection(CRITICAL_SECTION* lock) { pthread_mutex_init(&lock->mutex, nullptr); }
void EnterCriticalSection(CRITICAL_SECTION* lock) { pthread_mutex_lock(&lock->mutex); }
void LeaveCriticalSection(CRITICAL_SECTION* lock) { pthread_mutex_unlock(&lock->mutex); }
void DeleteCriticalSection(CRITICAL_SECTION* lock) { pthread_mutex_destroy(&lock->mutex); }

BOOL DisableThreadLibraryCalls(HMODULE) { return 1; }

}  // namespace platform

#endif
