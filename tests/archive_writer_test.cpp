// The archive writers lay archives out exactly as the readers expect them;
// every layout test builds its fixtures with them.
#include <gtest/gtest.h>

#include "tests/support/test_files.h"
#include "tools/archive-writer/archive_writer.h"

namespace {

using korvo::ByteVector;

TEST(ArchiveWriterTest, OffsetTableArchiveOfOnePicture) {
  std::array<uint8_t, 768> palette = {};
  palette[0] = 0x10;
  ByteVector picture = korvo::BuildQkzPicture(3, 2, palette, ByteVector(8, 7));
  ASSERT_EQ(picture.size(), 1040u);
  EXPECT_EQ(picture[8], 0x10);
  EXPECT_EQ(picture[11], 0);
  ByteVector archive = korvo::BuildOffsetTableArchive({picture});
  ASSERT_EQ(archive.size(), 1048u);
  EXPECT_EQ(Le32(archive, 0), 1u);
  EXPECT_EQ(Le32(archive, 4), 8u);
  EXPECT_EQ(Le32(archive, 8), 3u);
}

TEST(ArchiveWriterTest, NamedEntryArchiveOfPaletteAndOneEntry) {
  korvo::NamedEntry palette{"Palette", 1, 1, true, {}, {}, ByteVector(4, 1)};
  korvo::NamedEntry small{"a", 5, 2, false, {}, {}, ByteVector(16, 2)};
  ByteVector archive = korvo::BuildNamedEntryArchive({palette, small});
  ASSERT_EQ(archive.size(), 828u);
  EXPECT_EQ(Le32(archive, 0), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&archive[4])), "Palette");
  EXPECT_EQ(Le32(archive, 12), 22u);
  EXPECT_EQ(archive[16], 'a');
  EXPECT_EQ(Le32(archive, 18), 803u);
  EXPECT_EQ(archive[22 + 8], 1) << "palette flag";
  EXPECT_EQ(archive[803 + 8], 0);
}

}  // namespace
