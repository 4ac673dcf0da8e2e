#include "archive-extractor/named_entry_archive.h"

#include <cstring>

#include "archive-extractor/directory_cache.h"
#include "common/little_endian.h"
#include "host-contract/scope_guard.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {
namespace {

// A name record is its name, the NUL and the 4-byte offset.
constexpr uint32_t kNameRecordOverhead = 1 + 4;

// Reads the stored header of the entry at `offset`, which runs to `end`, and
// checks that the header and the rows fit in it. On kNone *filesize is the
// size of the picture the entry becomes. Sizes are taken in 64 bits, so no
// width and height can wrap into a small picture. The view may ask for more
// than the header (`viewBytes`); only the header must be there, and *view
// shows what the file held.
Failure MeasureEntry(ArchiveReader* reader, uint32_t offset, uint32_t end, uint32_t viewBytes,
                     uint32_t* filesize, ReaderView* view) {
  Failure failure = View(reader, offset, viewBytes, view);
  if (failure == Failure::kFileEndsEarly && view->available >= kStoredHeaderBytes)
    failure = Failure::kNone;
  if (failure != Failure::kNone) return failure;
  const uint8_t* header = view->bytes;
  uint64_t picture =
      QkzPictureSize(ReadLe32(header + kQkzWidthOffset), ReadLe32(header + kQkzHeightOffset));
  uint64_t rows = picture - kQkzHeadSize;
  // An entry whose next record points in front of it has no room at all:
  // offsets that descend are refused rather than wrapped into a huge size.
  if (end < offset) return Failure::kOffsetsNotAscending;
  // Rows that fit an entry below 2^32 may still make a picture beyond it
  // once the 1032-byte head replaces the 9-byte header.
  if (picture > UINT32_MAX) return Failure::kPictureOver4GiB;
  if (rows + kStoredHeaderBytes > uint64_t{end} - offset) return Failure::kEntryTooSmallForPicture;
  *filesize = static_cast<uint32_t>(picture);
  return Failure::kNone;
}

// The stored name of the entry that carries the shared palette ("Palette.QKZ"
// when listed). Byte for byte, so letter case counts: "palette" is not it.
constexpr char kPaletteStoredName[] = "Palette";
static_assert(sizeof kPaletteStoredName + 4 == sizeof kPaletteEntryName, "listed with .QKZ");

// Where the shared palette is, as a parse finds it: the first entry named
// Palette, and whether its palette bytes were picked up on the way.
struct PaletteFinding {
  bool found = false;
  bool held = false;
  uint32_t position = 0;  // of its entry
};

// Measures the entry of `record`, which runs to `end`, and appends its
// directory entry. The first entry named Palette is remembered; its header is
// viewed together with the palette behind it, so that the palette is
// usually picked up with the header and need not be read again.
Failure AddEntry(ArchiveReader* reader, const NameRecord& record, uint32_t end,
                 ParsedDirectory* directory, PaletteFinding* palette) {
  const bool isPalette = !palette->found &&
                         record.nameLength == sizeof kPaletteStoredName - 1 &&
                         std::memcmp(record.name, kPaletteStoredName, record.nameLength) == 0;
  uint32_t filesize = 0;
  ReaderView view;
  Failure failure =
      MeasureEntry(reader, record.offset, end,
                   isPalette ? kStoredHeaderBytes + kPaletteBytes : kStoredHeaderBytes, &filesize,
                   &view);
  if (failure != Failure::kNone) return failure;
  if (isPalette) {
    palette->found = true;
    palette->position = record.offset;
    palette->held = view.available == kStoredHeaderBytes + kPaletteBytes;
    if (palette->held)
      std::memcpy(directory->palette, view.bytes + kStoredHeaderBytes, kPaletteBytes);
  }
  if (!AppendDirectoryEntry(&directory->entries, record.offset, end - record.offset, filesize,
                            record.name, record.nameLength))
    return Failure::kNoMemory;
  return Failure::kNone;
}

}  // namespace

Failure ReadNameRecord(ArchiveReader* reader, uint32_t position, NameRecord* record) {
  record->nameLength = 0;
  record->offset = 0;
  // The record is looked at in one view of its longest extent, the 32 name
  // bytes and the offset behind them: the name's NUL within the first 32, or
  // the file's end before them, or 32 bytes without a NUL, exactly as reading
  // it byte by byte would find.
  constexpr uint32_t kLongestRecord = kNameFieldBytes + 4;
  ReaderView view;
  Failure failure = View(reader, position, kLongestRecord, &view);
  if (failure != Failure::kNone && failure != Failure::kFileEndsEarly) return failure;
  const uint32_t nameView = view.available < kNameFieldBytes ? view.available : kNameFieldBytes;
  const void* nul = std::memchr(view.bytes, 0, nameView);
  if (nul == nullptr)
    return nameView == kNameFieldBytes ? Failure::kNameWithoutNul : Failure::kFileEndsEarly;
  const auto length = static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - view.bytes);
  // A whole name field is copied as one fixed-size move where the view has it.
  if (nameView == kNameFieldBytes)
    std::memcpy(record->name, view.bytes, kNameFieldBytes);
  else
    std::memcpy(record->name, view.bytes, length + 1);
  record->nameLength = length;

  if (length + kNameRecordOverhead <= view.available) {
    record->offset = ReadLe32(view.bytes + length + 1);
  } else {
    // The view ends inside the offset: read it by itself, which fails where
    // the file ends.
    uint64_t at = uint64_t{position} + length + 1;
    if (at >= kUnreachablePosition) return Failure::kUnreachablePosition;
    failure = ReadLe32At(reader, static_cast<uint32_t>(at), &record->offset);
    if (failure != Failure::kNone) return failure;
  }
  if (record->offset == 0) return Failure::kEntryPositionZero;
  if (record->offset >= reader->fileSize) return Failure::kEntryPositionPastEnd;
  return Failure::kNone;
}

