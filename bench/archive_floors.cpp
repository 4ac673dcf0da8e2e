// A floor keeps its own minimal reader: the least work any implementation must do, not ours.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive-extractor/named_entry_archive.h"
#include "bench/floor_common.h"
#include "bench/floors.h"
#include "host-contract/host_contract.h"

namespace bench {
namespace {

using korvo::kStoredHeaderBytes;
constexpr uint32_t kTripleBytes = korvo::kQkzTripleTableSize;
constexpr size_t kWindowBytes = 65536;

// `count` bytes at `position` through pread, as an extract reads an entry.
void ReadExactlyAt(int fd, uint64_t position, size_t count, uint8_t* out) {
  size_t done = 0;
  while (done < count) {
    ssize_t got = pread(fd, out + done, count - done, static_cast<off_t>(position + done));
    if (got <= 0) abort();
    done += static_cast<size_t>(got);
  }
}

int OpenOrDie(const std::string& path, uint64_t* size) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0) abort();
  *size = static_cast<uint64_t>(status.st_size);
  return fd;
}

// A file seen through two 64 KiB windows filled by lseek and read. A field
// outside both refills the window used less recently, starting at the field,
// so a parse moving through two regions at once (table and entries, name
// records and entry headers) reads each byte of each region once.
struct WindowedFile {
  int fd = -1;
  uint64_t size = 0;
  struct Window {
    uint64_t start = 0;
    size_t length = 0;
    uint64_t lastUse = 0;
  } windows[2];
  uint64_t clock = 0;
  EntryReads entryReads = EntryReads::kWindows;
};

uint8_t windowBytes[2][kWindowBytes];

const uint8_t* Field(WindowedFile& file, uint64_t position, size_t count) {
  ++file.clock;
  for (int i = 0; i < 2; ++i) {
    WindowedFile::Window& window = file.windows[i];
    if (position >= window.start && position + count <= window.start + window.length) {
      window.lastUse = file.clock;
      return windowBytes[i] + (position - window.start);
    }
  }
  int victim = file.windows[0].lastUse <= file.windows[1].lastUse ? 0 : 1;
  WindowedFile::Window& window = file.windows[victim];
  if (lseek(file.fd, static_cast<off_t>(position), SEEK_SET) < 0) abort();
  size_t want = static_cast<size_t>(std::min<uint64_t>(kWindowBytes, file.size - position));
  ReadExactly(file.fd, want, windowBytes[victim]);
  if (want < count) abort();
  window = WindowedFile::Window{position, want, file.clock};
  return windowBytes[victim];
}

uint8_t entryFieldBytes[kHeadBytes];

// A field of an entry (its head, stored header or palette), as the file's
// strategy reads them.
const uint8_t* EntryField(WindowedFile& file, uint64_t position, size_t count) {
  if (file.entryReads == EntryReads::kWindows) return Field(file, position, count);
  ReadExactlyAt(file.fd, position, count, entryFieldBytes);
  return entryFieldBytes;
}

struct EntrySpan {
  uint32_t position, storedSize;
};

// What a listing needs of each entry, gathered during the walk.
struct Listing {
  std::vector<EntrySpan> spans;
  std::vector<uint32_t> sizes;     // of the picture the entry becomes
  std::vector<std::string> names;  // stored names (named entries only)
};

// The offset-table fields every probe checks: the count, each slot, and each
// entry's whole head (its width and height read). Returns a sum of the
// fields so that nothing is optimised away; `listing` (if any) gets the entries.
uint64_t WalkOffsetTable(WindowedFile& file, Listing* listing) {
  uint32_t count = korvo::ReadLe32(Field(file, 0, 4));
  uint64_t sum = 0;
  uint32_t current = korvo::ReadLe32(Field(file, 4, 4));
  for (uint32_t k = 1; k <= count; ++k) {
    uint32_t next = k < count ? korvo::ReadLe32(Field(file, 4 + 4ull * k, 4)) : static_cast<uint32_t>(file.size);
    // Only the width and height are looked at; that the whole head is there
    // follows from the next position or the file's size.
    const uint8_t* head =
        EntryField(file, current, file.entryReads == EntryReads::kWindows ? kHeadBytes : 8);
    sum += korvo::ReadLe32(head) + korvo::ReadLe32(head + 4);
    if (listing != nullptr) {
      listing->spans.push_back(EntrySpan{current, next - current});
      listing->sizes.push_back(next - current);
    }
    current = next;
  }
  return sum;
}

