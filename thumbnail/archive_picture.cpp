#include "thumbnail/archive_picture.h"

#include <cstring>
#include <memory>
#include <new>

#include "archive-extractor/archive_reader.h"
#include "archive-extractor/layouts.h"
#include "archive-extractor/named_entry_archive.h"
#include "common/little_endian.h"

namespace korvo {
namespace {

// An offset-table entry is a whole QKZ picture: its head gives the size and
// palette, the rows follow it.
Failure ReadStoredPicture(ArchiveReader* reader, const DirectoryEntry& entry,
                          PictureInSource* picture) {
  uint8_t head[kQkzHeadSize];
  Failure failure = ReadArchiveAt(reader, entry.position, kQkzHeadSize, head);
  if (failure != Failure::kNone) return failure;
  picture->width = ReadLe32(head + kQkzWidthOffset);
  picture->height = ReadLe32(head + kQkzHeightOffset);
  PaletteToRgbTriples(head + kQkzPaletteOffset, picture->palette);
  picture->rowsPosition = uint64_t{entry.position} + kQkzRowsOffset;
  return Failure::kNone;
}

// A named entry: its stored header, its own palette or the shared one, and
// its rows at the entry's end, as the extractor rebuilds it.
Failure ReadNamedPicture(ArchiveReader* reader, const DirectoryEntry& entry,
                         const uint8_t* sharedPalette, PictureInSource* picture) {
  uint8_t header[kStoredHeaderBytes];
  Failure failure = ReadArchiveAt(reader, entry.position, kStoredHeaderBytes, header);
  if (failure != Failure::kNone) return failure;
  picture->width = ReadLe32(header + kQkzWidthOffset);
  picture->height = ReadLe32(header + kQkzHeightOffset);
  const uint64_t rows = QkzPictureSize(picture->width, picture->height) - kQkzHeadSize;
  // Measured by the parse; checked again against a file changed since.
  if (rows + kStoredHeaderBytes > entry.compsize) return Failure::kEntryChangedOnDisk;
  if (header[kStoredPaletteFlagOffset] != 0) {
    failure = ReadArchiveAt(reader, entry.position + kStoredHeaderBytes, kPaletteBytes,
                            picture->palette);
    if (failure != Failure::kNone) return failure;
  } else {
    std::memcpy(picture->palette, sharedPalette, kPaletteBytes);
  }
  picture->rowsPosition = uint64_t{entry.position} + entry.compsize - rows;
  return Failure::kNone;
}

}  // namespace

ParsedArchive::ParsedArchive() { directory.entries = kEmptyDirectoryArray; }

ParsedArchive::~ParsedArchive() {
  FreeDirectoryArray(&directory.entries);
  CloseArchiveReader(&reader);
}

namespace {

// Opens the archive's reader afresh for each layout that needs it: on a
// path, the file; on a source, the source.
struct ArchiveOrigin {
  const HostPath* path;
  const ByteSource* source;
};

Failure OpenOrigin(const ArchiveOrigin& origin, ReaderWindow* windows, ArchiveReader* reader) {
  if (origin.source != nullptr) return OpenArchiveSource(origin.source, windows, reader);
  return OpenArchiveReader(*origin.path, windows, reader);
}

Failure ParseOrigin(const ArchiveOrigin& origin, ParsedArchive* parsed) noexcept {
  parsed->windows.reset(new (std::nothrow) ReaderWindow[kReaderWindowCount]);
  if (parsed->windows == nullptr) return Failure::kNoMemory;
  Failure failure = Failure::kCannotOpen;
  bool open = false;
  for (int i = 0; i < kLayoutCount; ++i) {
    if (!open) {
      CloseArchiveReader(&parsed->reader);
      failure = OpenOrigin(origin, parsed->windows.get(), &parsed->reader);
      open = failure == Failure::kNone;
      if (!open) continue;
    }
    ParsedDirectory& directory = parsed->directory;
    FreeDirectoryArray(&directory.entries);
    directory.entries = kEmptyDirectoryArray;
    directory.entries.timestamp = parsed->reader.timestamp;
    directory.hasPalette = false;
    failure = kArchiveLayouts[i].parse(&parsed->reader, &directory);
    if (failure == Failure::kNone) {
      parsed->layout = i;
      return failure;
    }
  }
  return failure;
}

Outcome FindInOrigin(const ArchiveOrigin& origin, ArchivePicture* found) noexcept {
  *found = ArchivePicture();
  ParsedArchive archive;
  Failure failure = ParseOrigin(origin, &archive);
  if (failure == Failure::kNoMemory && archive.windows == nullptr) return {failure, false};
  if (failure != Failure::kNone) return Refusal(failure);
  const uint32_t palette = PaletteEntryIndex(archive);
  for (uint32_t i = 0; i < archive.directory.entries.count; ++i) {
    if (i == palette) continue;
    FormatEntryName(archive.directory.entries, i, found->name);
    found->found = true;
    return {LocateEntryPicture(&archive, i, &found->picture), false};
  }
  found->name[0] = '\0';
  return {Failure::kNone, false};
}

}  // namespace

uint32_t PaletteEntryIndex(const ParsedArchive& archive) noexcept {
  const uint32_t count = archive.directory.entries.count;
  if (archive.layout < 0 || kArchiveLayouts[archive.layout].parse != ParseNamedEntryArchive)
    return count;
  char name[kEntryNameBytes];
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t length = FormatEntryName(archive.directory.entries, i, name);
    if (length == sizeof kPaletteEntryName - 1 && std::memcmp(name, kPaletteEntryName, length) == 0)
      return i;
  }
  return count;
}

Failure LocateEntryPicture(ParsedArchive* archive, uint32_t index, PictureInSource* picture) noexcept {
  const ParsedDirectory& parsed = archive->directory;
  if (archive->layout < 0 || index >= parsed.entries.count) return Failure::kNoEntryAtPosition;
  const DirectoryEntry& entry = parsed.entries.entries[index];
  return kArchiveLayouts[archive->layout].parse == ParseNamedEntryArchive
             ? ReadNamedPicture(&archive->reader, entry, parsed.palette, picture)
             : ReadStoredPicture(&archive->reader, entry, picture);
}

Failure ParseArchive(const HostPath& path, ParsedArchive* parsed) noexcept {
  return ParseOrigin({&path, nullptr}, parsed);
}

Failure ParseArchive(const ByteSource& source, ParsedArchive* parsed) noexcept {
  return ParseOrigin({nullptr, &source}, parsed);
}

Outcome FindArchivePicture(const HostPath& path, ArchivePicture* found) noexcept {
  return FindInOrigin({&path, nullptr}, found);
}

Outcome FindArchivePicture(const ByteSource& source, ArchivePicture* found) noexcept {
  return FindInOrigin({nullptr, &source}, found);
}

void ParseEachLayout(const HostPath& path, Failure reasons[kLayoutCount]) noexcept {
  std::unique_ptr<ReaderWindow[]> windows(new (std::nothrow) ReaderWindow[kReaderWindowCount]);
  for (int i = 0; i < kLayoutCount; ++i) {
    ArchiveReader reader;
    ParsedDirectory parsed;
    parsed.entries = kEmptyDirectoryArray;
    reasons[i] = windows == nullptr ? Failure::kNoMemory : OpenArchiveReader(path, windows.get(), &reader);
    if (reasons[i] == Failure::kNone) {
      parsed.entries.timestamp = reader.timestamp;
      reasons[i] = kArchiveLayouts[i].parse(&reader, &parsed);
    }
    FreeDirectoryArray(&parsed.entries);
    CloseArchiveReader(&reader);
  }
}

}  // namespace korvo
