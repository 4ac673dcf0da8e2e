#include "tools/korvo/mount/mount_index.h"

#include <cstring>

#include "archive-extractor/named_entry_archive.h"
#include "common/little_endian.h"
#include "host-contract/failure_words.h"
#include "qkz-picture/qkz_picture.h"
#include "thumbnail/archive_picture.h"

namespace korvo {
namespace {

// The listing and the parse describe the same entries, or the archive
// changed between them (or a foreign extractor listed it).
bool SameEntry(const ArchiveEntry& listed, const DirectoryEntry& parsed) {
  return listed.position == parsed.position && listed.storedSize == parsed.compsize &&
         listed.size == parsed.filesize;
}

// An offset-table entry as BMP: its stored head says the size. A head that
// cannot be read, or whose picture overruns the entry, leaves 0.
uint64_t StoredBmpSize(const PositionalFile& file, const MountEntry& entry) {
  uint8_t size[8];
  if (ReadPositional(file, entry.position, size, sizeof size) != sizeof size) return 0;
  const uint32_t width = ReadLe32(size + kQkzWidthOffset), height = ReadLe32(size + kQkzHeightOffset);
  return QkzPictureSize(width, height) > entry.storedSize ? 0 : BmpSizeOf(width, height);
}

}  // namespace

uint64_t BmpSizeOf(uint32_t width, uint32_t height) {
  QkzGeometry geometry;
  return QkzGeometryOf(width, height, &geometry) ? uint64_t{kBmpHeadBytes} + geometry.rowBytes : 0;
}

bool IndexArchive(const std::string& path, const PositionalFile& file,
                  const std::vector<ArchiveEntry>& listed, MountFormat format, MountIndex* index,
                  std::string* error) {
  ParsedArchive archive;
  const Failure failure = ParseArchive(HostPath(path.c_str()), &archive);
  if (failure != Failure::kNone) {
    *error = std::string("korvo mount reads only archives of its own layouts: ") + FailureWords(failure);
    return false;
  }
  const ParsedDirectory& parsed = archive.directory;
  bool same = parsed.entries.count == listed.size();
  for (size_t i = 0; same && i < listed.size(); ++i) same = SameEntry(listed[i], parsed.entries.entries[i]);
  if (!same) {
    *error = "the layouts read other entries than the extractor listed (changed meanwhile?)";
    return false;
  }
  index->format = format;
  index->named = kArchiveLayouts[archive.layout].parse == ParseNamedEntryArchive;
  if (parsed.hasPalette) std::memcpy(index->sharedPalette, parsed.palette, kPaletteBytes);
  index->entries.resize(listed.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    const DirectoryEntry& found = parsed.entries.entries[i];
    MountEntry& entry = index->entries[i];
    entry.position = found.position;
    entry.storedSize = found.compsize;
    entry.qkzSize = found.filesize;
    entry.servedSize = entry.qkzSize;
    if (format == MountFormat::kBmp) {
      // A named entry's rows are the rest of its picture. An entry that is no
      // picture the filter takes is shown as a bare head whose reads fail,
      // as extract fails on it.
      const uint64_t rows = uint64_t{entry.qkzSize} - kQkzHeadSize;
      entry.servedSize = !index->named ? StoredBmpSize(file, entry) : kBmpHeadBytes + rows;
      if (entry.servedSize == 0) entry.servedSize = kBmpHeadBytes;
    }
  }
  return true;
}

}  // namespace korvo