uint32_t NamedEntryPictureSize(const uint8_t* header) {
  return kHeadBytes + static_cast<uint32_t>(RowBytes(korvo::ReadLe32(header), korvo::ReadLe32(header + 4)));
}

// The named-entry fields every probe checks: the count, each name record (its
// NUL found within 32 bytes, its offset), each entry's stored header, and the
// shared palette of the first entry named Palette, taken while its header is
// at hand and copied to `sharedPalette` if any.
uint64_t WalkNamedEntries(WindowedFile& file, Listing* listing, uint8_t* sharedPalette) {
  uint32_t count = korvo::ReadLe32(Field(file, 0, 4));
  uint64_t sum = 0, at = 4;
  uint32_t current = 0, paletteEntry = 0;
  bool paletteNamed = false;
  for (uint32_t k = 0; k <= count; ++k) {
    uint32_t next = static_cast<uint32_t>(file.size);
    bool isPalette = false;
    if (k < count) {
      size_t view = static_cast<size_t>(std::min<uint64_t>(36, file.size - at));
      const auto* name = reinterpret_cast<const char*>(Field(file, at, view));
      size_t length = strnlen(name, std::min<size_t>(view, 32));
      next = korvo::ReadLe32(Field(file, at + length + 1, 4));
      isPalette = !paletteNamed && length == 7 && memcmp(name, "Palette", 7) == 0;
      if (listing != nullptr) listing->names.emplace_back(name, length);
      at += length + 5;
    }
    if (k > 0) {
      const uint8_t* header = EntryField(file, current, kStoredHeaderBytes);
      sum += korvo::ReadLe32(header) + korvo::ReadLe32(header + 4) + header[8];
      if (listing != nullptr) {
        listing->spans.push_back(EntrySpan{current, next - current});
        listing->sizes.push_back(NamedEntryPictureSize(header));
      }
      if (current == paletteEntry && paletteNamed) {
        const uint8_t* palette = EntryField(file, current + kStoredHeaderBytes, kTripleBytes);
        if (sharedPalette != nullptr) memcpy(sharedPalette, palette, kTripleBytes);
        sum += palette[0];
      }
    }
    if (isPalette) {
      paletteNamed = true;
      paletteEntry = next;
    }
    current = next;
  }
  return sum;
}

// The listing block: (n + 1) zeroed records, n of them filled.
void FillListing(const Listing& listing) {
  const std::vector<EntrySpan>& spans = listing.spans;
  const std::vector<std::string>* names = listing.names.empty() ? nullptr : &listing.names;
  auto* records = static_cast<korvo::fileInfo*>(calloc(spans.size() + 1, sizeof(korvo::fileInfo)));
  static const char kDigits[] = "0123456789ABCDEF";
  for (size_t k = 0; k < spans.size(); ++k) {
    korvo::fileInfo& record = records[k];
    memcpy(record.method, "IfKorvo", 8);
    record.position = spans[k].position;
    record.compsize = spans[k].storedSize;
    record.filesize = listing.sizes[k];
    if (names != nullptr) {
      memcpy(record.filename, (*names)[k].data(), (*names)[k].size());
      memcpy(record.filename + (*names)[k].size(), ".QKZ", 4);
    } else {
      uint32_t position = spans[k].position;
      for (int i = 7; i >= 0; --i, position >>= 4) record.filename[i] = kDigits[position & 0xF];
      memcpy(record.filename + 8, ".QKZ", 4);
    }
  }
  floorSink = floorSink + static_cast<unsigned char>(records[spans.size() / 2].filename[0]);
  free(records);
}

struct Mapping {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
};

