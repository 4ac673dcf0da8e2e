// The platform operations without Windows, with the Win32 semantics that the
// plug-ins rely on (see platform.h for the handle representation).
#ifndef _WIN32

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/test_hooks.h"

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

// Only the instrumented copies of the layer (KORVO_PLATFORM_HOOKS) look for
// the hooks; the plain build has none, and the code using them folds away.
PlatformHooks* Hooks() {
#if KORVO_PLATFORM_HOOKS
  static PlatformHooks* const hooks =
      static_cast<PlatformHooks*>(dlsym(RTLD_DEFAULT, kHooksSymbol));
  return hooks;
#else
  return nullptr;
#endif
}

// Counts the call and tells whether a test asked this one to fail.
bool InjectedFault(PlatformOperation op) {
  PlatformHooks* hooks = Hooks();
  if (hooks == nullptr) return false;
  long call = hooks->calls[op].fetch_add(1) + 1;
  return call == hooks->failAt[op].load();
}

BlockHeader* HeaderOf(HGLOBAL block) {
  auto* header = static_cast<BlockHeader*>(block);
  if (header == nullptr || header->magic != kBlockMagic) return nullptr;
  return header;
}

HANDLE FileHandle(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)); }
int Descriptor(HANDLE file) { return static_cast<int>(reinterpret_cast<intptr_t>(file)); }

#if KORVO_PLATFORM_HOOKS
// Files served from memory (test hooks only). Their handles are -2, -3, ...,
// below the invalid handle, so they never collide with a descriptor.
struct MemoryFile {
  std::atomic<bool> open;
  const unsigned char* bytes;
  uint64_t size;
  uint64_t position;
};
constexpr int kMemoryFileSlots = 16;
MemoryFile memoryFiles[kMemoryFileSlots];

MemoryFile* MemoryFileOf(HANDLE file) {
  intptr_t value = reinterpret_cast<intptr_t>(file);
  if (value > -2 || value < -1 - kMemoryFileSlots) return nullptr;
  return &memoryFiles[-2 - value];
}

HANDLE OpenMemoryFile(const char* name) {
  PlatformHooks* hooks = Hooks();
  const char* path = hooks == nullptr ? nullptr : hooks->memoryFilePath.load();
  if (path == nullptr || strcmp(path, name) != 0) return nullptr;
  for (int slot = 0; slot < kMemoryFileSlots; ++slot) {
    bool closed = false;
    if (memoryFiles[slot].open.compare_exchange_strong(closed, true)) {
      memoryFiles[slot].bytes = hooks->memoryFileBytes.load();
      memoryFiles[slot].size = hooks->memoryFileSize.load();
      memoryFiles[slot].position = 0;
      return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2 - slot));
    }
  }
  return INVALID_HANDLE_VALUE;
}
#else
struct MemoryFile {
  bool open;
  const unsigned char* bytes;
  uint64_t size;
  uint64_t position;
};
MemoryFile* MemoryFileOf(HANDLE) { return nullptr; }
HANDLE OpenMemoryFile(const char*) { return nullptr; }
#endif

// Counts a file the layer opened (+1) or closed (-1).
void CountOpenFile(int change) {
  if (PlatformHooks* hooks = Hooks()) hooks->openFiles += change;
}

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
  if (PlatformHooks* hooks = Hooks()) {
    hooks->liveBlocks += 1;
    long long live = hooks->liveBytes += static_cast<long long>(bytes);
    long long peak = hooks->peakLiveBytes.load();
    while (live > peak && !hooks->peakLiveBytes.compare_exchange_weak(peak, live)) {
    }
  }
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
  if (PlatformHooks* hooks = Hooks()) {
    hooks->liveBlocks -= 1;
    hooks->liveBytes -= static_cast<long long>(header->size);
  }
  header->magic = 0;
  free(header);
  return nullptr;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, DWORD disposition, DWORD) {
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

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead) {
  *bytesRead = 0;
  DWORD limit = bytesToRead;
  bool fault = InjectedFault(kOpRead);
  if (fault) {
    long shortBy = Hooks()->readShortBy.load();
    if (shortBy <= 0 || static_cast<DWORD>(shortBy) > bytesToRead) return 0;
    limit = bytesToRead - static_cast<DWORD>(shortBy);
  }
  if (MemoryFile* served = MemoryFileOf(file)) {
    uint64_t left = served->size - std::min(served->position, served->size);
    *bytesRead = static_cast<DWORD>(std::min<uint64_t>(limit, left));
    if (*bytesRead > 0) memcpy(buffer, served->bytes + served->position, *bytesRead);
    served->position += *bytesRead;
    return fault ? 0 : 1;
  }
  int fd = Descriptor(file);
  auto* out = static_cast<char*>(buffer);
  while (*bytesRead < limit) {
    ssize_t got = read(fd, out + *bytesRead, limit - *bytesRead);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return 0;
    if (got == 0) break;
    *bytesRead += static_cast<DWORD>(got);
  }
  return fault ? 0 : 1;
}

DWORD SetFilePointer(HANDLE file, LONG distanceFromStart) {
  if (InjectedFault(kOpSeek)) return INVALID_SET_FILE_POINTER;
  if (distanceFromStart < 0) return INVALID_SET_FILE_POINTER;
  if (MemoryFile* served = MemoryFileOf(file)) {
    served->position = static_cast<uint64_t>(distanceFromStart);
    return static_cast<DWORD>(distanceFromStart);
  }
  off_t landed = lseek(Descriptor(file), distanceFromStart, SEEK_SET);
  if (landed < 0) return INVALID_SET_FILE_POINTER;
  return static_cast<DWORD>(landed);
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

int lstrlenA(LPCSTR text) { return text == nullptr ? 0 : static_cast<int>(strlen(text)); }

LPSTR lstrcpyA(LPSTR destination, LPCSTR source) { return strcpy(destination, source); }

int lstrcmpA(LPCSTR first, LPCSTR second) { return strcmp(first, second); }

int wsprintfA(LPSTR out, LPCSTR format, ...) {
  // wsprintfA writes at most 1024 bytes.
  va_list arguments;
  va_start(arguments, format);
  int written = vsnprintf(out, 1024, format, arguments);
  va_end(arguments);
  return written < 0 ? 0 : (written > 1023 ? 1023 : written);
}

BOOL IsDBCSLeadByte(BYTE byte) {
  PlatformHooks* hooks = Hooks();
  const unsigned char* table = hooks == nullptr ? nullptr : hooks->leadBytes.load();
  return table != nullptr && table[byte] != 0;
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) { pthread_mutex_init(&lock->mutex, nullptr); }
void EnterCriticalSection(CRITICAL_SECTION* lock) { pthread_mutex_lock(&lock->mutex); }
void LeaveCriticalSection(CRITICAL_SECTION* lock) { pthread_mutex_unlock(&lock->mutex); }
void DeleteCriticalSection(CRITICAL_SECTION* lock) { pthread_mutex_destroy(&lock->mutex); }

BOOL DisableThreadLibraryCalls(HMODULE) { return 1; }

}  // namespace platform

#endif
