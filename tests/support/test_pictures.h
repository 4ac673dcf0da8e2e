// Pictures and palettes for tests, laid out here by hand so that they do not
// depend on the format library or the writers they test. Every byte tells
// where it belongs, and each seed gives its own palette and rows, so that a
// picture handed out or decoded in the wrong place, order or orientation
// shows.
#pragma once

#include <array>
#include <cstdint>

#include "tests/support/test_files.h"
#include "qkz-picture/qkz_picture.h"

// 256 red, green, blue triples; the triples of two seeds differ in every byte.
using Triples = korvo::QkzTriples;
Triples MakeTriples(uint8_t seed);

// Bytes of a row: the width rounded up to 4.
uint32_t PictureStride(uint32_t width);

// Rows of PictureStride(width) x height bytes, top row first, fill bytes
// included; the rows of two seeds differ in every byte.
Bytes MakeRows(uint32_t width, uint32_t height, uint8_t seed);

// The complete QKZ picture of this size, triples and rows: the head (width,
// height, 256 entries of red, green, blue and `reserved`), then `rows` as
// given (an empty `rows` gives the head alone).
Bytes QkzPictureOf(uint32_t width, uint32_t height, const Triples& triples, const Bytes& rows,
                   uint8_t reserved = 0);

// The picture of seed `seed` with 0xA5 in the reserved byte of every palette
// entry (readers must ignore it), followed by `trailing` bytes that belong to
// its file or entry (0xE0, 0xE1, ...).
Bytes MakeQkzPicture(uint32_t width, uint32_t height, size_t trailing = 0, uint8_t seed = 0);

// Only the head of that picture: 1032 bytes.
Bytes MakeQkzHead(uint32_t width, uint32_t height, uint8_t seed = 0);
