// Pictures for the command-line tests, written and read by hand so that the
// checks do not lean on the code under test: QKZ files, BMP files and (on
// Linux, through libpng) PNG files.
#pragma once

#include <array>
#include <string>

#include "tests/support/korvo_runs.h"
#include "qkz-picture/qkz_picture.h"

struct TestPicture {
  std::string name;
  uint32_t width = 0;
  uint32_t height = 0;
  korvo::QkzTriples palette = {};  // red, green, blue triples
  Bytes rows;                             // stride bytes each, top row first
  uint32_t Stride() const { return (width + 3) & ~3u; }
};

// A picture whose pixels depend on `seed`, with fill bytes of 0xEE; its
// palette is made from `paletteSeed`, so pictures of one palette seed share
// their palette.
TestPicture MakeTestPicture(const std::string& name, uint32_t width, uint32_t height, int seed,
                            int paletteSeed);

// The QKZ file of a picture: width, height, (red, green, blue, 0) x 256, rows.
Bytes QkzFileOf(const TestPicture& picture);

// What a picture file holds, as the tests compare it: sizes, the 256
// colours and one index per pixel (fill bytes dropped).
struct PictureContent {
  uint32_t width = 0;
  uint32_t height = 0;
  korvo::QkzTriples palette = {};
  Bytes pixels;  // width x height, top row first
  std::string problem;  // why the file could not be read
};

PictureContent ContentOf(const TestPicture& picture);
// The picture's pixels as red, green, blue triples, top row first.
Bytes RgbOf(const PictureContent& content);
PictureContent ReadBmpContent(const Bytes& file);
// An RGB PNG (3 x width x height at most 65535 bytes), which korvo must
// refuse to pack.
Bytes MakeRgbPng(uint32_t width, uint32_t height);
#ifndef _WIN32
PictureContent ReadPngContent(const Bytes& file);
// Any PNG as red, green, blue triples, top row first; empty when it is no PNG.
Bytes ReadPngRgb(const Bytes& file, uint32_t* width, uint32_t* height);
// A 1-bit indexed PNG whose rows are all zeros, written with zlib alone: at
// 65535 x 65519 about 0.5 MB that claim 4 GB of rows once decoded.
Bytes MakeBlankPng(uint32_t width, uint32_t height);
#endif

bool operator==(const PictureContent& a, const PictureContent& b);
std::ostream& operator<<(std::ostream& out, const PictureContent& content);
