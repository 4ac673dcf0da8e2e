#include "tests/cli/picture_files.h"

#include <ostream>

#ifndef _WIN32
#include <png.h>
#endif

namespace {

uint32_t Le32(const Bytes& bytes, size_t offset) {
  return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
         (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

void AppendLe32(Bytes& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

TestPicture MakeTestPicture(const std::string& name, uint32_t width, uint32_t height, int seed,
                            int paletteSeed) {
  TestPicture picture;
  picture.name = name;
  picture.width = width;
  picture.height = height;
  for (int i = 0; i < 256; ++i) {
    picture.palette[3 * i] = static_cast<uint8_t>(i * paletteSeed);
    picture.palette[3 * i + 1] = static_cast<uint8_t>(255 - i + paletteSeed);
    picture.palette[3 * i + 2] = static_cast<uint8_t>(i * 7 + 3 * paletteSeed);
  }
  picture.rows.assign(size_t{picture.Stride()} * height, 0xEE);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      picture.rows[y * picture.Stride() + x] = static_cast<uint8_t>(x * 7 + y * 13 + seed);
  return picture;
}

Bytes QkzFileOf(const TestPicture& picture) {
  Bytes file;
  AppendLe32(file, picture.width);
  AppendLe32(file, picture.height);
  for (int i = 0; i < 256; ++i) {
    file.insert(file.end(), picture.palette.begin() + 3 * i, picture.palette.begin() + 3 * i + 3);
    file.push_back(0);
  }
  file.insert(file.end(), picture.rows.begin(), picture.rows.end());
  return file;
}

PictureContent ContentOf(const TestPicture& picture) {
  PictureContent content;
  content.width = picture.width;
  content.height = picture.height;
  content.palette = picture.palette;
  for (uint32_t y = 0; y < picture.height; ++y)
    for (uint32_t x = 0; x < picture.width; ++x)
      content.pixels.push_back(picture.rows[y * picture.Stride() + x]);
  return content;
}

PictureContent ReadBmpContent(const Bytes& file) {
  PictureContent content;
  if (file.size() < 54 + 1024 || file[0] != 'B' || file[1] != 'M') {
    content.problem = "not a BMP file";
    return content;
  }
  uint32_t pixelsAt = Le32(file, 10);
  content.width = Le32(file, 18);
  content.height = Le32(file, 22);
  if (Le32(file, 14) != 40 || (file[28] | (file[29] << 8)) != 8 || pixelsAt != 14 + 40 + 1024) {
    content.problem = "not an 8-bit BMP with a 40-byte header and 256 colours";
    return content;
  }
  for (int i = 0; i < 256; ++i) {
    const uint8_t* colour = &file[54 + 4 * i];
    content.palette[3 * i] = colour[2];
    content.palette[3 * i + 1] = colour[1];
    content.palette[3 * i + 2] = colour[0];
  }
  uint32_t stride = (content.width + 3) & ~3u;
  if (file.size() < pixelsAt + size_t{stride} * content.height) {
    content.problem = "BMP file ends inside its rows";
    return content;
  }
  for (uint32_t y = 0; y < content.height; ++y) {  // bottom-up
    size_t row = pixelsAt + size_t{content.height - 1 - y} * stride;
    content.pixels.insert(content.pixels.end(), file.begin() + row, file.begin() + row + content.width);
  }
  return content;
}

#ifndef _WIN32
PictureContent ReadPngContent(const Bytes& file) {
  PictureContent content;
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  // The simplified API keeps an indexed PNG's indices and colour map.
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
    content.problem = std::string("not a PNG: ") + image.message;
    return content;
  }
  if ((image.format & PNG_FORMAT_FLAG_COLORMAP) == 0 || image.colormap_entries != 256) {
    png_image_free(&image);
    content.problem = "not an indexed PNG of 256 colours";
    return content;
  }
  image.format = PNG_FORMAT_RGB_COLORMAP;
  content.width = image.width;
  content.height = image.height;
  content.pixels.resize(size_t{image.width} * image.height);
  if (!png_image_finish_read(&image, nullptr, content.pixels.data(), 0, content.palette.data()))
    content.problem = std::string("damaged PNG: ") + image.message;
  return content;
}

Bytes ReadPngRgb(const Bytes& file, uint32_t* width, uint32_t* height) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return Bytes();
  image.format = PNG_FORMAT_RGB;
  Bytes rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return Bytes();
  *width = image.width;
  *height = image.height;
  return rgb;
}

Bytes MakeRgbPng(uint32_t width, uint32_t height) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  Bytes pixels(3 * size_t{width} * height, 0x40);
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
  Bytes file(size);
  png_image_write_to_memory(&image, file.data(), &size, 0, pixels.data(), 0, nullptr);
  file.resize(size);
  return file;
}
#endif

Bytes RgbOf(const PictureContent& content) {
  Bytes rgb;
  for (uint8_t index : content.pixels)
    rgb.insert(rgb.end(), &content.palette[3 * index], &content.palette[3 * index] + 3);
  return rgb;
}

bool operator==(const PictureContent& a, const PictureContent& b) {
  return a.problem == b.problem && a.width == b.width && a.height == b.height &&
         a.palette == b.palette && a.pixels == b.pixels;
}

std::ostream& operator<<(std::ostream& out, const PictureContent& content) {
  if (!content.problem.empty()) return out << content.problem;
  return out << content.width << " x " << content.height << ", colour 1 (" << int{content.palette[3]}
             << ", " << int{content.palette[4]} << ", " << int{content.palette[5]} << "), "
             << content.pixels.size() << " pixels";
}
