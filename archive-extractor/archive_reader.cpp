#include "archive-extractor/archive_reader.h"

#include <cstring>

namespace korvo {
namespace {

bool Holds(const ReaderWindow& window, uint32_t position, uint32_t count) {
  return position >= window.start && uint64_t{position} + count <= uint64_t{window.start} + window.length;
}

// Reads up to `count` bytes at `position` into `out`, seeking first unless
// the file already stands there (a fresh open stands at 0, and a read leaves
// it behind the bytes it got): the number of bytes read, 0 when the seek
// fails.
DWORD ReadFileAt(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out) {
  if (reader->filePosition != position) {
    reader->filePosition = kUnknownFilePosition;
    if (platform::SetFilePointer(reader->file, static_cast<LONG>(position)) != position) return 0;
  }
  DWORD got = 0;
  platform::ReadFile(reader->file, out, count, &got);
  if (got > count) got = 0;
  reader->filePosition =
      got == count && uint64_t{position} + got < kUnknownFilePosition ? position + got
                                                                       : kUnknownFilePosition;
  return got;
}

// Reads straight into `out`: 0, or 6 as ReadArchiveAt says.
int ReadDirect(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out) {
  if (position >= kUnreachablePosition) return kResultFileError;
  return ReadFileAt(reader, position, count, out) == count ? kResultSuccess : kResultFileError;
}

// The window holding `available` bytes at `position`, refilling one when none
// does: nullptr when the file cannot deliver them (a refilled window then
// holds what it could get, from `position` on).
const ReaderWindow* WindowHolding(ArchiveReader* reader, uint32_t position, uint32_t available) {
  for (uint32_t i = 0; i < kReaderWindowCount; ++i)
    if (Holds(reader->windows[i], position, available)) {
      reader->nextVictim = (i + 1) % kReaderWindowCount;
      return &reader->windows[i];
    }

  // A miss refills the window that was refilled longer ago, starting at the
  // field, so that the fields behind it come with it. Only the seek is bound
  // by the reachable positions; the read may run past them.
  ReaderWindow& window = reader->windows[reader->nextVictim];
  reader->nextVictim = (reader->nextVictim + 1) % kReaderWindowCount;
  // Nothing is asked for past the end of the file as it was opened: a window
  // there could only come back short, and cost a read to find out.
  window.start = position;
  const uint64_t left = reader->fileEnd > position ? reader->fileEnd - position : 0;
  const auto wanted = static_cast<uint32_t>(left < kReaderWindowBytes ? left : kReaderWindowBytes);
  window.length = wanted == 0 ? 0 : ReadFileAt(reader, position, wanted, window.data);
  return window.length < available ? nullptr : &window;
}

}  // namespace

int OpenParseReader(const HostPath& path, ParseContext* context) {
  if (context->heldOpen) return kResultSuccess;  // the held file, windows and all
  ArchiveReader& reader = context->reader;
  CloseArchiveReader(&reader);  // a held file whose size could not be taken
  int result = OpenArchiveReader(path, &reader);
  reader.windows = context->windows;
  for (ReaderWindow& window : context->windows) window.start = window.length = 0;
  if (result != kResultSuccess) return result;
  // One query for both: the size (its low 32 bits, as every position is
  // 32-bit) and the last-write time every record carries.
  BY_HANDLE_FILE_INFORMATION information;
  if (!platform::GetFileInformationByHandle(reader.file, &information) ||
      information.nFileSizeLow == INVALID_FILE_SIZE)
    return kResultFileError;
  reader.fileSize = information.nFileSizeLow;
  reader.fileEnd = uint64_t{information.nFileSizeHigh} << 32 | information.nFileSizeLow;
  reader.timestamp = UnixSeconds(information.ftLastWriteTime);
  context->heldOpen = context->holding;
  return kResultSuccess;
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

int OpenArchiveReader(const HostPath& path, ArchiveReader* reader) {
  *reader = ArchiveReader{};
  reader->file = OpenHostFile(path, FILE_FLAG_RANDOM_ACCESS);
  return reader->file == INVALID_HANDLE_VALUE ? kResultFileError : kResultSuccess;
}

void CloseArchiveReader(ArchiveReader* reader) {
  if (reader->file != INVALID_HANDLE_VALUE) platform::CloseHandle(reader->file);
  reader->file = INVALID_HANDLE_VALUE;
}

int ReadArchiveAt(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out) {
  if (count > kReaderWindowBytes || reader->windows == nullptr)
    return ReadDirect(reader, position, count, out);
  return ReadArchivePrefixAt(reader, position, count, count, out);
}

int ViewArchiveFieldAt(ArchiveReader* reader, uint32_t position, uint32_t count,
                       const uint8_t** bytes) {
  if (position >= kUnreachablePosition || count > kReaderWindowBytes ||
      reader->windows == nullptr)
    return kResultFileError;
  const ReaderWindow* window = WindowHolding(reader, position, count);
  if (window == nullptr) return kResultFileError;
  *bytes = window->data + (position - window->start);
  return kResultSuccess;
}

int ReadArchivePrefixAt(ArchiveReader* reader, uint32_t position, uint32_t available,
                        uint32_t count, uint8_t* out) {
  const uint8_t* bytes = nullptr;
  int result = ViewArchiveFieldAt(reader, position, available, &bytes);
  if (result == kResultSuccess) std::memcpy(out, bytes, count);
  return result;
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

int ViewArchiveAt(ArchiveReader* reader, uint32_t position, uint32_t wanted,
                  const uint8_t** bytes, uint32_t* available) {
  *bytes = nullptr;
  *available = 0;
  if (position >= kUnreachablePosition || wanted > kReaderWindowBytes ||
      reader->windows == nullptr)
    return kResultFileError;
  const ReaderWindow* window = WindowHolding(reader, position, wanted);
  if (window == nullptr) {
    // The refilled window starts at `position` and holds what the file has.
    window = &reader->windows[(reader->nextVictim + kReaderWindowCount - 1) % kReaderWindowCount];
    *available = window->length;
  } else {
    *available = wanted;
  }
  *bytes = window->data + (position - window->start);
  return kResultSuccess;
}

}  // namespace korvo
