// QKZ pictures for tests, laid out by hand so that they do not depend on the
// format library they test: a palette and pixels in which every byte tells
// where it belongs.
#pragma once

#include <cstdint>

#include "tests/support/test_files.h"

// Palette entry i is (i, 255 - i, 7i, 0xA5): a reserved byte readers ignore.
uint8_t FixturePaletteByte(int entry, int byte);

// Bytes of rows of width rounded up to 4, fill bytes included, all distinct
// from row to row.
uint32_t FixtureStride(uint32_t width);
uint8_t FixturePixel(uint32_t row, uint32_t column);

// A complete picture of these sizes, followed by `trailing` bytes of 0xEE.
Bytes MakeQkzPicture(uint32_t width, uint32_t height, size_t trailing = 0);

// Only a head: width, height and the fixture palette (1032 bytes).
Bytes MakeQkzHead(uint32_t width, uint32_t height);