Mapping Map(const std::string& path) {
  Mapping mapping;
  uint64_t size = 0;
  int fd = OpenOrDie(path, &size);
  mapping.size = static_cast<size_t>(size);
  void* address = mmap(nullptr, mapping.size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (address == MAP_FAILED) abort();
  mapping.bytes = static_cast<const uint8_t*>(address);
  return mapping;
}

void Unmap(Mapping& mapping) { munmap(const_cast<uint8_t*>(mapping.bytes), mapping.size); }

std::vector<uint8_t> ReadWhole(const std::string& path) {
  uint64_t size = 0;
  int fd = OpenOrDie(path, &size);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  ReadExactlyAt(fd, 0, bytes.size(), bytes.data());
  close(fd);
  return bytes;
}

// Positions and stored sizes of a named-entry archive's entries, from its
// records in memory; with `names`, their stored names too.
std::vector<EntrySpan> NamedEntrySpans(const uint8_t* bytes, size_t size,
                                       std::vector<std::string>* names = nullptr) {
  uint32_t count = korvo::ReadLe32(bytes);
  std::vector<EntrySpan> spans(count);
  size_t at = 4;
  for (uint32_t k = 0; k < count; ++k) {
    size_t length = strnlen(reinterpret_cast<const char*>(bytes + at), 32);
    if (names != nullptr) names->emplace_back(reinterpret_cast<const char*>(bytes + at), length);
    at += length + 1;
    spans[k].position = korvo::ReadLe32(bytes + at);
    at += 4;
  }
  for (uint32_t k = 0; k < count; ++k)
    spans[k].storedSize = (k + 1 < count ? spans[k + 1].position : static_cast<uint32_t>(size)) -
                          spans[k].position;
  return spans;
}

// GetFile of an offset-table entry: a fresh block, the entry read into it.
void ExtractOffsetTableEntry(int fd, const EntrySpan& span) {
  auto* block = static_cast<uint8_t*>(malloc(span.storedSize));
  ReadExactlyAt(fd, span.position, span.storedSize, block);
  FloorPictureFromMemory(block);
  free(block);
}

// GetFile of a named entry: its stored header (and own palette) read, the
// head rebuilt in a fresh block and the rows read in behind it.
void ExtractNamedEntry(int fd, const EntrySpan& span, const uint8_t* sharedPalette) {
  uint8_t stored[kStoredHeaderBytes + kTripleBytes];
  ReadExactlyAt(fd, span.position, kStoredHeaderBytes, stored);
  uint32_t width = korvo::ReadLe32(stored), height = korvo::ReadLe32(stored + 4);
  const uint8_t* palette = sharedPalette;
  if (stored[8] != 0) {
    ReadExactlyAt(fd, span.position + kStoredHeaderBytes, kTripleBytes, stored + kStoredHeaderBytes);
    palette = stored + kStoredHeaderBytes;
  }
  size_t rows = RowBytes(width, height);
  auto* block = static_cast<uint8_t*>(malloc(kHeadBytes + rows));
  memcpy(block, stored, 8);
  for (uint32_t i = 0; i < 256; ++i) {
    memcpy(block + 8 + 4 * i, palette + 3 * i, 3);
    block[8 + 4 * i + 3] = 0;
  }
  ReadExactlyAt(fd, span.position + span.storedSize - rows, rows, block + kHeadBytes);
  FloorPictureFromMemory(block);
  free(block);
}

// Walks the archive at `path` as a read floor does, through a file of its
// own, closed again unless `keptOpen` takes it: the sum of its fields, the
// listing in `listing` and the shared palette in `sharedPalette` (named
// entries) if given.
uint64_t WalkArchive(const std::string& path, EntryReads reads, bool named, Listing* listing,
                     uint8_t* sharedPalette = nullptr, int* keptOpen = nullptr) {
  WindowedFile file;
  file.fd = OpenOrDie(path, &file.size);
  file.entryReads = reads;
  uint64_t sum = named ? WalkNamedEntries(file, listing, sharedPalette)
                       : WalkOffsetTable(file, listing);
  if (keptOpen != nullptr)
    *keptOpen = file.fd;
  else
    close(file.fd);
  return sum;
}

// A host session as a plug-in must at least make it: the listing, then for
// each entry a probe and the extract.
}  // namespace

