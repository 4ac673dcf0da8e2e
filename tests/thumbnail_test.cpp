// The thumbnail library on its own: what it reads from a source that counts
// the bytes it hands out, what a hostile head costs, and the first picture entry it
// finds in archives of both layouts.
#include <gtest/gtest.h>

#include <array>

#include "tests/support/test_files.h"
#include "qkz-picture/qkz_picture.h"
#include "thumbnail/archive_picture.h"
#include "thumbnail/qkz_thumbnail.h"
#include "tools/archive-writer/archive_writer.h"

namespace korvo {
namespace {

// The bytes of a picture in memory behind a source that notes every read.
struct CountingSource {
  Bytes bytes;
  uint64_t claimedSize = 0;  // what the source says it holds
  uint32_t reads = 0;
  uint64_t bytesRead = 0;
  uint32_t failAfter = UINT32_MAX;  // reads that deliver before one fails
};

uint32_t ReadCounted(void* context, uint64_t position, uint8_t* out, uint32_t count) {
  auto* source = static_cast<CountingSource*>(context);
  if (source->reads++ >= source->failAfter || position > source->bytes.size()) return 0;
  const uint64_t got = std::min<uint64_t>(count, source->bytes.size() - position);
  std::copy_n(source->bytes.begin() + static_cast<std::ptrdiff_t>(position), got, out);
  source->bytesRead += got;
  return static_cast<uint32_t>(got);
}

ByteSource SourceOf(CountingSource* source) {
  if (source->claimedSize == 0) source->claimedSize = source->bytes.size();
  return {ReadCounted, source, source->claimedSize};
}

Bytes PictureOf(uint32_t width, uint32_t height) {
  QkzTriples palette;
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<uint8_t>(i / 3);
  Bytes rows(size_t{(width + 3) & ~3u} * height);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i * 7 + i / 101);
  return BuildQkzPicture(width, height, palette, rows);
}

// The pixels of the sampled rows and nothing else: every row up to a
// 16-fold reduction, beyond it 16 rows per output row, whatever the
// picture's height. How the reads are cut is the library's business.
TEST(ThumbnailTest, ReadsOnlyThePixelsOfTheSampledRows) {
  const struct {
    uint32_t width, height, size, rows;
  } cases[] = {{10, 20, 32, 20}, {301, 3000, 256, 3000}, {301, 3000, 64, 64 * 16}, {7, 60000, 100, 100 * 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " at " + std::to_string(c.size));
    CountingSource counting{PictureOf(c.width, c.height)};
    const ByteSource source = SourceOf(&counting);
    PictureInSource picture;
    ASSERT_EQ(LocateQkzPicture(source, 0, &picture), ThumbnailFailure::kNone);
    counting.bytesRead = 0;
    Thumbnail thumbnail;
    ASSERT_EQ(MakeThumbnail(source, picture, c.size, &thumbnail), ThumbnailFailure::kNone);
    EXPECT_EQ(counting.bytesRead, uint64_t{c.rows} * c.width);
    EXPECT_EQ(thumbnail.indexed, c.width <= c.size && c.height <= c.size);
    EXPECT_EQ(thumbnail.pixels.size(), size_t{thumbnail.width} * thumbnail.height * (thumbnail.indexed ? 1 : 3));
  }
}

// A head claiming more than the source holds reads no row and allocates
// nothing; a read that fails midway, or a head cut short, says so.
TEST(ThumbnailTest, HostileHeadsAndFailingReadsAreRefused) {
  CountingSource huge{PictureOf(4, 4)};
  huge.bytes[0] = 0xFF, huge.bytes[1] = 0xFF, huge.bytes[4] = 0xEF, huge.bytes[5] = 0xFF;  // 65535 x 65519
  ByteSource source = SourceOf(&huge);
  PictureInSource picture;
  ASSERT_EQ(LocateQkzPicture(source, 0, &picture), ThumbnailFailure::kNone);
  Thumbnail thumbnail;
  EXPECT_EQ(MakeThumbnail(source, picture, 256, &thumbnail), ThumbnailFailure::kEndsInsideRows);
  EXPECT_EQ(huge.bytesRead, uint64_t{kQkzHeadSize});  // the head alone
  EXPECT_EQ(thumbnail.pixels.capacity(), 0u);

  CountingSource failing{PictureOf(300, 300)};
  failing.failAfter = 10;
  source = SourceOf(&failing);
  ASSERT_EQ(LocateQkzPicture(source, 0, &picture), ThumbnailFailure::kNone);
  EXPECT_EQ(MakeThumbnail(source, picture, 64, &thumbnail), ThumbnailFailure::kCannotRead);

  CountingSource cut{PictureOf(3, 3)};
  cut.bytes.resize(1000);
  EXPECT_EQ(LocateQkzPicture(SourceOf(&cut), 0, &picture), ThumbnailFailure::kEndsInsideHead);
  CountingSource empty{PictureOf(3, 3)};
  empty.bytes[0] = 0;
  EXPECT_EQ(LocateQkzPicture(SourceOf(&empty), 0, &picture), ThumbnailFailure::kNotAPicture);
}

// The same archive read through a source (a shell's stream) finds the same
// entry, with the same size, colours and rows.
void ExpectTheSameThroughASource(const Bytes& archive, const ArchivePicture& fromFile) {
  CountingSource counting{archive};
  ArchivePicture found;
  ASSERT_EQ(FindArchivePicture(SourceOf(&counting), &found).reason, Failure::kNone);
  EXPECT_EQ(found.found, fromFile.found);
  EXPECT_STREQ(found.name, fromFile.name);
  EXPECT_EQ(found.picture.width, fromFile.picture.width);
  EXPECT_EQ(found.picture.height, fromFile.picture.height);
  EXPECT_EQ(found.picture.rowsPosition, fromFile.picture.rowsPosition);
  EXPECT_TRUE(std::equal(found.picture.palette, found.picture.palette + 768, fromFile.picture.palette));
}

// Past the Palette entry of a named-entry archive (whose palette a picture
// without its own shows), or the first entry of an offset table: its size,
// colours and rows where the extractor would hand them out, from a file or
// from a source.
TEST(ThumbnailTest, FindsTheFirstPictureEntryOfBothLayouts) {
  QkzTriples shared, own;
  for (size_t i = 0; i < 768; ++i) shared[i] = static_cast<uint8_t>(i), own[i] = static_cast<uint8_t>(255 - i);
  const Bytes rows(8 * 3, 0x42);
  for (bool ownPalette : {false, true}) {
    NamedEntry palette{"Palette", 1, 1, true, shared, {}, Bytes(4, 0)};
    NamedEntry first{"first", 5, 3, ownPalette, own, Bytes(6, 0xAA), rows};
    NamedEntry second{"second", 2, 2, false, shared, {}, Bytes(8, 1)};
    const Bytes archive = BuildNamedEntryArchive({palette, first, second});
    const std::string path = WriteScratchFile("first-picture.cg", archive);
    ArchivePicture found;
    const Outcome outcome = FindArchivePicture(path.c_str(), &found);
    ASSERT_EQ(outcome.reason, Failure::kNone);
    ASSERT_TRUE(found.found);
    EXPECT_STREQ(found.name, "first.QKZ");
    EXPECT_EQ(found.picture.width, 5u);
    EXPECT_EQ(found.picture.height, 3u);
    EXPECT_TRUE(std::equal(shared.begin(), shared.end(), found.picture.palette) != ownPalette);
    // The second entry (a 9-byte header and 8 bytes of rows) follows the rows.
    EXPECT_EQ(found.picture.rowsPosition, archive.size() - (9 + 8) - rows.size());
    ExpectTheSameThroughASource(archive, found);
  }
  const Bytes picture = PictureOf(5, 3);
  const Bytes archive = BuildOffsetTableArchive({picture, PictureOf(2, 2)});
  const std::string path = WriteScratchFile("first-picture.cg", archive);
  ArchivePicture found;
  ASSERT_EQ(FindArchivePicture(path.c_str(), &found).reason, Failure::kNone);
  EXPECT_STREQ(found.name, "0000000C.QKZ");
  EXPECT_EQ(found.picture.rowsPosition, 12u + 1032);
  EXPECT_EQ(found.picture.palette[3 * 9], picture[8 + 4 * 9]);
  ExpectTheSameThroughASource(archive, found);
  EXPECT_TRUE(FindArchivePicture(WriteScratchFile("text.cg", Bytes(3000, 'x')).c_str(), &found).refused);
  CountingSource text{Bytes(3000, 'x')};
  EXPECT_TRUE(FindArchivePicture(SourceOf(&text), &found).refused);
  // A source whose reads fail is refused as a file that ends early.
  CountingSource failing{archive};
  failing.failAfter = 0;
  const Outcome outcome = FindArchivePicture(SourceOf(&failing), &found);
  EXPECT_TRUE(outcome.refused);
  EXPECT_EQ(outcome.reason, Failure::kFileEndsEarly);
}

}  // namespace
}  // namespace korvo
