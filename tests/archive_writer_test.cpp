// The archive writers lay archives out exactly as the readers expect them;
// every layout test builds its fixtures with them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>

#include "tests/support/test_files.h"
#include "qkz-picture/qkz_picture.h"
#include "tools/archive-writer/archive_writer.h"

namespace {

using korvo::Bytes;

TEST(ArchiveWriterTest, OffsetTableArchiveOfOnePicture) {
  korvo::QkzTriples palette = {};
  palette[0] = 0x10;
  Bytes picture = korvo::BuildQkzPicture(3, 2, palette, Bytes(8, 7));
  ASSERT_EQ(picture.size(), 1040u);
  EXPECT_EQ(picture[8], 0x10);
  EXPECT_EQ(picture[11], 0);
  Bytes archive = korvo::BuildOffsetTableArchive({picture});
  ASSERT_EQ(archive.size(), 1048u);
  EXPECT_EQ(Le32(archive, 0), 1u);
  EXPECT_EQ(Le32(archive, 4), 8u);
  EXPECT_EQ(Le32(archive, 8), 3u);
}

TEST(ArchiveWriterTest, NamedEntryArchiveOfPaletteAndOneEntry) {
  korvo::NamedEntry palette{"Palette", 1, 1, true, {}, {}, Bytes(4, 1)};
  korvo::NamedEntry small{"a", 5, 2, false, {}, {}, Bytes(16, 2)};
  Bytes archive = korvo::BuildNamedEntryArchive({palette, small});
  ASSERT_EQ(archive.size(), 828u);
  EXPECT_EQ(Le32(archive, 0), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&archive[4])), "Palette");
  EXPECT_EQ(Le32(archive, 12), 22u);
  EXPECT_EQ(archive[16], 'a');
  EXPECT_EQ(Le32(archive, 18), 803u);
  EXPECT_EQ(archive[22 + 8], 1) << "palette flag";
  EXPECT_EQ(archive[803 + 8], 0);
}

// Bytes appended and rewritten by a streamed archive, as a file would hold them.
struct RecordingSink {
  Bytes file;
  size_t rewrites = 0;
  bool failAppend = false;
  korvo::ArchiveSink Sink() {
    korvo::ArchiveSink sink;
    sink.append = [this](const uint8_t* data, size_t size) {
      if (failAppend) return false;
      file.insert(file.end(), data, data + size);
      return true;
    };
    sink.rewrite = [this](uint64_t position, const uint8_t* data, size_t size) {
      ++rewrites;
      std::copy(data, data + size, file.begin() + static_cast<std::ptrdiff_t>(position));
      return true;
    };
    return sink;
  }
};

// Streamed, an archive is its count and table with zero positions, then the entries
// as they come, then the table written once over the start: byte for byte
// the layout spelt out here.
TEST(ArchiveWriterTest, StreamedOffsetTableArchiveIsTheLayoutByteForByte) {
  RecordingSink recording;
  korvo::ArchiveStream stream;
  ASSERT_TRUE(korvo::StartOffsetTableArchive(recording.Sink(), 2, &stream));
  EXPECT_EQ(recording.file, (Bytes{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(korvo::StartEntry(&stream));
  ASSERT_TRUE(korvo::AppendToArchive(&stream, Bytes{'a', 'b', 'c'}));
  ASSERT_TRUE(korvo::StartEntry(&stream));
  ASSERT_TRUE(korvo::AppendToArchive(&stream, Bytes{'d'}));
  EXPECT_FALSE(korvo::StartEntry(&stream)) << "a third entry has no place in the table";
  ASSERT_TRUE(korvo::FinishArchive(&stream));
  EXPECT_EQ(recording.rewrites, 1u);
  EXPECT_EQ(stream.size, 16u);
  EXPECT_EQ(recording.file, (Bytes{2, 0, 0, 0, 12, 0, 0, 0, 15, 0, 0, 0, 'a', 'b', 'c', 'd'}));
  EXPECT_EQ(recording.file, korvo::BuildOffsetTableArchive({Bytes{'a', 'b', 'c'}, Bytes{'d'}}));
}

TEST(ArchiveWriterTest, StreamedNamedEntryArchiveIsTheLayoutByteForByte) {
  RecordingSink recording;
  korvo::ArchiveStream stream;
  ASSERT_TRUE(korvo::StartNamedEntryArchive(recording.Sink(), {"P", "ab"}, &stream));
  korvo::QkzTriples palette = {};
  palette[767] = 0x77;
  ASSERT_TRUE(korvo::StartEntry(&stream));
  ASSERT_TRUE(korvo::AppendNamedEntryHead(&stream, 1, 2, palette.data()));
  ASSERT_TRUE(korvo::StartEntry(&stream));
  ASSERT_TRUE(korvo::AppendNamedEntryHead(&stream, 3, 1, nullptr));
  ASSERT_TRUE(korvo::AppendToArchive(&stream, Bytes{9, 9, 9, 9}));
  ASSERT_TRUE(korvo::FinishArchive(&stream));
  // The count, "P\0" and its position, "ab\0" and its position (17 bytes),
  // then the entries: head and palette, head and rows.
  const uint32_t second = 17 + 9 + 768;
  Bytes expected = {2, 0, 0, 0, 'P', 0, 17, 0, 0, 0, 'a', 'b', 0,
                    static_cast<uint8_t>(second), static_cast<uint8_t>(second >> 8), 0, 0};
  Bytes entry = {1, 0, 0, 0, 2, 0, 0, 0, 1};
  expected.insert(expected.end(), entry.begin(), entry.end());
  expected.insert(expected.end(), palette.begin(), palette.end());
  entry = {3, 0, 0, 0, 1, 0, 0, 0, 0, 9, 9, 9, 9};
  expected.insert(expected.end(), entry.begin(), entry.end());
  EXPECT_EQ(recording.file, expected);
  korvo::NamedEntry first{"P", 1, 2, true, palette, {}, {}};
  korvo::NamedEntry next{"ab", 3, 1, false, {}, {}, Bytes(4, 9)};
  EXPECT_EQ(recording.file, korvo::BuildNamedEntryArchive({first, next}));
}

TEST(ArchiveWriterTest, AFailingSinkStopsTheStream) {
  RecordingSink recording;
  korvo::ArchiveStream stream;
  ASSERT_TRUE(korvo::StartOffsetTableArchive(recording.Sink(), 1, &stream));
  recording.failAppend = true;
  ASSERT_TRUE(korvo::StartEntry(&stream));
  EXPECT_FALSE(korvo::AppendToArchive(&stream, Bytes{1}));
  EXPECT_EQ(stream.size, 8u) << "only bytes the sink took count";
}

}  // namespace
