#include "archive-extractor/folder_output.h"

#include <atomic>
#include <cstring>
#include <type_traits>

#include "archive-extractor/wide_records.h"
#include "common/windows_names.h"
#include "host-contract/block_owner.h"
#include "host-contract/host_path.h"

namespace korvo {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// The rows go through a buffer of this size, so that neither a large entry
// nor a network drive is asked for more at once.
constexpr uint32_t kPieceBytes = 1u << 20;

// A name that exists at the temporary name is skipped, this many times.
constexpr int kTemporaryNameAttempts = 64;

template <typename Unit>
uint32_t UnitAt(const Unit* text, size_t index) {
  return UnitValue(text[index]);
}

template <typename Unit>
size_t Length(const Unit* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

template <typename Unit>
bool IsDotName(const Unit* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Whether an 8-bit path ends inside a double-byte character: its last byte
// a lead byte with no trail byte after it.
template <typename Unit>
bool EndsInsideCharacter(const Unit* path) {
  for (const Unit* scan = path; *scan != 0; ++scan) {
    if (!IsLeadUnit(*scan)) continue;
    if (scan[1] == 0) return true;
    ++scan;
  }
  return false;
}

// Whether the path's last character is a separator; in 8-bit text a trail
// byte of 0x5C is part of a character, not a separator.
template <typename Unit>
bool EndsInSeparator(const Unit* path) {
  bool separator = false;
  for (const Unit* scan = path; *scan != 0; ++scan) {
    separator = IsNameSeparator(UnitAt(scan, 0));
    if (IsLeadUnit(*scan) && scan[1] != 0) ++scan;
  }
  return separator;
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

// The name the entry is written under, in the folder's kind of text: the
// 8-bit listed name as it is, or as the W listing shows it. Either form must
// be safe, and the 8-bit one must not read as a device in UTF-16 either,
// whatever the code page makes of its bytes.
bool SafeOutputName(const fileInfo& entry, char (&name)[kNameUnits]) {
  static_assert(sizeof name == sizeof entry.filename, "one name field");
  std::memcpy(name, entry.filename, sizeof name);
  WCHAR wide[kNameUnits];
  WideEntryName(name, wide);
  return IsSafeEntryName(name) && !IsDeviceName(static_cast<const WCHAR*>(wide));
}
bool SafeOutputName(const fileInfo& entry, WCHAR (&name)[kNameUnits]) {
  WideEntryName(entry.filename, name);
  return IsSafeEntryName(entry.filename) && IsSafeEntryName(static_cast<const WCHAR*>(name));
}

// One serial for every temporary name of the process, whichever export
// writes: "~korvo-<process>-<serial>.tmp".
std::atomic<uint32_t> temporarySerial{0};

constexpr size_t kTemporaryNameUnits = 6 + 2 * 9 + 4;

template <typename Unit>
void WriteTemporaryName(Unit* out, uint32_t serial) {
  const uint32_t numbers[2] = {platform::GetCurrentProcessId(), serial};
  for (const char* text = "~korvo"; *text != '\0'; ++text) *out++ = static_cast<Unit>(*text);
  for (uint32_t number : numbers) {
    *out++ = static_cast<Unit>('-');
    for (int shift = 28; shift >= 0; shift -= 4)
      *out++ = static_cast<Unit>("0123456789ABCDEF"[(number >> shift) & 0xF]);
  }
  for (const char* text = ".tmp"; *text != '\0'; ++text) *out++ = static_cast<Unit>(*text);
  *out = 0;
}

// Creates a new file at `path`, whose last part (at `name`) is a fresh
// temporary name on each try: one that exists, whoever put it there (a file,
// a folder or a link), is passed over; a link is never followed.
template <typename Unit>
HANDLE CreateTemporaryFile(Unit* path, Unit* name) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    WriteTemporaryName(name, temporarySerial.fetch_add(1, std::memory_order_relaxed));
    HANDLE file = CreateNewFile(static_cast<const Unit*>(path));
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = platform::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

template <typename Unit>
bool IsSafeEntryName(const Unit* name) {
  if (name == nullptr || name[0] == 0 || IsDotName(name) || IsDeviceName(name)) return false;
  for (const Unit* scan = name; *scan != 0; ++scan) {
    if (IsLeadUnit(*scan)) {
      // A trail byte may be 0x5C or 0x7C; bytes below 0x40 (the end, a
      // slash, a colon, a control byte) are no trail byte of any code page
      // and do not make a character.
      if (UnitAt(scan, 1) < 0x40) return false;
      ++scan;
      continue;
    }
    if (IsForbiddenNameUnit(UnitAt(scan, 0))) return false;
  }
  return true;
}

template <typename Unit>
Failure WriteEntryIntoFolder(const Unit* folder, ArchiveReader* reader, const EntrySource& source) {
  Unit name[kNameUnits];
  if (!SafeOutputName(source.entry, name)) return Failure::kUnsafeEntryName;
  const size_t folderLength = Length(folder);
  if (folderLength == 0) return Failure::kNoFolderNamed;
  // The separator added behind such a folder would become a character's
  // trail byte, and the file land beside the folder instead of in it.
  if (EndsInsideCharacter(folder)) return Failure::kFolderEndsInsideCharacter;

  // One block: the temporary path, the final path, and the piece buffer.
  const size_t nameLength = Length(static_cast<const Unit*>(name));
  const size_t tail = (nameLength > kTemporaryNameUnits ? nameLength : kTemporaryNameUnits) + 1;
  const uint32_t size = source.headBytes + source.copyBytes;
  const uint32_t pieceBytes = size < kPieceBytes ? size : kPieceBytes;
  if (folderLength > (SIZE_MAX / sizeof(Unit) - tail - kPieceBytes) / 2 - 1)
    return Failure::kNoMemory;
  const size_t pathUnits = folderLength + 1 + tail;
  BlockOwner block;
  auto* temporary = static_cast<Unit*>(
      AllocateAndLock(&block, GMEM_FIXED, 2 * pathUnits * sizeof(Unit) + pieceBytes));
  if (temporary == nullptr) return Failure::kNoMemory;
  Unit* final = temporary + pathUnits;
  auto* piece = reinterpret_cast<uint8_t*>(final + pathUnits);

  std::memcpy(temporary, folder, folderLength * sizeof(Unit));
  Unit* at = temporary + folderLength;
  if (!EndsInSeparator(folder)) *at++ = static_cast<Unit>(kSeparator);
  const size_t stemLength = static_cast<size_t>(at - temporary);
  std::memcpy(final, temporary, stemLength * sizeof(Unit));
  std::memcpy(final + stemLength, name, (nameLength + 1) * sizeof(Unit));

  HANDLE file = CreateTemporaryFile(temporary, at);
  if (file == INVALID_HANDLE_VALUE) return Failure::kCannotCreateOutput;
  Failure failure = CopyEntryInPieces(
      reader, source, piece, pieceBytes, [file](const uint8_t* bytes, uint32_t count) {
        DWORD put = 0;
        return platform::WriteFile(file, bytes, count, &put) && put == count
                   ? Failure::kNone
                   : Failure::kCannotWriteOutput;
      });
  // The entry's date, as unpackers give it; a file system that keeps no
  // such date still gets the bytes.
  if (failure == Failure::kNone) {
    const FILETIME lastWrite = FileTimeOf(source.entry.timestamp);
    platform::SetFileTime(file, &lastWrite);
  }
  if (!platform::CloseHandle(file) && failure == Failure::kNone)
    failure = Failure::kCannotWriteOutput;
  if (failure == Failure::kNone && !MoveOverFile(temporary, final))
    failure = Failure::kCannotRenameOutput;
  if (failure != Failure::kNone) RemoveFile(temporary);
  return failure;
}

template Failure WriteEntryIntoFolder(const char*, ArchiveReader*, const EntrySource&);
template Failure WriteEntryIntoFolder(const WCHAR*, ArchiveReader*, const EntrySource&);
template bool IsSafeEntryName(LPCSTR name);
template bool IsSafeEntryName(LPCWSTR name);

}  // namespace korvo
