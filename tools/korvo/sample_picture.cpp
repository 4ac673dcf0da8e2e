// A QKZ picture the demo can decode without any file of our own: eight colour
// bars over a rainbow ramp, inside a white frame, with a black diagonal from
// the top left. Any mix-up of rows, colour order or fill bytes shows at once.
#include <cstdio>
#include <vector>

#include "qkz-picture/qkz_picture.h"
#include "tools/korvo/commands.h"

namespace {

constexpr uint32_t kWidth = 250;  // not a multiple of 4: rows carry fill bytes
constexpr uint32_t kHeight = 160;
constexpr uint8_t kBlack = 0, kWhite = 7, kFill = 255;
constexpr int kRampFirst = 16, kRampLength = 224;

// Entries 0-7: black, red, green, yellow, blue, magenta, cyan, white; then a
// hue ramp.
std::vector<uint8_t> SamplePalette() {
  std::vector<uint8_t> palette(korvo::kQkzPaletteSize, 0);
  for (int i = 0; i < 8; ++i) {
    palette[4 * i] = (i & 1) ? 255 : 0;
    palette[4 * i + 1] = (i & 2) ? 255 : 0;
    palette[4 * i + 2] = (i & 4) ? 255 : 0;
  }
  for (int i = 0; i < kRampLength; ++i) {
    int sector = i * 6 / kRampLength, rise = (i * 6 % kRampLength) * 255 / kRampLength;
    int fall = 255 - rise;
    const int rgb[6][3] = {{255, rise, 0}, {fall, 255, 0}, {0, 255, rise},
                           {0, fall, 255}, {rise, 0, 255}, {255, 0, fall}};
    uint8_t* entry = &palette[4 * (kRampFirst + i)];
    for (int c = 0; c < 3; ++c) entry[c] = static_cast<uint8_t>(rgb[sector][c]);
  }
  palette[4 * kFill] = 0x80;  // a grey no pixel uses: fill bytes only
  return palette;
}

uint8_t SamplePixel(uint32_t x, uint32_t y) {
  if (x == 0 || y == 0 || x == kWidth - 1 || y == kHeight - 1) return kWhite;
  if (x * kHeight / kWidth == y) return kBlack;
  if (y < kHeight / 2) return static_cast<uint8_t>(1 + x * 7 / kWidth);  // bars 1-7
  return static_cast<uint8_t>(kRampFirst + x * kRampLength / kWidth);
}

}  // namespace

int WriteSamplePicture(const std::string& output) {
  korvo::QkzGeometry geometry;
  korvo::QkzGeometryOf(kWidth, kHeight, &geometry);
  std::vector<uint8_t> rows(geometry.rowBytes, kFill);
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) rows[y * geometry.stride + x] = SamplePixel(x, y);
  std::vector<uint8_t> picture(geometry.pictureSize);
  korvo::WriteQkzPicture(kWidth, kHeight, SamplePalette().data(), rows.data(), picture.data());

  FILE* file = fopen(output.c_str(), "wb");
  bool written = file != nullptr && fwrite(picture.data(), 1, picture.size(), file) == picture.size();
  if (file != nullptr && fclose(file) != 0) written = false;
  if (!written) {
    fprintf(stderr, "korvo: %s: cannot write the picture\n", output.c_str());
    return 1;
  }
  printf("%s: QKZ picture, %u x %u, %zu bytes\n", output.c_str(), kWidth, kHeight, picture.size());
  return 0;
}
