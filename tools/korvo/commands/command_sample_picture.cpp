// korvo sample-picture [--pattern NAME] OUT.QKZ: test pictures of our own
// whose orientation, colours and fill bytes are plain to see, for the demo
// and for trying the plug-ins without any file at hand. Widths that are not
// multiples of 4 give every row fill bytes.
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "qkz-picture/qkz_picture.h"
#include "tools/archive-writer/archive_writer.h"
#include "tools/korvo/commands/commands.h"
#include "tools/host/platform/output_file.h"

namespace korvo {
namespace {

using Palette = QkzTriples;

// `index` is one of the palette's 256 colours.
void SetColour(Palette& palette, int index, int red, int green, int blue) {
  const auto at = 3 * static_cast<size_t>(index);
  palette[at] = static_cast<uint8_t>(red);
  palette[at + 1] = static_cast<uint8_t>(green);
  palette[at + 2] = static_cast<uint8_t>(blue);
}

// Spectrum: 0-7 black, red, green, yellow, blue, magenta, cyan, white;
// 16-239 a hue ramp; 255 grey for fill bytes.
constexpr uint8_t kBlack = 0, kRed = 1, kYellow = 3, kBlue = 4, kWhite = 7, kFill = 255;
constexpr int kRampFirst = 16, kRampLength = 224;

Palette SpectrumPalette() {
  Palette palette = {};
  for (int i = 0; i < 8; ++i) SetColour(palette, i, (i & 1) ? 255 : 0, (i & 2) ? 255 : 0, (i & 4) ? 255 : 0);
  for (int i = 0; i < kRampLength; ++i) {
    int sector = i * 6 / kRampLength, rise = (i * 6 % kRampLength) * 255 / kRampLength;
    int fall = 255 - rise;
    const int rgb[6][3] = {{255, rise, 0}, {fall, 255, 0}, {0, 255, rise},
                           {0, fall, 255}, {rise, 0, 255}, {255, 0, fall}};
    SetColour(palette, kRampFirst + i, rgb[sector][0], rgb[sector][1], rgb[sector][2]);
  }
  SetColour(palette, kFill, 0x80, 0x80, 0x80);
  return palette;
}

// Fire: black through red, orange and yellow to white.
Palette FirePalette() {
  Palette palette = {};
  for (int i = 0; i < 256; ++i)
    SetColour(palette, i, std::min(255, 3 * i), std::max(0, std::min(255, 3 * i - 255)),
              std::max(0, 3 * i - 510));
  return palette;
}

// Grey: 0 black to 255 white.
Palette GreyPalette() {
  Palette palette = {};
  for (int i = 0; i < 256; ++i) SetColour(palette, i, i, i, i);
  return palette;
}

// Colour bars over the hue ramp, in a white frame, with a black diagonal from
// the top left.
uint8_t BarsPixel(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  if (x == 0 || y == 0 || x == width - 1 || y == height - 1) return kWhite;
  if (x * height / width == y) return kBlack;
  if (y < height / 2) return static_cast<uint8_t>(1 + x * 7 / width);
  return static_cast<uint8_t>(kRampFirst + x * kRampLength / width);
}

// A red arrow pointing up on blue, a yellow square in the top left corner:
// upside down or mirrored, it shows at once. Same palette as the bars.
uint8_t ArrowPixel(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  if (x < width / 6 && y < height / 6) return kYellow;
  int centre = static_cast<int>(width / 2), offset = std::abs(static_cast<int>(x) - centre);
  bool head = y >= height / 8 && y < height / 2 && offset <= static_cast<int>(y - height / 8);
  bool shaft = y >= height / 2 && y < height * 7 / 8 && offset <= static_cast<int>(width / 10);
  return head || shaft ? kRed : kBlue;
}

// Concentric rings running through the fire ramp, a white dot top left.
uint8_t RingsPixel(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  if (x < 8 && y < 8) return 255;
  double dx = x - width / 2.0, dy = y - height / 2.0;
  return static_cast<uint8_t>(static_cast<int>(std::sqrt(dx * dx + dy * dy) * 4) % 224 + 16);
}

// A board of squares growing lighter to the right and down, every other
// square inverted: the darkest corner is the top left.
uint8_t CheckerPixel(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  const uint32_t columns = 8, rows = 6;
  uint32_t column = x * columns / width, row = y * rows / height;
  auto level = static_cast<uint8_t>((row * columns + column) * 255 / (columns * rows - 1));
  return (column + row) % 2 == 0 ? level : static_cast<uint8_t>(255 - level);
}

struct Pattern {
  const char* name;
  const char* description;
  uint32_t width, height;
  Palette (*palette)();
  uint8_t (*pixel)(uint32_t x, uint32_t y, uint32_t width, uint32_t height);
};

const Pattern kPatterns[] = {
    {"bars", "colour bars over a colour ramp, white frame, black diagonal from the top left",
     250, 160, SpectrumPalette, BarsPixel},
    {"arrow", "a red arrow pointing up on blue, yellow square top left (palette of bars)", 123, 150,
     SpectrumPalette, ArrowPixel},
    {"rings", "concentric rings in fire colours, white dot top left", 201, 201, FirePalette,
     RingsPixel},
    {"checker", "grey squares lighter to the right and down, every other one inverted", 162, 120,
     GreyPalette, CheckerPixel},
};

}  // namespace

std::string SamplePatternNames() {
  std::string names;
  for (const Pattern& pattern : kPatterns) names += std::string(names.empty() ? "" : ", ") + pattern.name;
  return names;
}

int RunSamplePicture(const Arguments& arguments) {
  std::string name = arguments.Has("--pattern") ? arguments.Value("--pattern") : "bars";
  const Pattern* pattern = nullptr;
  for (const Pattern& candidate : kPatterns)
    if (name == candidate.name) pattern = &candidate;
  if (pattern == nullptr) {
    fprintf(stderr, "korvo: sample-picture: unknown pattern '%s' (%s)\n", name.c_str(),
            SamplePatternNames().c_str());
    return kExitUsage;
  }
  QkzGeometry geometry;
  QkzGeometryOf(pattern->width, pattern->height, &geometry);
  Bytes rows(geometry.rowBytes, kFill);
  for (uint32_t y = 0; y < pattern->height; ++y)
    for (uint32_t x = 0; x < pattern->width; ++x)
      rows[y * geometry.stride + x] = pattern->pixel(x, y, pattern->width, pattern->height);
  Bytes picture = BuildQkzPicture(pattern->width, pattern->height, pattern->palette(), rows);

  const std::string& output = arguments.operands[0];
  std::string error;
  if (!WriteFileAtomically(output, picture, &error)) return ReportFailure(output, error);
  printf("%s: QKZ picture '%s', %u x %u: %s\n", output.c_str(), pattern->name, pattern->width,
         pattern->height, pattern->description);
  return 0;
}

}  // namespace korvo
