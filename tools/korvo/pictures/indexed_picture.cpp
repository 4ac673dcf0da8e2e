#include "tools/korvo/pictures/indexed_picture.h"

namespace korvo {

std::string NoRoomInTheArchive(uint32_t width, uint32_t height, uint64_t pictureSize) {
  return "a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels (" +
         std::to_string(pictureSize) + " bytes) does not fit in the archive (2 GiB at most)";
}

}  // namespace korvo