Failure ParseNamedEntryArchive(ArchiveReader* reader, ParsedDirectory* directory) noexcept {
  PaletteFinding palette;
  uint32_t count = 0;
  Failure failure = ReadLe32At(reader, 0, &count);
  if (failure != Failure::kNone) return failure;

  // Each entry is measured against the record behind its own, so record k is
  // read and checked before entry k - 1. The directory grows as entries pass:
  // the count alone reserves nothing, and a garbage count fails where the file
  // runs out of valid records.
  NameRecord current;
  failure = ReadNameRecord(reader, kFirstNameRecordPosition, &current);
  if (failure != Failure::kNone) return failure;
  // Where the first entry starts, the name records have ended: they have
  // room for no more entries, and no more name bytes, than lie in front of it.
  if (current.offset > kFirstNameRecordPosition) {
    const uint32_t region = current.offset - kFirstNameRecordPosition;
    const uint32_t room = region / kNameRecordOverhead;
    const uint32_t entries = count < room ? count : room;
    ExpectDirectoryBytes(&directory->entries, entries, region - uint64_t{4} * entries);
  }
  // Records lie inside the file, so this never passes 2^32.
  uint64_t nextRecord = uint64_t{kFirstNameRecordPosition} + current.nameLength + kNameRecordOverhead;
  for (uint32_t k = 1; k < count; ++k) {
    NameRecord next;
    failure = ReadNameRecord(reader, static_cast<uint32_t>(nextRecord), &next);
    if (failure != Failure::kNone) return failure;
    nextRecord += next.nameLength + kNameRecordOverhead;
    failure = AddEntry(reader, current, next.offset, directory, &palette);
    if (failure != Failure::kNone) return failure;
    current = next;
  }
  // The last entry runs to the end of the file. A count of 0 still has its
  // first record and entry checked, but lists nothing.
  if (count == 0) {
    uint32_t unused = 0;
    ReaderView view;
    failure = MeasureEntry(reader, current.offset, reader->fileSize, kStoredHeaderBytes, &unused,
                           &view);
  } else {
    failure = AddEntry(reader, current, reader->fileSize, directory, &palette);
  }
  if (failure != Failure::kNone) return failure;

  // Required only once every entry has passed. The palette goes to the
  // parse's directory: the shared one changes only when the cache installs it.
  if (!palette.found) return Failure::kNoPaletteEntry;
  if (!palette.held) {
    failure = ReadArchiveAt(reader, palette.position + kStoredHeaderBytes, kPaletteBytes,
                            directory->palette);
    if (failure != Failure::kNone) return failure;
  }
  directory->hasPalette = true;
  return Failure::kNone;
}

Failure LocateNamedEntry(const HostPath& path, ULONG_PTR position, ArchiveReader* reader,
                         EntrySource* source) noexcept {
  // A copy of the record and of the shared palette, both taken under the
  // directory lock: another thread's parse may replace either meanwhile.
  const fileInfo& entry = source->entry;
  uint8_t sharedPalette[kPaletteBytes];
  Failure failure =
      LookUpEntryForExtract(path, ParseNamedEntryArchive, position, &source->entry, sharedPalette);
  if (failure != Failure::kNone) return failure;

  failure = OpenArchiveReader(path, nullptr, reader);
  if (failure != Failure::kNone) return failure;
  const uint32_t entryPosition = static_cast<uint32_t>(entry.position);
  uint8_t header[kStoredHeaderBytes];
  failure = ReadArchiveAt(reader, entryPosition, kStoredHeaderBytes, header);
  if (failure != Failure::kNone) return failure;

  // The size was listed from the directory; the header is read again. If the
  // file has changed since the parse, the picture no longer has the listed
  // size, or its rows no longer fit the entry: nothing is handed out.
  const uint32_t width = ReadLe32(header + kQkzWidthOffset);
  const uint32_t height = ReadLe32(header + kQkzHeightOffset);
  const uint64_t picture = QkzPictureSize(width, height);
  const uint64_t rows = picture - kQkzHeadSize;
  if (picture != entry.filesize || rows + kStoredHeaderBytes > entry.compsize)
    return Failure::kEntryChangedOnDisk;

  const uint8_t* palette = sharedPalette;
  uint8_t ownPalette[kPaletteBytes];
  if (header[kStoredPaletteFlagOffset] != 0) {
    failure = ReadArchiveAt(reader, entryPosition + kStoredHeaderBytes, kPaletteBytes, ownPalette);
    if (failure != Failure::kNone) return failure;
    palette = ownPalette;
  }
  WriteQkzHeadFromTriples(width, height, palette, source->head);
  source->headBytes = kQkzHeadSize;
  // The rows are the last bytes of the entry, whatever lies in front of them.
  const uint64_t rowsPosition = uint64_t{entryPosition} + entry.compsize - rows;
  if (rowsPosition >= kUnreachablePosition) return Failure::kUnreachablePosition;
  source->copyPosition = static_cast<uint32_t>(rowsPosition);
  source->copyBytes = static_cast<uint32_t>(rows);
  source->checkStoredHead = false;
  return Failure::kNone;
}

}  // namespace korvo
