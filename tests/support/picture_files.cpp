#include "tests/support/picture_files.h"

#include <algorithm>
#include <ostream>

#ifndef _WIN32
#include <png.h>
#include <zlib.h>
#endif

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

namespace {

// PNG's checksums, by their definitions: CRC-32 of each chunk and Adler-32
// of the zlib stream.
uint32_t Crc32(const uint8_t* bytes, size_t count) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

uint32_t Adler32(const Bytes& bytes) {
  uint32_t low = 1, high = 0;
  for (uint8_t byte : bytes) {
    low = (low + byte) % 65521;
    high = (high + low) % 65521;
  }
  return high << 16 | low;
}

void AppendBe32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void AppendChunk(Bytes& out, const char* type, const Bytes& data) {
  AppendBe32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  AppendBe32(out, Crc32(&out[start], out.size() - start));
}

// The signature and the IHDR chunk of a picture that is not interlaced.
Bytes PngHead(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colourType) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  AppendBe32(header, width);
  AppendBe32(header, height);
  header.insert(header.end(), {bitDepth, colourType, 0, 0, 0});
  AppendChunk(png, "IHDR", header);
  return png;
}

}  // namespace

// Written by hand, its rows in one stored deflate block, so that every
// target's test can make it: libpng and zlib are Linux's only.
Bytes MakeRgbPng(uint32_t width, uint32_t height) {
  Bytes png = PngHead(width, height, 8, 2);  // 8 bits, RGB
  Bytes rows;
  for (uint32_t y = 0; y < height; ++y) {
    rows.push_back(0);  // no filter
    rows.insert(rows.end(), 3 * size_t{width}, 0x40);
  }
  const auto length = static_cast<uint16_t>(rows.size());  // small pictures: one block
  Bytes data;
  data.reserve(7 + rows.size() + 4);
  data.insert(data.end(), {0x78, 0x01, 0x01, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                           static_cast<uint8_t>(~length), static_cast<uint8_t>(~length >> 8)});
  data.insert(data.end(), rows.begin(), rows.end());
  AppendBe32(data, Adler32(rows));
  AppendChunk(png, "IDAT", data);
  AppendChunk(png, "IEND", Bytes());
  return png;
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


Bytes MakeBlankPng(uint32_t width, uint32_t height) {
  Bytes png = PngHead(width, height, 1, 3);  // 1 bit, indexed
  AppendChunk(png, "PLTE", Bytes{0, 0, 0, 255, 255, 255});
  // Rows of a filter byte and (width + 7) / 8 zeros, 64 at a time.
  const size_t rowBytes = 1 + (size_t{width} + 7) / 8;
  const Bytes rows(64 * rowBytes, 0);
  Bytes data, buffer(1 << 16);
  z_stream stream = {};
  deflateInit(&stream, 9);
  for (uint32_t y = 0; y < height; y += 64) {
    const uint32_t count = std::min(64u, height - y);
    stream.next_in = const_cast<Bytef*>(rows.data());
    stream.avail_in = static_cast<uInt>(count * rowBytes);
    const int flush = y + count == height ? Z_FINISH : Z_NO_FLUSH;
    int result = Z_OK;
    do {
      stream.next_out = buffer.data();
      stream.avail_out = static_cast<uInt>(buffer.size());
      result = deflate(&stream, flush);
      data.insert(data.end(), buffer.data(), buffer.data() + (buffer.size() - stream.avail_out));
    } while (stream.avail_out == 0 && result == Z_OK);
  }
  deflateEnd(&stream);
  AppendChunk(png, "IDAT", data);
  AppendChunk(png, "IEND", Bytes());
  return png;
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
