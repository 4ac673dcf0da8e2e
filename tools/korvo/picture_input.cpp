#include "tools/korvo/picture_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "qkz-picture/qkz_picture.h"
#include "tools/korvo/file_system.h"
#include "tools/korvo/image_files.h"

namespace korvo {

FILE* OpenForReading(const std::string& path, std::string* error) {
  std::error_code failure;
  if (std::filesystem::is_directory(PathOf(path), failure)) {
    *error = "is a folder";
    return nullptr;
  }
  FILE* file = OpenFile(path, "rb");
  if (file == nullptr) *error = std::string("cannot open: ") + strerror(errno);
  return file;
}

bool ReadWholeFile(const std::string& path, Bytes* data, std::string* error) {
  FILE* file = OpenForReading(path, error);
  if (file == nullptr) return false;
  data->clear();
  uint8_t buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) data->insert(data->end(), buffer, buffer + got);
  bool failed = ferror(file) != 0;
  fclose(file);
  if (failed) *error = "cannot read the file";
  return !failed;
}

bool IsPng(const Bytes& data) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return data.size() >= sizeof kSignature &&
         std::equal(kSignature, kSignature + sizeof kSignature, data.begin());
}

bool ReadPictureForArchive(const std::string& path, IndexedPicture* picture, std::string* error) {
  Bytes data;
  if (!ReadWholeFile(path, &data, error)) return false;
  if (IsPng(data)) return DecodeIndexedPng(data, picture, error);
  QkzGeometry geometry;
  if (data.size() < kQkzHeadSize || !ReadQkzGeometry(data.data(), &geometry)) {
    *error = "neither a QKZ picture nor a PNG";
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
  picture->rows.assign(data.begin() + kQkzRowsOffset, data.begin() + geometry.pictureSize);
  return true;
}

}  // namespace korvo
