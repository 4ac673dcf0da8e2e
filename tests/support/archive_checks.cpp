#include "tests/support/archive_checks.h"

#include <cstdio>
#include <cstring>

#include "tests/support/host_blocks.h"
#include "tests/support/output_folders.h"

namespace {

// A file named in 8-bit text, opened as the A exports open it.
Bytes ReadNarrowFile(const std::string& path) {
  Bytes bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  for (int c; (c = fgetc(file)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
  fclose(file);
  return bytes;
}

}  // namespace

testing::AssertionResult RecordIs(const korvo::fileInfo& record, const SampleEntry& entry) {
  if (memcmp(record.method, "IfKorvo", 8) != 0) return testing::AssertionFailure() << "method";
  if (record.position != entry.position || record.compsize != entry.compsize ||
      record.filesize != entry.filesize)
    return testing::AssertionFailure()
           << "position/compsize/filesize " << record.position << "/" << record.compsize << "/"
           << record.filesize << " for " << entry.filename;
  if (record.path[0] != '\0') return testing::AssertionFailure() << "path not empty";
  if (memchr(record.filename, 0, sizeof record.filename) == nullptr ||
      entry.filename != record.filename)
    return testing::AssertionFailure() << "filename of " << entry.filename;
  return testing::AssertionSuccess();
}

testing::AssertionResult ListingIs(HLOCAL listing, const SampleArchive& archive) {
  if (listing == nullptr) return testing::AssertionFailure() << "no listing";
  if (LockCount(listing) != 0) return testing::AssertionFailure() << "listing still locked";
  return ListingBytesAre(BlockBytes(listing, (archive.entries.size() + 1) * sizeof(korvo::fileInfo)),
                         archive);
}

testing::AssertionResult ListingBytesAre(const Bytes& bytes, const SampleArchive& archive) {
  const size_t count = archive.entries.size();
  if (bytes.size() != (count + 1) * sizeof(korvo::fileInfo))
    return testing::AssertionFailure() << "listing of " << bytes.size() << " bytes";
  for (size_t i = 0; i < count; ++i) {
    korvo::fileInfo record;
    memcpy(&record, &bytes[i * sizeof record], sizeof record);
    testing::AssertionResult same = RecordIs(record, archive.entries[i]);
    if (!same) return same << " (record " << i << ")";
  }
  for (size_t i = count * sizeof(korvo::fileInfo); i < bytes.size(); ++i)
    if (bytes[i] != 0) return testing::AssertionFailure() << "the end record is not all zero";
  return testing::AssertionSuccess();
}

void ExpectArchiveServed(const korvo::LoadedPlugin& extractor, const std::string& path,
                         const SampleArchive& archive) {
  // Counted once the archive's directory is cached: it stays, replaced by
  // each call's probe.
  EXPECT_EQ(extractor.IsSupported(path.c_str(), 0), 1);
  const long live = LiveBlocks();
  HLOCAL listing = nullptr;
  EXPECT_EQ(extractor.GetArchiveInfo(path.c_str(), 0, 0, &listing), 0);
  EXPECT_TRUE(ListingIs(listing, archive));
  FreeBlock(listing);
  const WideText folder = FreshFolder("served-8-bit");
  const std::string narrowFolder = ScratchDirectory() + "served-8-bit";
  for (const SampleEntry& entry : archive.entries) {
    SCOPED_TRACE(entry.filename);
    std::string lower = entry.filename;
    for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
    korvo::fileInfo record;
    EXPECT_EQ(extractor.GetFileInfo(path.c_str(), 0, entry.filename.c_str(), 0, &record), 0);
    EXPECT_TRUE(RecordIs(record, entry));
    EXPECT_EQ(extractor.GetFileInfo(path.c_str(), 0, lower.c_str(), 0x80, &record), 0);
    EXPECT_TRUE(RecordIs(record, entry));
    HLOCAL block = nullptr;
    EXPECT_EQ(extractor.GetFile(path.c_str(), entry.position, reinterpret_cast<LPSTR>(&block),
                                0x100, nullptr, 0),
              0);
    if (block == nullptr) continue;
    EXPECT_EQ(LockCount(block), 0u);
    EXPECT_EQ(BlockBytes(block, entry.extracted.size()), entry.extracted);
    FreeBlock(block);
    // Unpacked into a folder: exactly the entry's file, named as listed.
    std::string dest = narrowFolder;
    EXPECT_EQ(extractor.GetFile(path.c_str(), entry.position, &dest[0], 0, nullptr, 0), 0);
    EXPECT_EQ(FolderNames(folder).size(), 1u);
    const std::string written = narrowFolder + static_cast<char>(kWideSeparator) + entry.filename;
    EXPECT_EQ(ReadNarrowFile(written), entry.extracted);
    remove(written.c_str());
  }
  EXPECT_EQ(LiveBlocks(), live);
}
