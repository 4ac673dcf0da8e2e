// The operating-system operations the plug-ins call, and nothing else.
//
// On Windows every operation is a thin call of the KERNEL32 or USER32
// function of the same name. Elsewhere they are emulated with the Win32
// semantics the plug-ins rely on; the plug-in code cannot tell the two apart.
//
// Handle representation without Windows (a Linux host that takes handles from
// a plug-in links its own copy of this layer and uses the same functions):
//   HGLOBAL  points to a block header allocated with malloc (its layout is
//            private to win32_on_posix.cpp; hosts ask GlobalSize); the block's
//            bytes follow it. GlobalLock returns that data address and counts
//            the lock (moveable blocks only, as on Windows: a fixed block
//            always reports a lock count of 0). GlobalFree is free() of the
//            header, so a block may be freed by any module of the process.
//   HANDLE   a file is its POSIX descriptor cast to a pointer;
//            INVALID_HANDLE_VALUE (-1) is "no file".
//   CRITICAL_SECTION wraps a pthread mutex.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <pthread.h>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef size_t SIZE_T;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef char16_t WCHAR;  // a UTF-16 code unit, as on Windows
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* HANDLE;
typedef void* HGLOBAL;
typedef void* HLOCAL;
typedef void* HMODULE;
typedef void* HINSTANCE;
struct CRITICAL_SECTION {
  pthread_mutex_t mutex;
};
struct FILETIME {  // 100-nanosecond intervals since 1601-01-01 UTC
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
// What GetFileInformationByHandle reports; without Windows only the size and
// the last-write time are filled, every other field is 0.
struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GMEM_LOCKCOUNT 0x00FFu
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define CREATE_NEW 1u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define ERROR_FILE_EXISTS 80u
#define ERROR_ALREADY_EXISTS 183u
#endif

namespace platform {

// Movable global memory blocks.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
UINT GlobalFlags(HGLOBAL block);  // low byte (GMEM_LOCKCOUNT): the lock count
SIZE_T GlobalSize(HGLOBAL block);  // bytes of the block; 0 for no block
HGLOBAL GlobalFree(HGLOBAL block);  // returns nullptr on success

// Files. Two kinds of opening are used: GENERIC_READ of an existing file,
// shared for reading only, and GENERIC_WRITE of a new one (CREATE_NEW, not
// shared), which fails when the name exists. Reads name their position, so
// a file is read the same way in every place. The W functions take UTF-16 names; without Windows they open the
// UTF-8 form, and a name with an unpaired surrogate opens nothing.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, DWORD disposition,
                   DWORD flagsAndAttributes);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, DWORD disposition,
                   DWORD flagsAndAttributes);
// Reads up to `bytesToRead` bytes from `position` in one call: on Windows a
// ReadFile with an OVERLAPPED offset. *bytesRead says how many arrived, fewer
// at the end of the file. Where the file's own position stands afterwards is
// not defined.
BOOL ReadFileAt(HANDLE file, DWORD position, void* buffer, DWORD bytesToRead, DWORD* bytesRead);
// Writes all `bytesToWrite` bytes or fails; *bytesWritten says how many went.
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten);
// Renames `from` to `to`; with MOVEFILE_REPLACE_EXISTING over a file of that
// name, in one step.
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
BOOL DeleteFileA(LPCSTR name);
BOOL DeleteFileW(LPCWSTR name);
// The size and last-write time of an open file, in one query.
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
// Low 32 bits, INVALID_FILE_SIZE on failure; the high 32 bits go to *high
// when it is given.
DWORD GetFileSize(HANDLE file, DWORD* high = nullptr);
BOOL CloseHandle(HANDLE file);
// Sets an open file's last-write time, leaving its other times alone.
BOOL SetFileTime(HANDLE file, const FILETIME* lastWrite);
// Why the calling thread's last failed file operation failed: without
// Windows ERROR_FILE_EXISTS for a name that exists, another code otherwise.
DWORD GetLastError();

// Strings in the system code page.
BOOL IsDBCSLeadByte(BYTE byte);  // lead byte of a double-byte character
// Converts `bytes` bytes of system code page text (-1: up to and with its
// NUL) to UTF-16 in `out` (`outUnits` units; 0: only count). Returns the units
// written or needed, 0 on failure. Without Windows the system code page is
// UTF-8, and a byte that starts no valid sequence becomes U+FFFD.
int MultiByteToWideChar(LPCSTR text, int bytes, LPWSTR out, int outUnits);

// Identifies this process among others writing into the same folder.
DWORD GetCurrentProcessId();

// The directory lock.
void InitializeCriticalSection(CRITICAL_SECTION* lock);
void EnterCriticalSection(CRITICAL_SECTION* lock);
void LeaveCriticalSection(CRITICAL_SECTION* lock);
void DeleteCriticalSection(CRITICAL_SECTION* lock);

// Library notifications.
BOOL DisableThreadLibraryCalls(HMODULE module);

}  // namespace platform
