// The floor of each benchmarked operation: the least work any implementation
// must do on this machine for the same result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// One read of the whole picture file into a preallocated buffer, then the
// rows copied bottom-up into a second preallocated buffer.
void FloorPictureFromFile(const std::string& path, uint32_t width, uint32_t height,
                          std::vector<uint8_t>& fileBuffer, std::vector<uint8_t>& pixels);

// The rows copied bottom-up into a freshly allocated buffer.
void FloorPictureFromMemory(const uint8_t* picture, uint32_t width, uint32_t height);

// The file mapped and every field the layout's checks must see read.
void FloorOffsetTableProbe(const std::string& path);
void FloorNamedEntryProbe(const std::string& path);

// The whole archive read once and every picture's rows copied bottom-up.
void FloorOffsetTableSession(const std::string& path);
void FloorNamedEntrySession(const std::string& path);

}  // namespace bench
