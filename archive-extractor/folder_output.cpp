#include "archive-extractor/folder_output.h"

#include <atomic>
#include <cstring>

#include "archive-extractor/wide_records.h"
#include "host-contract/block_owner.h"

namespace korvo {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// Large writes go in pieces, so that no single call asks the system for more
// than a network drive comfortably takes.
constexpr uint32_t kWritePieceBytes = 16u << 20;

bool IsSeparator(uint32_t unit) { return unit == '\\' || unit == '/'; }

bool IsForbiddenUnit(uint32_t unit) {
  return unit < 0x20 || unit == 0x7F || IsSeparator(unit) || unit == ':' || unit == '<' ||
         unit == '>' || unit == '"' || unit == '|' || unit == '?' || unit == '*';
}

uint32_t UpperAscii(uint32_t unit) { return unit >= 'a' && unit <= 'z' ? unit - 0x20 : unit; }

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices whatever follows
// the first dot, and with spaces before it.
template <typename Unit>
bool IsDeviceName(const Unit* name) {
  size_t base = 0;
  while (name[base] != 0 && name[base] != '.') ++base;
  while (base > 0 && name[base - 1] == ' ') --base;
  if (base != 3 && base != 4) return false;
  char upper[4];
  for (size_t i = 0; i < base; ++i) upper[i] = static_cast<char>(UpperAscii(static_cast<uint32_t>(name[i]) & 0xFFFF));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  if (base == 3) {
    for (const char* device : kDevices)
      if (std::memcmp(upper, device, 3) == 0) return true;
    return false;
  }
  return (std::memcmp(upper, "COM", 3) == 0 || std::memcmp(upper, "LPT", 3) == 0) &&
         upper[3] >= '1' && upper[3] <= '9';
}

template <typename Unit>
bool IsDotName(const Unit* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Whether the path's last character is a separator; in 8-bit text a trail
// byte of 0x5C is part of a character, not a separator.
bool EndsInSeparator(LPCSTR path) {
  bool separator = false;
  for (const char* scan = path; *scan != '\0'; ++scan) {
    separator = IsSeparator(static_cast<unsigned char>(*scan));
    if (platform::IsDBCSLeadByte(static_cast<BYTE>(*scan)) && scan[1] != '\0') ++scan;
  }
  return separator;
}

bool EndsInSeparator(LPCWSTR path) {
  size_t length = 0;
  while (path[length] != 0) ++length;
  return length > 0 && IsSeparator(path[length - 1]);
}

template <typename Unit>
size_t Length(const Unit* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// The file operations for either kind of path.
HANDLE CreateNewFile(LPCSTR path) {
  return platform::CreateFileA(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
}
HANDLE CreateNewFile(LPCWSTR path) {
  return platform::CreateFileW(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
}
BOOL MoveOverFile(LPCSTR from, LPCSTR to) {
  return platform::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING);
}
BOOL MoveOverFile(LPCWSTR from, LPCWSTR to) {
  return platform::MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING);
}
BOOL RemoveFile(LPCSTR path) { return platform::DeleteFileA(path); }
BOOL RemoveFile(LPCWSTR path) { return platform::DeleteFileW(path); }

// Appends "~korvo-<process>-<serial>.tmp": unique among the writers of this
// process and of others that share the folder.
template <typename Unit>
Unit* AppendTemporaryName(Unit* out) {
  static std::atomic<uint32_t> serial{0};
  const uint32_t numbers[2] = {platform::GetCurrentProcessId(), serial.fetch_add(1)};
  for (const char* text = "~korvo"; *text != '\0'; ++text) *out++ = static_cast<Unit>(*text);
  for (uint32_t number : numbers) {
    *out++ = static_cast<Unit>('-');
    for (int shift = 28; shift >= 0; shift -= 4)
      *out++ = static_cast<Unit>("0123456789ABCDEF"[(number >> shift) & 0xF]);
  }
  for (const char* text = ".tmp"; *text != '\0'; ++text) *out++ = static_cast<Unit>(*text);
  return out;
}

constexpr size_t kTemporaryNameUnits = 6 + 2 * 9 + 4;

// Writes the bytes through a temporary file renamed into place; every
// failure removes the temporary file.
template <typename Unit>
int WriteThroughTemporary(const Unit* folder, const Unit* name, const uint8_t* bytes,
                          uint32_t size) {
  const size_t folderLength = Length(folder);
  if (folderLength == 0) return kResultFileError;  // no folder is named
  const size_t nameLength = Length(name);
  const size_t tail = (nameLength > kTemporaryNameUnits ? nameLength : kTemporaryNameUnits) + 1;
  if (folderLength > (SIZE_MAX / sizeof(Unit) - tail) / 2 - 1) return kResultMemoryError;
  const size_t pathUnits = folderLength + 1 + tail;
  BlockOwner paths;
  auto* temporary =
      static_cast<Unit*>(AllocateAndLock(&paths, GMEM_FIXED, 2 * pathUnits * sizeof(Unit)));
  if (temporary == nullptr) return kResultMemoryError;
  Unit* final = temporary + pathUnits;

  std::memcpy(temporary, folder, folderLength * sizeof(Unit));
  Unit* at = temporary + folderLength;
  if (!EndsInSeparator(folder)) *at++ = static_cast<Unit>(kSeparator);
  const size_t stemLength = static_cast<size_t>(at - temporary);
  std::memcpy(final, temporary, stemLength * sizeof(Unit));
  *AppendTemporaryName(at) = 0;
  std::memcpy(final + stemLength, name, (nameLength + 1) * sizeof(Unit));

  HANDLE file = CreateNewFile(temporary);
  if (file == INVALID_HANDLE_VALUE) return kResultFileError;
  bool written = true;
  for (uint32_t done = 0; written && done < size;) {
    const uint32_t piece = size - done < kWritePieceBytes ? size - done : kWritePieceBytes;
    DWORD put = 0;
    written = platform::WriteFile(file, bytes + done, piece, &put) && put == piece;
    done += piece;
  }
  written = platform::CloseHandle(file) && written;
  if (!written || !MoveOverFile(temporary, final)) {
    RemoveFile(temporary);
    return kResultFileError;
  }
  return kResultSuccess;
}

}  // namespace

bool IsSafeEntryName(LPCSTR name) {
  if (name == nullptr || name[0] == '\0' || IsDotName(name) || IsDeviceName(name)) return false;
  for (const char* scan = name; *scan != '\0'; ++scan) {
    const auto byte = static_cast<unsigned char>(*scan);
    if (platform::IsDBCSLeadByte(byte)) {
      // A trail byte may be 0x5C or 0x7C; bytes below 0x40 (the end, a
      // slash, a colon, a control byte) are no trail byte of any code page
      // and do not make a character.
      if (static_cast<unsigned char>(scan[1]) < 0x40) return false;
      ++scan;
      continue;
    }
    if (IsForbiddenUnit(byte)) return false;
  }
  return true;
}

bool IsSafeEntryNameW(LPCWSTR name) {
  if (name == nullptr || name[0] == 0 || IsDotName(name) || IsDeviceName(name)) return false;
  for (const WCHAR* scan = name; *scan != 0; ++scan)
    if (IsForbiddenUnit(*scan)) return false;
  return true;
}

int WriteEntryIntoFolder(const HostPath& folder, LPCSTR name, const uint8_t* bytes,
                         uint32_t size) {
  if (!IsSafeEntryName(name)) return kResultBadFormat;
  if (folder.narrow != nullptr) return WriteThroughTemporary(folder.narrow, name, bytes, size);
  // The folder is UTF-16: so is the name, turned from the system code page
  // as the W listing shows it, and checked again in that form.
  WCHAR wideName[kNameUnits];
  WideEntryName(name, wideName);
  if (!IsSafeEntryNameW(wideName)) return kResultBadFormat;
  return WriteThroughTemporary(folder.wide, static_cast<LPCWSTR>(wideName), bytes, size);
}

}  // namespace korvo
