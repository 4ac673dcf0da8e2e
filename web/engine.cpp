// The web viewer's engine: QKZ pictures and both archive layouts read through
// the same libraries as the plug-ins and korvo (the extractor's layout
// parsers, the picture format, the thumbnail library, korvo's name decoding
// and output names), for a page that hands it files by path. Each export is
// a noexcept boundary; a failure leaves one line in EngineText.
#include "web/engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/ascii.h"
#include "host-contract/failure_words.h"
#include "qkz-picture/qkz_picture.h"
#include "thumbnail/archive_picture.h"
#include "thumbnail/qkz_thumbnail.h"
#include "tools/korvo/names/json_text.h"
#include "tools/korvo/names/name_encoding.h"
#include "tools/korvo/names/output_names.h"

namespace korvo {
namespace {

// One file the page opened: a QKZ picture or a parsed archive.
struct OpenFile {
  std::string name;  // the file's own name, UTF-8
  int descriptor = -1;
  uint64_t size = 0;
  bool picture = false;
  PictureInSource head;  // a picture file's
  std::unique_ptr<ParsedArchive> archive;
  uint32_t paletteIndex = 0;  // the Palette entry, or the entry count
  // Read-ahead for rows read one after another (see ReadFile).
  std::vector<uint8_t> ahead;
  uint64_t aheadStart = 0;
  uint64_t lastEnd = UINT64_MAX;
  ~OpenFile() {
    if (descriptor >= 0) close(descriptor);
  }
};

std::map<int32_t, std::unique_ptr<OpenFile>> openFiles;
int32_t lastHandle = 0;
std::string text;  // the last call's failure line, or its JSON answer
EngineResult result;
std::vector<uint8_t> resultPixels;
const NameEncoding kNames = {kDefaultNameEncoding};

// A seek and reads rather than pread: emscripten's pread passes only the low
// 32 bits of the position, as a signed number, so rows beyond 2 GiB of a
// large archive would come from the wrong place; its seek takes all 64.
uint32_t ReadDirect(const OpenFile& file, uint64_t position, uint8_t* out, uint32_t count) {
  if (lseek(file.descriptor, static_cast<off_t>(position), SEEK_SET) != static_cast<off_t>(position))
    return 0;
  uint32_t done = 0;
  while (done < count) {
    const ssize_t got = read(file.descriptor, out + done, count - done);
    if (got <= 0) break;
    done += static_cast<uint32_t>(got);
  }
  return done;
}

// Each read of a File costs a slice and a round trip through the browser,
// about a millisecond whatever its size, so a thumbnail that reads a small
// picture's rows one by one would cost hundreds. A read that starts at or
// just behind where the last one ended (the next row) fills kReadAhead
// bytes at once and later rows come from them; rows sampled far apart
// (a picture of thousands of rows) are still read alone, no more bytes than
// asked for.
constexpr uint32_t kReadAhead = 1u << 20;
constexpr uint64_t kNextRowGap = 4096;

uint32_t ReadFile(void* context, uint64_t position, uint8_t* out, uint32_t count) {
  auto* file = static_cast<OpenFile*>(context);
  const uint64_t end = position + count;
  const bool next = file->lastEnd != UINT64_MAX && position >= file->lastEnd &&
                    position - file->lastEnd <= kNextRowGap;
  file->lastEnd = end;
  if (position >= file->aheadStart && end <= file->aheadStart + file->ahead.size()) {
    std::copy_n(file->ahead.data() + (position - file->aheadStart), count, out);
    return count;
  }
  if (!next || count >= kReadAhead || position >= file->size) return ReadDirect(*file, position, out, count);
  file->ahead.resize(static_cast<size_t>(std::min<uint64_t>(kReadAhead, file->size - position)));
  file->aheadStart = position;
  file->ahead.resize(ReadDirect(*file, position, file->ahead.data(), static_cast<uint32_t>(file->ahead.size())));
  const uint32_t have = static_cast<uint32_t>(std::min<uint64_t>(count, file->ahead.size()));
  std::copy_n(file->ahead.data(), have, out);
  return have;
}

ByteSource SourceOf(OpenFile* file) { return {ReadFile, file, file->size}; }

bool HasQkzName(const std::string& name) {
  return name.size() > 4 && FoldAsciiText(name.substr(name.size() - 4)) == ".qkz";
}

int32_t Fail(const std::string& line) {
  text = line;
  return 0;
}

OpenFile* FindFile(int32_t handle) {
  auto found = openFiles.find(handle);
  return found == openFiles.end() ? nullptr : found->second.get();
}

std::string SizeText(uint64_t have, uint64_t needed) {
  return " (" + std::to_string(have) + " of " + std::to_string(needed) + " bytes)";
}

// Why a picture's rows or head could not be read, in korvo thumbnail's words.
std::string PictureFailureText(ThumbnailFailure failure, const OpenFile& file,
                               const PictureInSource& picture) {
  std::string words = ThumbnailFailureWords(failure);
  if (file.picture && failure == ThumbnailFailure::kEndsInsideHead)
    words += SizeText(file.size, kQkzHeadSize);
  else if (file.picture && failure == ThumbnailFailure::kEndsInsideRows)
    words += SizeText(file.size, QkzPictureSize(picture.width, picture.height));
  else if (failure == ThumbnailFailure::kEndsInsideRows)
    words = FailureWords(Failure::kFileEndsEarly);
  return words;
}

// Where entry `index` keeps its picture, or why it cannot be read.
bool LocatePicture(OpenFile* file, uint32_t index, PictureInSource* picture) {
  if (file->picture) {
    if (index != 0) text = "no such entry";
    *picture = file->head;
    return index == 0;
  }
  const Failure failure = LocateEntryPicture(file->archive.get(), index, picture);
  if (failure != Failure::kNone) text = FailureWords(failure);
  return failure == Failure::kNone;
}

// The thumbnail (or a decoded picture's indices) as RGBA for a canvas.
void ToRgba(const uint8_t* pixels, size_t count, bool indexed, const uint8_t* palette,
            std::vector<uint8_t>* rgba) {
  rgba->resize(4 * count);
  uint8_t* out = rgba->data();
  for (size_t i = 0; i < count; ++i, out += 4) {
    const uint8_t* colour = indexed ? palette + 3 * size_t{pixels[i]} : pixels + 3 * i;
    out[0] = colour[0];
    out[1] = colour[1];
    out[2] = colour[2];
    out[3] = 255;
  }
}

// The Palette entry shown as what it is: its 256 colours, 16 x 16.
void PaletteSwatch(const uint8_t* palette) {
  uint8_t indices[kQkzColourCount];
  for (uint32_t i = 0; i < kQkzColourCount; ++i) indices[i] = static_cast<uint8_t>(i);
  ToRgba(indices, kQkzColourCount, true, palette, &resultPixels);
  result.width = result.height = 16;
  result.paletteSwatch = 1;
}

std::string LayoutName(const ParsedArchive& archive) {
  return archive.layout == 0 ? "offset-table" : "named-entry";
}

int32_t Open(const char* path, const char* name) {
  auto file = std::make_unique<OpenFile>();
  file->name = name;
  file->descriptor = open(path, O_RDONLY);
  struct stat status;
  if (file->descriptor < 0 || fstat(file->descriptor, &status) != 0)
    return Fail("the file cannot be opened");
  file->size = static_cast<uint64_t>(status.st_size);
  const ByteSource source = SourceOf(file.get());

  // A picture: named .qkz in any letter case, with a head that is one, as
  // korvo thumbnail takes it.
  uint8_t size8[8] = {};
  ReadDirect(*file, 0, size8, sizeof size8);
  if (HasQkzName(name) && IsQkzHead(size8)) {
    ThumbnailFailure failure = LocateQkzPicture(source, 0, &file->head);
    const uint64_t needed = QkzPictureSize(file->head.width, file->head.height);
    if (failure == ThumbnailFailure::kNone && file->size < needed)
      failure = ThumbnailFailure::kEndsInsideRows;
    file->picture = true;
    if (failure != ThumbnailFailure::kNone)
      return Fail(PictureFailureText(failure, *file, file->head));
  } else {
    file->archive = std::make_unique<ParsedArchive>();
    const Failure failure = ParseArchive(HostPath(path), file->archive.get());
    if (failure != Failure::kNone) {
      if (HasQkzName(name)) {
        QkzGeometry geometry;
        return Fail(file->size < 8 ? "the file is shorter than a picture's 1032-byte head" +
                                         SizeText(file->size, kQkzHeadSize)
                    : JudgeQkzHead(size8, &geometry) == QkzHeadVerdict::kTooLarge
                        ? ThumbnailFailureWords(ThumbnailFailure::kTooLarge)
                        : ThumbnailFailureWords(ThumbnailFailure::kNotAPicture));
      }
      if (failure == Failure::kNoMemory) return Fail(FailureWords(failure));
      Failure reasons[kLayoutCount];
      ParseEachLayout(HostPath(path), reasons);
      return Fail(std::string("neither a QKZ picture nor an archive of either layout (offset-table: ") +
                  FailureWords(reasons[0]) + "; named-entry: " + FailureWords(reasons[1]) + ")");
    }
    file->paletteIndex = PaletteEntryIndex(*file->archive);
  }
  openFiles[++lastHandle] = std::move(file);
  return lastHandle;
}

// The entries as JSON: name as korvo list shows it, whether it decodes, the
// file korvo extract would write for it alone, its position and sizes.
void Listing(OpenFile* file) {
  std::string json = "{\"kind\": ";
  if (file->picture) {
    std::string stem, extension;
    SplitExtension(file->name, &stem, &extension);
    json += "\"picture\", \"layout\": \"\", \"entries\": [{\"name\": " + JsonString(file->name) +
            ", \"decoded\": true, \"file\": " + JsonString(stem + ".png") +
            ", \"position\": 0, \"stored\": " + std::to_string(file->size) +
            ", \"size\": " + std::to_string(file->size) + ", \"palette\": false}]}";
    text = json;
    return;
  }
  const DirectoryArray& entries = file->archive->directory.entries;
  json += "\"archive\", \"layout\": \"" + LayoutName(*file->archive) + "\", \"entries\": [";
  char name[kEntryNameBytes];
  for (uint32_t i = 0; i < entries.count; ++i) {
    const uint32_t length = FormatEntryName(entries, i, name);
    const std::string stored(name, length);
    std::string decoded, output;
    const bool whole = DecodeName(kNames, stored, &decoded);
    if (whole) {
      UsedNames used;
      output = OutputName(decoded, ".png", &used);
    }
    const DirectoryEntry& entry = entries.entries[i];
    json += std::string(i == 0 ? "" : ", ") + "{\"name\": " + JsonString(DisplayName(kNames, stored)) +
            ", \"decoded\": " + (whole ? "true" : "false") + ", \"file\": " + JsonString(output) +
            ", \"position\": " + std::to_string(entry.position) +
            ", \"stored\": " + std::to_string(entry.compsize) +
            ", \"size\": " + std::to_string(entry.filesize) +
            ", \"palette\": " + (i == file->paletteIndex ? "true" : "false") + "}";
  }
  text = json + "]}";
}

// The names korvo extract gives the chosen entries, in archive order, as a
// JSON array; "" for an entry whose name does not decode.
void OutputNames(OpenFile* file, const uint32_t* indices, uint32_t count) {
  std::vector<uint32_t> chosen(indices, indices + count);
  std::sort(chosen.begin(), chosen.end());
  std::map<uint32_t, std::string> names;
  UsedNames used;
  char name[kEntryNameBytes];
  for (uint32_t index : chosen) {
    std::string decoded;
    if (file->picture) {
      std::string stem, extension;
      SplitExtension(file->name, &stem, &extension);
      names[index] = stem + ".png";
    } else if (index < file->archive->directory.entries.count) {
      const uint32_t length = FormatEntryName(file->archive->directory.entries, index, name);
      if (DecodeName(kNames, std::string(name, length), &decoded))
        names[index] = OutputName(decoded, ".png", &used);
    }
  }
  std::string json = "[";
  for (uint32_t i = 0; i < count; ++i)
    json += std::string(i == 0 ? "" : ", ") + JsonString(names[indices[i]]);
  text = json + "]";
}

int32_t MakeEntryThumbnail(OpenFile* file, uint32_t index, uint32_t size) {
  PictureInSource picture;
  if (!LocatePicture(file, index, &picture)) return 0;
  result.pictureWidth = picture.width;
  result.pictureHeight = picture.height;
  if (!file->picture && index == file->paletteIndex) {
    PaletteSwatch(file->archive->directory.palette);
    return 1;
  }
  Thumbnail thumbnail;
  const ThumbnailFailure failure = MakeThumbnail(SourceOf(file), picture, size, &thumbnail);
  if (failure != ThumbnailFailure::kNone) return Fail(PictureFailureText(failure, *file, picture));
  result.width = thumbnail.width;
  result.height = thumbnail.height;
  ToRgba(thumbnail.pixels.data(), size_t{thumbnail.width} * thumbnail.height, thumbnail.indexed,
         thumbnail.palette, &resultPixels);
  return 1;
}

int32_t DecodeEntry(OpenFile* file, uint32_t index, bool rgba) {
  PictureInSource picture;
  if (!LocatePicture(file, index, &picture)) return 0;
  QkzGeometry geometry;
  if (picture.width == 0 || picture.height == 0)
    return Fail(ThumbnailFailureWords(ThumbnailFailure::kNotAPicture));
  if (!QkzGeometryOf(picture.width, picture.height, &geometry))
    return Fail(ThumbnailFailureWords(ThumbnailFailure::kTooLarge));
  if (picture.rowsPosition > file->size || file->size - picture.rowsPosition < geometry.rowBytes)
    return Fail(PictureFailureText(ThumbnailFailure::kEndsInsideRows, *file, picture));
  const uint64_t pixels = uint64_t{geometry.width} * geometry.height;
  if (pixels > kEngineMostPixels || geometry.width > kEngineLongestSide ||
      geometry.height > kEngineLongestSide)
    return Fail("too large for this page: " + std::to_string(geometry.width) + "x" +
                std::to_string(geometry.height) + " pixels (it takes up to " +
                std::to_string(kEngineMostPixels) + " pixels, " +
                std::to_string(kEngineLongestSide) + " a side)");
  result.width = result.pictureWidth = geometry.width;
  result.height = result.pictureHeight = geometry.height;
  std::copy_n(picture.palette, kQkzTripleTableSize, result.palette);
  // The rows in pieces of about 1 MiB, each one read, fill bytes dropped.
  std::vector<uint8_t> indices(static_cast<size_t>(pixels));
  const uint32_t rowsAtOnce = std::max<uint32_t>(1, (1u << 20) / geometry.stride);
  std::vector<uint8_t> piece(size_t{geometry.stride} * std::min(rowsAtOnce, geometry.height));
  const ByteSource source = SourceOf(file);
  for (uint32_t row = 0; row < geometry.height; row += rowsAtOnce) {
    const uint32_t rows = std::min(rowsAtOnce, geometry.height - row);
    const uint32_t bytes = rows * geometry.stride;
    if (source.read(source.context, picture.rowsPosition + uint64_t{row} * geometry.stride,
                    piece.data(), bytes) != bytes)
      return Fail(ThumbnailFailureWords(ThumbnailFailure::kCannotRead));
    for (uint32_t i = 0; i < rows; ++i)
      std::copy_n(piece.data() + size_t{i} * geometry.stride, geometry.width,
                  indices.data() + (size_t{row} + i) * geometry.width);
  }
  if (rgba) {
    ToRgba(indices.data(), indices.size(), true, result.palette, &resultPixels);
  } else {
    resultPixels = std::move(indices);
  }
  return 1;
}

// Runs one export's work; everything thrown stops here as one line.
template <typename Work>
int32_t Guarded(Work work) noexcept {
  try {
    resultPixels = std::vector<uint8_t>();
    result.width = result.height = result.pictureWidth = result.pictureHeight = 0;
    result.paletteSwatch = 0;
    return work();
  } catch (const std::bad_alloc&) {
    resultPixels = std::vector<uint8_t>();
    return Fail(FailureWords(Failure::kNoMemory));
  } catch (...) {
    resultPixels = std::vector<uint8_t>();
    return Fail("internal failure");
  }
}

}  // namespace
}  // namespace korvo

