// The shell extension's stream-reading thumbnail path (what its thumbnail
// provider and preview handler run on the stream the shell hands over),
// over a source in memory. The first byte chooses the handler's input
// (bit 0: archive, else picture), whether the source claims 100 bytes more
// than it delivers, as a stream cut short does (bit 1), and the size asked
// for (bits 2-4); the rest is the file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/little_endian.h"
#include "shell-extension/stream_thumbnail.h"

namespace {

struct Memory {
  const uint8_t* data;
  size_t size;
};

uint32_t ReadMemory(void* context, uint64_t position, uint8_t* out, uint32_t count) {
  const Memory* memory = static_cast<const Memory*>(context);
  if (position >= memory->size) return 0;
  const size_t left = memory->size - static_cast<size_t>(position);
  const size_t given = count < left ? count : left;
  std::memcpy(out, memory->data + position, given);
  return static_cast<uint32_t>(given);
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const uint32_t kSizes[8] = {1, 7, 16, 32, 96, 256, 1024, 3};
  const uint8_t choice = data[0];
  const korvo::ShellInput input = (choice & 1) != 0 ? korvo::ShellInput::kArchive : korvo::ShellInput::kPicture;
  const bool claimsMore = (choice & 2) != 0;
  const uint32_t thumbnailSize = kSizes[(choice >> 2) & 7];
  Memory memory = {data + 1, size - 1};
  const korvo::ByteSource source = {ReadMemory, &memory, memory.size + (claimsMore ? 100 : 0)};
  korvo::Thumbnail thumbnail;
  const korvo::ShellFailure failure = korvo::ShellThumbnail(source, input, thumbnailSize, &thumbnail);
  if (failure != korvo::ShellFailure::kNone) return 0;

  // What came out fits the size asked for and holds every pixel.
  Check(thumbnail.width >= 1 && thumbnail.height >= 1);
  Check(thumbnail.width <= thumbnailSize && thumbnail.height <= thumbnailSize);
  const size_t pixels = size_t{thumbnail.width} * thumbnail.height;
  Check(thumbnail.pixels.size() == (thumbnail.indexed ? pixels : 3 * pixels));
  std::vector<uint8_t> bgra(4 * pixels);
  korvo::BgraPixels(thumbnail, bgra.data());
  for (size_t i = 3; i < bgra.size(); i += 4) Check(bgra[i] == 255);
  // A picture's head and rows lie in the file. (A source claiming more than
  // it holds needs to hold only the bytes read: the rows a large reduction
  // samples, the last row's pixels but not its padding.)
  if (input == korvo::ShellInput::kPicture) {
    Check(memory.size >= 1032);
    const uint32_t width = korvo::ReadLe32(memory.data), height = korvo::ReadLe32(memory.data + 4);
    Check(width != 0 && height != 0);
    Check(claimsMore || 1032 + ((uint64_t{width} + 3) & ~uint64_t{3}) * height <= memory.size);
    if (thumbnail.indexed) Check(thumbnail.width == width && thumbnail.height == height);
  }
  return 0;
}
