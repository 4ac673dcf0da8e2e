#include "tools/archive-writer/archive_writer.h"

namespace korvo {
namespace {

void AppendLe32(ByteVector& bytes, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void PutLe32(ByteVector& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
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
    PutLe32(archive, 4 + 4 * k, static_cast<uint32_t>(archive.size()));
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
    PutLe32(archive, offsetFields[k], static_cast<uint32_t>(archive.size()));
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
  ByteVector picture;
  AppendLe32(picture, width);
  AppendLe32(picture, height);
  for (size_t i = 0; i < 256; ++i) {
    picture.insert(picture.end(), palette.begin() + 3 * i, palette.begin() + 3 * i + 3);
    picture.push_back(0);
  }
  Append(picture, rows);
  return picture;
}

}  // namespace korvo
