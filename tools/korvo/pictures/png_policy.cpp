#include "tools/korvo/pictures/png_policy.h"

namespace korvo {

std::string NotIndexedPng(const std::string& colourType) {
  return "not an indexed PNG (" + colourType + "); reduce it to 256 colours first";
}

std::string CheckPngSize(uint32_t width, uint32_t height, uint64_t largestPicture,
                         QkzGeometry* geometry) {
  if (!QkzGeometryOf(width, height, geometry))
    return "a PNG of " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels is too large for a QKZ picture";
  if (geometry->pictureSize > largestPicture)
    return NoRoomInTheArchive(width, height, geometry->pictureSize);
  return std::string();
}

void StartIndexedPicture(const QkzGeometry& geometry, IndexedPicture* picture) {
  picture->width = geometry.width;
  picture->height = geometry.height;
  picture->stride = geometry.stride;
  picture->palette = {};
  picture->rows.assign(geometry.rowBytes, 0);
}

void SetPaletteColour(size_t index, uint8_t red, uint8_t green, uint8_t blue,
                      IndexedPicture* picture) {
  if (index >= kQkzColourCount) return;  // beyond 256 colours: no index can name it
  picture->palette[3 * index] = red;
  picture->palette[3 * index + 1] = green;
  picture->palette[3 * index + 2] = blue;
}

}  // namespace korvo
