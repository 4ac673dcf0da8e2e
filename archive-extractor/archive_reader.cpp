#include "archive-extractor/archive_reader.h"

#include <cstring>

namespace korvo {
namespace {

ReaderWindow sharedWindows[kReaderWindowCount];

bool Holds(const ReaderWindow& window, uint32_t position, uint32_t count) {
  return position >= window.start && uint64_t{position} + count <= uint64_t{window.start} + window.length;
}

}  // namespace

int OpenArchive(const HostPath& path, ArchiveReader* reader) {
  reader->file = INVALID_HANDLE_VALUE;
  reader->fileSize = 0;
  reader->timestamp = 0;
  reader->nextVictim = 0;
  reader->windows = sharedWindows;
  for (uint32_t i = 0; i < kReaderWindowCount; ++i) sharedWindows[i].start = sharedWindows[i].length = 0;
  reader->file = OpenHostFile(path, FILE_FLAG_RANDOM_ACCESS);
  if (reader->file == INVALID_HANDLE_VALUE) return kResultFileError;
  reader->fileSize = platform::GetFileSize(reader->file);
  if (reader->fileSize == INVALID_FILE_SIZE) return kResultFileError;
  reader->timestamp = FileTimestamp(reader->file);
  return kResultSuccess;
}

void CloseArchive(ArchiveReader* reader) {
  if (reader->file != INVALID_HANDLE_VALUE) platform::CloseHandle(reader->file);
  reader->file = INVALID_HANDLE_VALUE;
}

int ReadArchiveDirect(HANDLE file, uint32_t position, uint32_t count, uint8_t* out) {
  if (position >= kUnreachablePosition) return kResultFileError;
  if (platform::SetFilePointer(file, static_cast<LONG>(position)) != position)
    return kResultFileError;
  DWORD got = 0;
  platform::ReadFile(file, out, count, &got);
  return got == count ? kResultSuccess : kResultFileError;
}

int ReadArchiveAt(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out) {
  if (count > kReaderWindowBytes) {
    if (position >= kUnreachablePosition) return kResultFileError;
    return ReadArchiveDirect(reader->file, position, count, out);
  }
  return ReadArchivePrefixAt(reader, position, count, count, out);
}

namespace {

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
  // field, so that the fields behind it come with it. The window never reaches
  // past the last reachable position.
  ReaderWindow& window = reader->windows[reader->nextVictim];
  reader->nextVictim = (reader->nextVictim + 1) % kReaderWindowCount;
  window.start = position;
  window.length = 0;
  uint32_t want = kReaderWindowBytes;
  if (uint64_t{position} + want > kUnreachablePosition) want = kUnreachablePosition - position;
  if (platform::SetFilePointer(reader->file, static_cast<LONG>(position)) != position)
    return nullptr;
  DWORD got = 0;
  platform::ReadFile(reader->file, window.data, want, &got);
  window.length = got > want ? 0 : got;
  return window.length < available ? nullptr : &window;
}

}  // namespace

int ViewArchiveFieldAt(ArchiveReader* reader, uint32_t position, uint32_t count,
                       const uint8_t** bytes) {
  if (position >= kUnreachablePosition || count > kReaderWindowBytes) return kResultFileError;
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
  if (position >= kUnreachablePosition || wanted > kReaderWindowBytes) return kResultFileError;
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
