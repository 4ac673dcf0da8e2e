#include "tools/korvo/pictures/picture_input.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "qkz-picture/qkz_picture.h"
#include "tools/host/platform/files.h"
#include "tools/korvo/pictures/png_file.h"

namespace korvo {
namespace {

// Appends up to `wanted` bytes of `file` to `data` (to its end when
// `wanted` is SIZE_MAX); false on a read error.
bool ReadMore(FILE* file, size_t wanted, Bytes* data) {
  uint8_t buffer[65536];
  while (wanted > 0) {
    size_t got = fread(buffer, 1, std::min(wanted, sizeof buffer), file);
    data->insert(data->end(), buffer, buffer + got);
    wanted -= got;
    if (got == 0) break;
  }
  return ferror(file) == 0;
}

// A QKZ picture whose head is in `data`: its rows, never more than the head
// claims and only once the claim fits.
bool ReadQkzRows(FILE* file, uint64_t largestPicture, Bytes& data, IndexedPicture* picture,
                 std::string* error) {
  QkzGeometry geometry;
  if (data.size() < kQkzHeadSize || !ReadQkzGeometry(data.data(), &geometry)) {
    *error = "neither a QKZ picture nor a PNG";
    return false;
  }
  if (geometry.pictureSize > largestPicture) {
    *error = NoRoomInTheArchive(geometry.width, geometry.height, geometry.pictureSize);
    return false;
  }
  data.reserve(geometry.pictureSize);
  if (!ReadMore(file, geometry.rowBytes, &data)) {
    *error = "cannot read the file";
    return false;
  }
  if (data.size() < geometry.pictureSize) {
    *error = "QKZ picture of " + std::to_string(geometry.width) + " x " +
             std::to_string(geometry.height) + " ends inside its rows (" +
             std::to_string(data.size()) + " of " + std::to_string(geometry.pictureSize) +
             " bytes)";
    return false;
  }
  picture->width = geometry.width;
  picture->height = geometry.height;
  picture->stride = geometry.stride;
  for (uint32_t i = 0; i < kQkzColourCount; ++i)
    std::copy_n(&data[kQkzPaletteOffset + 4 * i], 3, &picture->palette[3 * i]);
  data.erase(data.begin(), data.begin() + kQkzRowsOffset);
  picture->rows = std::move(data);
  return true;
}

}  // namespace

bool IsPng(const Bytes& data) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return data.size() >= sizeof kSignature &&
         std::equal(kSignature, kSignature + sizeof kSignature, data.begin());
}

bool ReadPictureForArchive(const std::string& path, uint64_t largestPicture,
                           IndexedPicture* picture, std::string* error) {
  FILE* file = OpenForReading(path, error);
  if (file == nullptr) return false;
  Bytes data;
  bool read = ReadMore(file, kQkzHeadSize, &data);
  // A PNG is decoded from memory; its rows are still only made once its
  // header's claim fits.
  if (read && IsPng(data)) read = ReadMore(file, SIZE_MAX, &data);
  bool taken = false;
  if (!read)
    *error = "cannot read the file";
  else if (IsPng(data))
    taken = DecodeIndexedPng(data, largestPicture, picture, error);
  else
    taken = ReadQkzRows(file, largestPicture, data, picture, error);
  fclose(file);
  return taken;
}

}  // namespace korvo
