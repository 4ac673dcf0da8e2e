#include "tools/archive-writer/archive_writer.h"

#include <cstring>

#include "common/little_endian.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {
namespace {

void AppendLe32(Bytes& bytes, uint32_t value) {
  bytes.resize(bytes.size() + 4);
  WriteLe32(&bytes[bytes.size() - 4], value);
}

void Append(Bytes& bytes, const Bytes& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
}

// The table goes out as it stands (positions still 0) and is written again
// whole by FinishArchive.
bool StartStream(const ArchiveSink& sink, ArchiveStream* stream) {
  stream->sink = sink;
  stream->entriesStarted = 0;
  stream->size = 0;
  return AppendToArchive(stream, stream->table);
}

// A sink into memory, for the Build functions.
ArchiveSink MemorySink(Bytes* archive) {
  ArchiveSink sink;
  sink.append = [archive](const uint8_t* data, size_t size) {
    archive->insert(archive->end(), data, data + size);
    return true;
  };
  sink.rewrite = [archive](uint64_t position, const uint8_t* data, size_t size) {
    if (position > archive->size() || archive->size() - position < size) return false;
    if (size != 0) memcpy(archive->data() + position, data, size);
    return true;
  };
  return sink;
}

}  // namespace

bool StartOffsetTableArchive(const ArchiveSink& sink, uint32_t count, ArchiveStream* stream) {
  stream->table.clear();
  stream->positionFields.clear();
  AppendLe32(stream->table, count);
  for (uint32_t k = 0; k < count; ++k) {
    stream->positionFields.push_back(stream->table.size());
    AppendLe32(stream->table, 0);
  }
  return StartStream(sink, stream);
}

bool StartNamedEntryArchive(const ArchiveSink& sink, const std::vector<std::string>& names,
                            ArchiveStream* stream) {
  stream->table.clear();
  stream->positionFields.clear();
  AppendLe32(stream->table, static_cast<uint32_t>(names.size()));
  for (const std::string& name : names) {
    stream->table.insert(stream->table.end(), name.begin(), name.end());
    stream->table.push_back(0);
    stream->positionFields.push_back(stream->table.size());
    AppendLe32(stream->table, 0);
  }
  return StartStream(sink, stream);
}

bool StartEntry(ArchiveStream* stream) {
  if (stream->entriesStarted == stream->positionFields.size()) return false;
  // Positions are 32 bits; the caller keeps the archive below that.
  WriteLe32(&stream->table[stream->positionFields[stream->entriesStarted++]],
            static_cast<uint32_t>(stream->size));
  return true;
}

bool AppendToArchive(ArchiveStream* stream, const uint8_t* data, size_t size) {
  if (size == 0) return true;
  if (!stream->sink.append(data, size)) return false;
  stream->size += size;
  return true;
}

bool AppendNamedEntryHead(ArchiveStream* stream, uint32_t width, uint32_t height,
                          const uint8_t* palette) {
  Bytes head;
  AppendLe32(head, width);
  AppendLe32(head, height);
  head.push_back(palette != nullptr ? 1 : 0);
  if (palette != nullptr) head.insert(head.end(), palette, palette + kQkzTripleTableSize);
  return AppendToArchive(stream, head);
}

bool FinishArchive(ArchiveStream* stream) {
  return stream->sink.rewrite(0, stream->table.data(), stream->table.size());
}

Bytes BuildOffsetTableArchive(const std::vector<Bytes>& entries) {
  Bytes archive;
  ArchiveStream stream;
  StartOffsetTableArchive(MemorySink(&archive), static_cast<uint32_t>(entries.size()), &stream);
  for (const Bytes& entry : entries) {
    StartEntry(&stream);
    AppendToArchive(&stream, entry);
  }
  FinishArchive(&stream);
  return archive;
}

Bytes BuildNamedEntryArchive(const std::vector<NamedEntry>& entries) {
  Bytes archive;
  std::vector<std::string> names;
  for (const NamedEntry& entry : entries) names.push_back(entry.name);
  ArchiveStream stream;
  StartNamedEntryArchive(MemorySink(&archive), names, &stream);
  for (const NamedEntry& entry : entries) {
    StartEntry(&stream);
    AppendNamedEntryHead(&stream, entry.width, entry.height,
                         entry.ownPalette ? entry.palette.data() : nullptr);
    AppendToArchive(&stream, entry.gap);
    AppendToArchive(&stream, entry.rows);
  }
  FinishArchive(&stream);
  return archive;
}

Bytes QkzHeadOf(uint32_t width, uint32_t height, const QkzTriples& palette) {
  Bytes head(kQkzHeadSize);
  WriteQkzHeadFromTriples(width, height, palette.data(), head.data());
  return head;
}

Bytes BuildQkzPicture(uint32_t width, uint32_t height, const QkzTriples& palette,
                      const Bytes& rows) {
  // The format library's head; the rows as given, so that a test may also
  // build a head alone or a picture with rows missing or to spare.
  Bytes picture = QkzHeadOf(width, height, palette);
  Append(picture, rows);
  return picture;
}

}  // namespace korvo
