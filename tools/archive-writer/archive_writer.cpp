#include "tools/archive-writer/archive_writer.h"

#include "common/little_endian.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {
namespace {

void AppendLe32(ByteVector& bytes, uint32_t value) {
  bytes.resize(bytes.size() + 4);
  WriteLe32(&bytes[bytes.size() - 4], value);
}

void Append(ByteVector& bytes, const ByteVector& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
}

}  // namespace

ByteVector BuildOffsetTableArchive(const std::vector<ByteVector>& entries) {
  ByteVector archive;
  AppendLe32(archive, static_cast<uint32_t>(entries.size()));
  archive.resize(4 + 4 * entries.size());
  for (size_t k = 0; k < entries.size(); ++k) {
    WriteLe32(&archive[4 + 4 * k], static_cast<uint32_t>(archive.size()));
    Append(archive, entries[k]);
  }
  return archive;
}

ByteVector BuildNamedEntryArchive(const std::vector<NamedEntry>& entries) {
  ByteVector archive;
  AppendLe32(archive, static_cast<uint32_t>(entries.size()));
  std::vector<size_t> offsetFields;
  for (const NamedEntry& entry : entries) {
    archive.insert(archive.end(), entry.name.begin(), entry.name.end());
    archive.push_back(0);
    offsetFields.push_back(archive.size());
    AppendLe32(archive, 0);
  }
  for (size_t k = 0; k < entries.size(); ++k) {
    const NamedEntry& entry = entries[k];
    WriteLe32(&archive[offsetFields[k]], static_cast<uint32_t>(archive.size()));
    AppendLe32(archive, entry.width);
    AppendLe32(archive, entry.height);
    archive.push_back(entry.ownPalette ? 1 : 0);
    if (entry.ownPalette) archive.insert(archive.end(), entry.palette.begin(), entry.palette.end());
    Append(archive, entry.gap);
    Append(archive, entry.rows);
  }
  return archive;
}

ByteVector BuildQkzPicture(uint32_t width, uint32_t height,
                           const std::array<uint8_t, 768>& palette, const ByteVector& rows) {
  // The format library's head; the rows as given, so that a test may also
  // build a head alone or a picture with rows missing or to spare.
  ByteVector picture(kQkzHeadSize);
  WriteQkzHeadFromTriples(width, height, palette.data(), picture.data());
  Append(picture, rows);
  return picture;
}

}  // namespace korvo