using korvo::Guarded;

extern "C" {

int32_t korvo_open(const char* path, const char* name) noexcept {
  return Guarded([&] { return korvo::Open(path, name); });
}

int32_t korvo_listing(int32_t handle) noexcept {
  return Guarded([&] {
    korvo::OpenFile* file = korvo::FindFile(handle);
    if (file == nullptr) return korvo::Fail("no such file");
    korvo::Listing(file);
    return 1;
  });
}

int32_t korvo_output_names(int32_t handle, const uint32_t* indices, uint32_t count) noexcept {
  return Guarded([&] {
    korvo::OpenFile* file = korvo::FindFile(handle);
    if (file == nullptr) return korvo::Fail("no such file");
    korvo::OutputNames(file, indices, count);
    return 1;
  });
}

int32_t korvo_thumbnail(int32_t handle, uint32_t index, uint32_t size) noexcept {
  return Guarded([&] {
    korvo::OpenFile* file = korvo::FindFile(handle);
    return file == nullptr ? korvo::Fail("no such file") : korvo::MakeEntryThumbnail(file, index, size);
  });
}

int32_t korvo_decode(int32_t handle, uint32_t index, int32_t rgba) noexcept {
  return Guarded([&] {
    korvo::OpenFile* file = korvo::FindFile(handle);
    return file == nullptr ? korvo::Fail("no such file") : korvo::DecodeEntry(file, index, rgba != 0);
  });
}

void korvo_close(int32_t handle) noexcept {
  Guarded([&] {
    korvo::openFiles.erase(handle);
    return 1;
  });
}

const char* korvo_text() noexcept { return korvo::text.c_str(); }

const EngineResult* korvo_result() noexcept {
  korvo::result.pixelData = korvo::resultPixels.data();
  korvo::result.pixelBytes = static_cast<uint32_t>(korvo::resultPixels.size());
  return &korvo::result;
}

}  // extern "C"
