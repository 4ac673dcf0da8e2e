#include "bench/floors.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "common/little_endian.h"

namespace bench {
namespace {

volatile uint64_t sink;

uint32_t Stride(uint32_t width) { return (width + 3u) & ~3u; }

void CopyBottomUp(const uint8_t* rows, uint32_t width, uint32_t height, uint8_t* pixels) {
  uint32_t stride = Stride(width);
  for (uint32_t r = 0; r < height; ++r)
    memcpy(pixels + static_cast<size_t>(height - 1 - r) * stride,
           rows + static_cast<size_t>(r) * stride, stride);
}

struct Mapping {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
};

Mapping Map(const std::string& path) {
  Mapping mapping;
  int fd = open(path.c_str(), O_RDONLY);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0) abort();
  mapping.size = static_cast<size_t>(status.st_size);
  void* address = mmap(nullptr, mapping.size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (address == MAP_FAILED) abort();
  mapping.bytes = static_cast<const uint8_t*>(address);
  return mapping;
}

void Unmap(Mapping& mapping) { munmap(const_cast<uint8_t*>(mapping.bytes), mapping.size); }

std::vector<uint8_t> ReadWhole(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0) abort();
  std::vector<uint8_t> bytes(static_cast<size_t>(status.st_size));
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
    if (got <= 0) abort();
    done += static_cast<size_t>(got);
  }
  close(fd);
  return bytes;
}

// Positions and sizes of a named-entry archive's entries, from its records.
struct EntrySpan {
  uint32_t offset, size;
};

std::vector<EntrySpan> NamedEntrySpans(const uint8_t* bytes, size_t size) {
  uint32_t count = korvo::ReadLe32(bytes);
  std::vector<EntrySpan> spans(count);
  size_t at = 4;
  for (uint32_t k = 0; k < count; ++k) {
    at += strnlen(reinterpret_cast<const char*>(bytes + at), 32) + 1;
    spans[k].offset = korvo::ReadLe32(bytes + at);
    at += 4;
  }
  for (uint32_t k = 0; k < count; ++k)
    spans[k].size = (k + 1 < count ? spans[k + 1].offset : static_cast<uint32_t>(size)) -
                    spans[k].offset;
  return spans;
}

}  // namespace

void FloorPictureFromFile(const std::string& path, uint32_t width, uint32_t height,
                          std::vector<uint8_t>& fileBuffer, std::vector<uint8_t>& pixels) {
  int fd = open(path.c_str(), O_RDONLY);
  size_t done = 0;
  while (done < fileBuffer.size()) {
    ssize_t got = read(fd, fileBuffer.data() + done, fileBuffer.size() - done);
    if (got <= 0) abort();
    done += static_cast<size_t>(got);
  }
  close(fd);
  CopyBottomUp(fileBuffer.data() + 1032, width, height, pixels.data());
  sink = sink + pixels[0];
}

void FloorPictureFromMemory(const uint8_t* picture, uint32_t width, uint32_t height) {
  size_t bytes = static_cast<size_t>(Stride(width)) * height;
  auto* pixels = static_cast<uint8_t*>(malloc(bytes));
  CopyBottomUp(picture + 1032, width, height, pixels);
  sink = sink + pixels[bytes - 1];
  free(pixels);
}

void FloorOffsetTableProbe(const std::string& path) {
  Mapping mapping = Map(path);
  uint32_t count = korvo::ReadLe32(mapping.bytes);
  uint64_t sum = 0;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t offset = korvo::ReadLe32(mapping.bytes + 4 + 4 * k);
    sum += korvo::ReadLe32(mapping.bytes + offset) + korvo::ReadLe32(mapping.bytes + offset + 4);
  }
  sink = sink + sum;
  Unmap(mapping);
}

void FloorNamedEntryProbe(const std::string& path) {
  Mapping mapping = Map(path);
  uint64_t sum = 0;
  for (const EntrySpan& span : NamedEntrySpans(mapping.bytes, mapping.size))
    sum += korvo::ReadLe32(mapping.bytes + span.offset) + korvo::ReadLe32(mapping.bytes + span.offset + 4) +
           mapping.bytes[span.offset + 8];
  sink = sink + sum;
  Unmap(mapping);
}

void FloorOffsetTableSession(const std::string& path) {
  std::vector<uint8_t> archive = ReadWhole(path);
  std::vector<uint8_t> pixels;
  uint32_t count = korvo::ReadLe32(archive.data());
  for (uint32_t k = 0; k < count; ++k) {
    const uint8_t* picture = archive.data() + korvo::ReadLe32(archive.data() + 4 + 4 * k);
    uint32_t width = korvo::ReadLe32(picture), height = korvo::ReadLe32(picture + 4);
    pixels.resize(static_cast<size_t>(Stride(width)) * height);
    CopyBottomUp(picture + 1032, width, height, pixels.data());
    sink = sink + pixels[0];
  }
}

void FloorNamedEntrySession(const std::string& path) {
  std::vector<uint8_t> archive = ReadWhole(path);
  std::vector<uint8_t> pixels;
  for (const EntrySpan& span : NamedEntrySpans(archive.data(), archive.size())) {
    const uint8_t* entry = archive.data() + span.offset;
    uint32_t width = korvo::ReadLe32(entry), height = korvo::ReadLe32(entry + 4);
    size_t rows = static_cast<size_t>(Stride(width)) * height;
    pixels.resize(rows);
    CopyBottomUp(entry + span.size - rows, width, height, pixels.data());
    sink = sink + pixels[0];
  }
}

}  // namespace bench