void ProbeFloorSession(const std::string& path, bool named, EntryReads reads) {
  Listing listing;
  WalkArchive(path, reads, named, &listing);
  FillListing(listing);
  for (const EntrySpan& span : listing.spans) {
    uint8_t sharedPalette[kTripleBytes];
    int fd = -1;  // the probe's file, read on by the extract
    floorSink = floorSink + WalkArchive(path, reads, named, nullptr, sharedPalette, &fd);
    named ? ExtractNamedEntry(fd, span, sharedPalette) : ExtractOffsetTableEntry(fd, span);
    close(fd);
  }
}

void ReadFloorProbe(const std::string& path, bool named, EntryReads reads) {
  floorSink = floorSink + WalkArchive(path, reads, named, nullptr);
}

void ReadFloorListing(const std::string& path, bool named, EntryReads reads) {
  Listing listing;
  floorSink = floorSink + WalkArchive(path, reads, named, &listing);
  FillListing(listing);
}

void MappedFloorOffsetTableProbe(const std::string& path) {
  Mapping mapping = Map(path);
  uint32_t count = korvo::ReadLe32(mapping.bytes);
  uint64_t sum = 0;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t offset = korvo::ReadLe32(mapping.bytes + 4 + 4 * k);
    sum += korvo::ReadLe32(mapping.bytes + offset) + korvo::ReadLe32(mapping.bytes + offset + 4);
  }
  floorSink = floorSink + sum;
  Unmap(mapping);
}

void MappedFloorNamedEntryProbe(const std::string& path) {
  Mapping mapping = Map(path);
  uint64_t sum = 0;
  for (const EntrySpan& span : NamedEntrySpans(mapping.bytes, mapping.size))
    sum += korvo::ReadLe32(mapping.bytes + span.position) + korvo::ReadLe32(mapping.bytes + span.position + 4) +
           mapping.bytes[span.position + 8];
  floorSink = floorSink + sum;
  Unmap(mapping);
}

void MappedFloorOffsetTableListing(const std::string& path) {
  Mapping mapping = Map(path);
  uint32_t count = korvo::ReadLe32(mapping.bytes);
  Listing listing;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t offset = korvo::ReadLe32(mapping.bytes + 4 + 4 * k);
    uint32_t end = k + 1 < count ? korvo::ReadLe32(mapping.bytes + 8 + 4 * k) : static_cast<uint32_t>(mapping.size);
    floorSink = floorSink + korvo::ReadLe32(mapping.bytes + offset) + korvo::ReadLe32(mapping.bytes + offset + 4);
    listing.spans.push_back(EntrySpan{offset, end - offset});
    listing.sizes.push_back(end - offset);
  }
  Unmap(mapping);
  FillListing(listing);
}

void MappedFloorNamedEntryListing(const std::string& path) {
  Mapping mapping = Map(path);
  Listing listing;
  listing.spans = NamedEntrySpans(mapping.bytes, mapping.size, &listing.names);
  for (const EntrySpan& span : listing.spans)
    listing.sizes.push_back(NamedEntryPictureSize(mapping.bytes + span.position));
  Unmap(mapping);
  FillListing(listing);
}

void FloorOffsetTableSession(const std::string& path) {
  std::vector<uint8_t> archive = ReadWhole(path);
  std::vector<uint8_t> pixels;
  uint32_t count = korvo::ReadLe32(archive.data());
  for (uint32_t k = 0; k < count; ++k) {
    const uint8_t* picture = archive.data() + korvo::ReadLe32(archive.data() + 4 + 4 * k);
    uint32_t width = korvo::ReadLe32(picture), height = korvo::ReadLe32(picture + 4);
    pixels.resize(RowBytes(width, height));
    CopyBottomUp(picture + kHeadBytes, width, height, pixels.data());
    floorSink = floorSink + pixels[0];
  }
}

void FloorNamedEntrySession(const std::string& path) {
  std::vector<uint8_t> archive = ReadWhole(path);
  std::vector<uint8_t> pixels;
  for (const EntrySpan& span : NamedEntrySpans(archive.data(), archive.size())) {
    const uint8_t* entry = archive.data() + span.position;
    uint32_t width = korvo::ReadLe32(entry), height = korvo::ReadLe32(entry + 4);
    size_t rows = RowBytes(width, height);
    pixels.resize(rows);
    CopyBottomUp(entry + span.storedSize - rows, width, height, pixels.data());
    floorSink = floorSink + pixels[0];
  }
}

}  // namespace bench
