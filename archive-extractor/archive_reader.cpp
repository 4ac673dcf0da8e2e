#include "archive-extractor/archive_reader.h"

#include <cstring>

namespace korvo {
namespace {

bool Holds(const ReaderWindow& window, uint32_t position, uint32_t count) {
  return position >= window.start && uint64_t{position} + count <= uint64_t{window.start} + window.length;
}

// Reads up to `count` bytes at `position` into `out`, seeking first unless
// the file already stands there (a fresh open stands at 0, and a read leaves
// it behind the bytes it got): kNone with *got the bytes read, or
// kSeekFailed.
Failure ReadFileAt(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out,
                   DWORD* got) {
  *got = 0;
  if (reader->filePosition != position) {
    reader->filePosition = kUnknownFilePosition;
    if (platform::SetFilePointer(reader->file, static_cast<LONG>(position)) != position)
      return Failure::kSeekFailed;
  }
  platform::ReadFile(reader->file, out, count, got);
  if (*got > count) *got = 0;
  reader->filePosition =
      *got == count && uint64_t{position} + count < kUnknownFilePosition ? position + count
                                                                          : kUnknownFilePosition;
  return Failure::kNone;
}

// Reads straight into `out`, as ReadArchiveAt says.
Failure ReadDirect(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out) {
  if (position >= kUnreachablePosition) return Failure::kUnreachablePosition;
  DWORD got = 0;
  Failure failure = ReadFileAt(reader, position, count, out, &got);
  if (failure != Failure::kNone) return failure;
  return got == count ? Failure::kNone : Failure::kFileEndsEarly;
}

// The window holding `available` bytes at `position`, refilling one when none
// does. kNone with *held set, or kSeekFailed or kFileEndsEarly when the file
// cannot deliver them (a refilled window then holds what it could get, from
// `position` on).
Failure WindowHolding(ArchiveReader* reader, uint32_t position, uint32_t available,
                      const ReaderWindow** held) {
  for (uint32_t i = 0; i < kReaderWindowCount; ++i)
    if (Holds(reader->windows[i], position, available)) {
      reader->nextVictim = (i + 1) % kReaderWindowCount;
      *held = &reader->windows[i];
      return Failure::kNone;
    }

  // A miss refills the window that was refilled longer ago, starting at the
  // field, so that the fields behind it come with it. Only the seek is bound
  // by the reachable positions; the read may run past them.
  ReaderWindow& window = reader->windows[reader->nextVictim];
  reader->nextVictim = (reader->nextVictim + 1) % kReaderWindowCount;
  // Nothing is asked for past the end of the file as it was opened: a window
  // there could only come back short, and cost a read to find out.
  window.start = position;
  window.length = 0;
  const uint64_t left = reader->fileEnd > position ? reader->fileEnd - position : 0;
  const auto wanted = static_cast<uint32_t>(left < kReaderWindowBytes ? left : kReaderWindowBytes);
  if (wanted > 0) {
    DWORD got = 0;
    Failure failure = ReadFileAt(reader, position, wanted, window.data, &got);
    if (failure != Failure::kNone) return failure;
    window.length = got;
  }
  if (window.length < available) return Failure::kFileEndsEarly;
  *held = &window;
  return Failure::kNone;
}

}  // namespace

Failure OpenParseReader(const HostPath& path, ParseContext* context) {
  if (context->heldOpen) return Failure::kNone;  // the held file, windows and all
  ArchiveReader& reader = context->reader;
  CloseArchiveReader(&reader);  // a held file whose size could not be taken
  Failure failure = OpenArchiveReader(path, &reader);
  reader.windows = context->windows;
  for (ReaderWindow& window : context->windows) window.start = window.length = 0;
  if (failure != Failure::kNone) return failure;
  // One query for both: the size (its low 32 bits, as every position is
  // 32-bit) and the last-write time every record carries.
  BY_HANDLE_FILE_INFORMATION information;
  if (!platform::GetFileInformationByHandle(reader.file, &information) ||
      information.nFileSizeLow == INVALID_FILE_SIZE)
    return Failure::kSizeUnknown;
  reader.fileSize = information.nFileSizeLow;
  reader.fileEnd = uint64_t{information.nFileSizeHigh} << 32 | information.nFileSizeLow;
  reader.timestamp = UnixSeconds(information.ftLastWriteTime);
  context->heldOpen = context->holding;
  return Failure::kNone;
}

void CloseParseReader(ParseContext* context) {
  if (!context->holding) CloseArchiveReader(&context->reader);
}

void HoldParseReader(ParseContext* context) {
  context->holding = true;
  context->heldOpen = false;
}

void ReleaseParseReader(ParseContext* context) {
  context->holding = context->heldOpen = false;
  CloseArchiveReader(&context->reader);
}

Failure OpenArchiveReader(const HostPath& path, ArchiveReader* reader) {
  *reader = ArchiveReader{};
  reader->file = OpenHostFile(path, FILE_FLAG_RANDOM_ACCESS);
  return reader->file == INVALID_HANDLE_VALUE ? Failure::kCannotOpen : Failure::kNone;
}

void CloseArchiveReader(ArchiveReader* reader) {
  if (reader->file != INVALID_HANDLE_VALUE) platform::CloseHandle(reader->file);
  reader->file = INVALID_HANDLE_VALUE;
}

Failure ReadArchiveAt(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out) {
  if (count > kReaderWindowBytes || reader->windows == nullptr)
    return ReadDirect(reader, position, count, out);
  return ReadArchivePrefixAt(reader, position, count, count, out);
}

Failure ViewArchiveFieldAt(ArchiveReader* reader, uint32_t position, uint32_t count,
                           const uint8_t** bytes) {
  if (position >= kUnreachablePosition) return Failure::kUnreachablePosition;
  if (count > kReaderWindowBytes || reader->windows == nullptr)
    return Failure::kFieldLargerThanWindow;
  const ReaderWindow* window = nullptr;
  Failure failure = WindowHolding(reader, position, count, &window);
  if (failure != Failure::kNone) return failure;
  *bytes = window->data + (position - window->start);
  return Failure::kNone;
}

Failure ReadArchivePrefixAt(ArchiveReader* reader, uint32_t position, uint32_t available,
                            uint32_t count, uint8_t* out) {
  const uint8_t* bytes = nullptr;
  Failure failure = ViewArchiveFieldAt(reader, position, available, &bytes);
  if (failure == Failure::kNone) std::memcpy(out, bytes, count);
  return failure;
}

bool CopyHeldArchiveBytes(const ArchiveReader* reader, uint32_t position, uint32_t count,
                          uint8_t* out) {
  if (reader->windows == nullptr) return false;
  for (uint32_t i = 0; i < kReaderWindowCount; ++i) {
    const ReaderWindow& window = reader->windows[i];
    if (Holds(window, position, count)) {
      std::memcpy(out, window.data + (position - window.start), count);
      return true;
    }
  }
  return false;
}

Failure ViewArchiveAt(ArchiveReader* reader, uint32_t position, uint32_t wanted,
                      const uint8_t** bytes, uint32_t* available) {
  *bytes = nullptr;
  *available = 0;
  if (position >= kUnreachablePosition) return Failure::kUnreachablePosition;
  if (wanted > kReaderWindowBytes || reader->windows == nullptr)
    return Failure::kFieldLargerThanWindow;
  const ReaderWindow* window = nullptr;
  if (WindowHolding(reader, position, wanted, &window) != Failure::kNone) {
    // The refilled window starts at `position` and holds what the file has.
    window = &reader->windows[(reader->nextVictim + kReaderWindowCount - 1) % kReaderWindowCount];
    *available = window->length;
  } else {
    *available = wanted;
  }
  *bytes = window->data + (position - window->start);
  return Failure::kNone;
}

}  // namespace korvo
