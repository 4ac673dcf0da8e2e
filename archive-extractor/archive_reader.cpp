#include "archive-extractor/archive_reader.h"

#include <cstring>

#include "common/little_endian.h"

namespace korvo {
namespace {

// A miss this close to the last field a window served fills a whole window;
// one further away reads just its field. Reading a window costs about as
// much as a dozen small reads, so a window pays where it serves fields at
// least this close together.
constexpr uint32_t kNearBytes = kReaderWindowBytes / 4;

bool Holds(const ReaderWindow& window, uint32_t position, uint32_t count) {
  return position >= window.start &&
         uint64_t{position} + count <= uint64_t{window.start} + window.length;
}

bool Near(const ReaderWindow& window, uint32_t position) {
  const uint32_t distance =
      position >= window.lastEnd ? position - window.lastEnd : window.lastEnd - position;
  return distance < kNearBytes;
}

// Reads up to `count` bytes at `position` into `out`, in one positional
// read. kNone with *got the bytes read: a read the system reports as failed
// delivers none. kUnreachablePosition with none.
Failure ReadFromFile(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out,
                     DWORD* got) {
  *got = 0;
  if (position >= kUnreachablePosition) return Failure::kUnreachablePosition;
  if (reader->source != nullptr) {
    *got = reader->source->read(reader->source->context, position, out, count);
    if (*got > count) *got = 0;
    return Failure::kNone;
  }
  if (!platform::ReadFileAt(reader->file, position, out, count, got) || *got > count) *got = 0;
  return Failure::kNone;
}

}  // namespace

Failure OpenArchiveReader(const HostPath& path, ReaderWindow* windows, ArchiveReader* reader) {
  if (windows == nullptr && reader->file != INVALID_HANDLE_VALUE && reader->windows == nullptr)
    return Failure::kNone;
  CloseArchiveReader(reader);
  *reader = ArchiveReader{};
  reader->file = OpenHostFile(path, FILE_FLAG_RANDOM_ACCESS);
  if (reader->file == INVALID_HANDLE_VALUE) return Failure::kCannotOpen;
  if (windows == nullptr) return Failure::kNone;
  reader->windows = windows;
  for (uint32_t i = 0; i < kReaderWindowCount; ++i)
    windows[i].start = windows[i].length = windows[i].lastEnd = 0;
  // One query for both: the size (its low 32 bits, as every position is
  // 32-bit) and the last-write time every record carries.
  BY_HANDLE_FILE_INFORMATION information;
  if (!platform::GetFileInformationByHandle(reader->file, &information) ||
      information.nFileSizeLow == INVALID_FILE_SIZE)
    return Failure::kSizeUnknown;
  reader->fileSize = information.nFileSizeLow;
  reader->fileEnd = uint64_t{information.nFileSizeHigh} << 32 | information.nFileSizeLow;
  reader->timestamp = UnixSeconds(information.ftLastWriteTime);
  return Failure::kNone;
}

Failure OpenArchiveSource(const ByteSource* source, ReaderWindow* windows, ArchiveReader* reader) {
  *reader = ArchiveReader{};
  reader->source = source;
  reader->windows = windows;
  for (uint32_t i = 0; i < kReaderWindowCount; ++i)
    windows[i].start = windows[i].length = windows[i].lastEnd = 0;
  reader->fileSize = static_cast<uint32_t>(source->size);
  reader->fileEnd = source->size;
  return Failure::kNone;
}

void CloseArchiveReader(ArchiveReader* reader) {
  if (reader->file != INVALID_HANDLE_VALUE) platform::CloseHandle(reader->file);
  reader->file = INVALID_HANDLE_VALUE;
}

Failure View(ArchiveReader* reader, uint32_t position, uint32_t length, ReaderView* view) {
  *view = ReaderView{};
  if (position >= kUnreachablePosition) return Failure::kUnreachablePosition;
  if (length > kReaderWindowBytes || reader->windows == nullptr)
    return Failure::kFieldLargerThanWindow;
  ReaderWindow* windows = reader->windows;
  bool nearby = false;
  for (uint32_t i = 0; i < kReaderWindowCount; ++i) {
    ReaderWindow& window = windows[i];
    if (Holds(window, position, length)) {
      reader->nextVictim = (i + 1) % kReaderWindowCount;
      window.lastEnd = position + length;
      view->bytes = window.data + (position - window.start);
      view->available = length;
      return Failure::kNone;
    }
    nearby = nearby || Near(window, position);
  }

  // A miss refills the window that was refilled longer ago, starting at the
  // field. Nothing is asked for past the end of the file as it was opened: it
  // could only come back short, and cost a read to find out.
  ReaderWindow& window = windows[reader->nextVictim];
  reader->nextVictim = (reader->nextVictim + 1) % kReaderWindowCount;
  window.start = position;
  window.length = 0;
  window.lastEnd = position + length;
  const uint64_t left = reader->fileEnd > position ? reader->fileEnd - position : 0;
  uint32_t wanted = nearby ? kReaderWindowBytes : length;
  if (left < wanted) wanted = static_cast<uint32_t>(left);
  if (wanted > 0) {
    DWORD got = 0;
    Failure failure = ReadFromFile(reader, position, wanted, window.data, &got);
    if (failure != Failure::kNone) return failure;
    window.length = got;
  }
  view->bytes = window.data;
  view->available = window.length < length ? window.length : length;
  return view->available == length ? Failure::kNone : Failure::kFileEndsEarly;
}

Failure ReadArchiveAt(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out) {
  if (count <= kReaderWindowBytes && reader->windows != nullptr) {
    ReaderView view;
    Failure failure = View(reader, position, count, &view);
    if (failure == Failure::kNone) std::memcpy(out, view.bytes, count);
    return failure;
  }
  DWORD got = 0;
  Failure failure = ReadFromFile(reader, position, count, out, &got);
  if (failure != Failure::kNone) return failure;
  return got == count ? Failure::kNone : Failure::kFileEndsEarly;
}

Failure ReadLe32At(ArchiveReader* reader, uint32_t position, uint32_t* value) {
  ReaderView view;
  Failure failure = View(reader, position, 4, &view);
  if (failure == Failure::kNone) *value = ReadLe32(view.bytes);
  return failure;
}

}  // namespace korvo
