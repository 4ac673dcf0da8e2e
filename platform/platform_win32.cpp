// The platform operations on Windows: thin calls of KERNEL32 and USER32.
#ifdef _WIN32

#include "platform/platform.h"
#include "platform/test_hooks.h"

namespace platform {
namespace {

// The instrumented copies of the layer (KORVO_PLATFORM_HOOKS) count live
// blocks and open files into the hooks the test program exports; the plain
// build counts nothing.
PlatformHooks* Hooks() {
#if KORVO_PLATFORM_HOOKS
  static PlatformHooks* const hooks = reinterpret_cast<PlatformHooks*>(
      ::GetProcAddress(::GetModuleHandleW(nullptr), kHooksSymbol));
  return hooks;
#else
  return nullptr;
#endif
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  HGLOBAL block = ::GlobalAlloc(flags, bytes);
  PlatformHooks* hooks = Hooks();
  if (hooks != nullptr && block != nullptr) {
    hooks->liveBlocks += 1;
    hooks->liveBytes += static_cast<long long>(bytes);
  }
  return block;
}
void* GlobalLock(HGLOBAL block) { return ::GlobalLock(block); }
BOOL GlobalUnlock(HGLOBAL block) { return ::GlobalUnlock(block); }
UINT GlobalFlags(HGLOBAL block) { return ::GlobalFlags(block); }
SIZE_T GlobalSize(HGLOBAL block) { return block == nullptr ? 0 : ::GlobalSize(block); }
HGLOBAL GlobalFree(HGLOBAL block) {
  PlatformHooks* hooks = Hooks();
  const SIZE_T bytes = hooks != nullptr && block != nullptr ? ::GlobalSize(block) : 0;
  HGLOBAL failed = ::GlobalFree(block);
  if (hooks != nullptr && block != nullptr && failed == nullptr) {
    hooks->liveBlocks -= 1;
    hooks->liveBytes -= static_cast<long long>(bytes);
  }
  return failed;
}

namespace {

HANDLE CountedOpen(HANDLE file) {
  if (PlatformHooks* hooks = Hooks(); hooks != nullptr && file != INVALID_HANDLE_VALUE)
    hooks->openFiles += 1;
  return file;
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, DWORD disposition,
                   DWORD flagsAndAttributes) {
  return CountedOpen(
      ::CreateFileA(name, access, share, nullptr, disposition, flagsAndAttributes, nullptr));
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, DWORD disposition,
                   DWORD flagsAndAttributes) {
  return CountedOpen(
      ::CreateFileW(name, access, share, nullptr, disposition, flagsAndAttributes, nullptr));
}

BOOL ReadFileAt(HANDLE file, DWORD position, void* buffer, DWORD bytesToRead, DWORD* bytesRead) {
  *bytesRead = 0;
  OVERLAPPED at = {};
  at.Offset = position;
  return ::ReadFile(file, buffer, bytesToRead, bytesRead, &at);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) {
  *bytesWritten = 0;
  return ::WriteFile(file, buffer, bytesToWrite, bytesWritten, nullptr) &&
         *bytesWritten == bytesToWrite;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) { return ::MoveFileExA(from, to, flags); }
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) { return ::MoveFileExW(from, to, flags); }
BOOL DeleteFileA(LPCSTR name) { return ::DeleteFileA(name); }
BOOL DeleteFileW(LPCWSTR name) { return ::DeleteFileW(name); }

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  return ::GetFileInformationByHandle(file, information);
}

DWORD GetFileSize(HANDLE file, DWORD* high) { return ::GetFileSize(file, high); }
BOOL CloseHandle(HANDLE file) {
  BOOL closed = ::CloseHandle(file);
  if (PlatformHooks* hooks = Hooks(); hooks != nullptr && closed) hooks->openFiles -= 1;
  return closed;
}

BOOL SetFileTime(HANDLE file, const FILETIME* lastWrite) {
  return ::SetFileTime(file, nullptr, nullptr, lastWrite);
}

DWORD GetLastError() { return ::GetLastError(); }


BOOL IsDBCSLeadByte(BYTE byte) { return ::IsDBCSLeadByte(byte); }

int MultiByteToWideChar(LPCSTR text, int bytes, LPWSTR out, int outUnits) {
  return ::MultiByteToWideChar(CP_ACP, 0, text, bytes, out, outUnits);
}

DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }

void InitializeCriticalSection(CRITICAL_SECTION* lock) { ::InitializeCriticalSection(lock); }
void EnterCriticalSection(CRITICAL_SECTION* lock) { ::EnterCriticalSection(lock); }
void LeaveCriticalSection(CRITICAL_SECTION* lock) { ::LeaveCriticalSection(lock); }
void DeleteCriticalSection(CRITICAL_SECTION* lock) { ::DeleteCriticalSection(lock); }

BOOL DisableThreadLibraryCalls(HMODULE module) { return ::DisableThreadLibraryCalls(module); }

}  // namespace platform

#endif
