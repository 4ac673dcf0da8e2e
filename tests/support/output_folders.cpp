#include "tests/support/output_folders.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/host_blocks.h"

namespace fs = std::filesystem;

#ifdef _WIN32
const WCHAR kWideSeparator = L'\\';
#else
const WCHAR kWideSeparator = u'/';
#endif

namespace {

WideText WideNameOf(const fs::path& path) {
  try {
#ifdef _WIN32
    return path.wstring();
#else
    return path.u16string();
#endif
  } catch (const std::exception&) {
    return WideText(1, static_cast<WCHAR>('?'));  // not UTF-8: no KORVO W output
  }
}

std::vector<WideText> NamesOrDefault(const SampleArchive& archive,
                                     const std::vector<WideText>& names) {
  if (!names.empty()) return names;
  std::vector<WideText> converted;
  for (const SampleEntry& entry : archive.entries) converted.push_back(Utf16(entry.filename));
  return converted;
}

bool HoldsSeparator(const WideText& name) {
  return name.find(static_cast<WCHAR>('\\')) != WideText::npos ||
         name.find(static_cast<WCHAR>('/')) != WideText::npos;
}

WideText Lower(WideText name) {
  for (WCHAR& unit : name)
    if (unit >= 'A' && unit <= 'Z') unit = static_cast<WCHAR>(unit + 0x20);
  return name;
}

}  // namespace

testing::AssertionResult WideRecordIs(const korvo::fileInfoW& record, const SampleEntry& entry,
                                      const WideText& name) {
  if (memcmp(record.method, "IfKorvo", 8) != 0) return testing::AssertionFailure() << "method";
  if (record.position != entry.position || record.compsize != entry.compsize ||
      record.filesize != entry.filesize)
    return testing::AssertionFailure()
           << "position/compsize/filesize " << record.position << "/" << record.compsize << "/"
           << record.filesize << " for " << entry.filename;
  for (WCHAR unit : record.path)
    if (unit != 0) return testing::AssertionFailure() << "path not empty";
  const size_t units = sizeof record.filename / sizeof(WCHAR);
  if (name.size() >= units) return testing::AssertionFailure() << "the expected name is too long";
  for (size_t i = 0; i < units; ++i) {
    const WCHAR expected = i < name.size() ? name[i] : 0;
    if (record.filename[i] != expected)
      return testing::AssertionFailure() << "filename unit " << i << " of " << entry.filename
                                         << ": " << record.filename[i] << ", not " << expected;
  }
  if (record.crc != 0) return testing::AssertionFailure() << "crc";
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  for (size_t i = offsetof(korvo::fileInfoW, crc) + 4; i < sizeof record; ++i)
    if (bytes[i] != 0) return testing::AssertionFailure() << "padding";
  return testing::AssertionSuccess();
}

testing::AssertionResult WideListingBytesAre(const Bytes& bytes, const SampleArchive& archive,
                                             const std::vector<WideText>& names) {
  const std::vector<WideText> expected = NamesOrDefault(archive, names);
  const size_t count = archive.entries.size();
  if (bytes.size() != (count + 1) * sizeof(korvo::fileInfoW))
    return testing::AssertionFailure() << "UTF-16 listing of " << bytes.size() << " bytes";
  for (size_t i = 0; i < count; ++i) {
    korvo::fileInfoW record;
    memcpy(&record, &bytes[i * sizeof record], sizeof record);
    testing::AssertionResult same = WideRecordIs(record, archive.entries[i], expected[i]);
    if (!same) return same << " (record " << i << ")";
  }
  for (size_t i = count * sizeof(korvo::fileInfoW); i < bytes.size(); ++i)
    if (bytes[i] != 0) return testing::AssertionFailure() << "the end record is not all zero";
  return testing::AssertionSuccess();
}

WideText FreshFolder(const std::string& utf8Name) {
  const fs::path folder = fs::u8path(ScratchDirectory() + utf8Name);
  std::error_code error;
  fs::remove_all(folder, error);
  if (!fs::create_directories(folder, error)) ADD_FAILURE() << "cannot make " << utf8Name;
  return Utf16(ScratchDirectory() + utf8Name);
}

std::vector<WideText> FolderNames(const WideText& folder) {
  std::vector<WideText> names;
  std::error_code error;
  for (fs::directory_iterator it(fs::path(folder), error), end; !error && it != end;
       it.increment(error))
    names.push_back(WideNameOf(it->path().filename()));
  return names;
}

bool ReadFileW(const WideText& path, Bytes* bytes) {
  std::ifstream file(fs::path(path), std::ios::binary);
  if (!file) return false;
  bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFileW(const WideText& path, const Bytes& bytes) {
  std::ofstream file(fs::path(path), std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

void ExpectArchiveServedW(const korvo::LoadedPlugin& extractor, const WideText& path,
                          const SampleArchive& archive, const std::vector<WideText>& names) {
  ASSERT_NE(extractor.GetFileW, nullptr);
  const std::vector<WideText> expected = NamesOrDefault(archive, names);
  EXPECT_EQ(extractor.IsSupportedW(path.c_str(), 0), 1);
  const long live = LiveBlocks();
  HLOCAL listing = nullptr;
  EXPECT_EQ(extractor.GetArchiveInfoW(path.c_str(), 0, 0, &listing), 0);
  if (listing != nullptr) {
    EXPECT_EQ(LockCount(listing), 0u);
    EXPECT_TRUE(WideListingBytesAre(
        BlockBytes(listing, (archive.entries.size() + 1) * sizeof(korvo::fileInfoW)), archive,
        expected));
    FreeBlock(listing);
  }
  // Hangul and an emoji: a folder that no 8-bit code page spells.
  const WideText folder = FreshFolder("served-\xEC\xB6\x9C\xEB\xA0\xA5-\xF0\x9F\x8E\x9E");
  for (size_t i = 0; i < archive.entries.size(); ++i) {
    const SampleEntry& entry = archive.entries[i];
    SCOPED_TRACE(entry.filename);
    // The first entry of a name is the one found; the sample archives hold
    // every name once.
    for (unsigned flag : {0u, 0x80u}) {
      const WideText name = flag ? Lower(expected[i]) : expected[i];
      korvo::fileInfoW record;
      EXPECT_EQ(extractor.GetFileInfoW(path.c_str(), 0, name.c_str(), flag, &record), 0);
      EXPECT_TRUE(WideRecordIs(record, entry, expected[i]));
    }
    HLOCAL block = nullptr;
    EXPECT_EQ(extractor.GetFileW(path.c_str(), entry.position, reinterpret_cast<LPWSTR>(&block),
                                 0x100, nullptr, 0),
              0);
    if (block != nullptr) {
      EXPECT_EQ(LockCount(block), 0u);
      EXPECT_EQ(BlockBytes(block, entry.extracted.size()), entry.extracted);
      FreeBlock(block);
    }
    WideText dest = folder;
    const int unpacked = extractor.GetFileW(path.c_str(), entry.position, &dest[0], 0, nullptr, 0);
    const std::vector<WideText> written = FolderNames(folder);
    if (HoldsSeparator(expected[i])) {
      EXPECT_EQ(unpacked, 2) << "an unsafe name was not refused";
      EXPECT_TRUE(written.empty()) << "a refused name wrote something";
      continue;
    }
    EXPECT_EQ(unpacked, 0);
    EXPECT_EQ(written, std::vector<WideText>{expected[i]}) << "not exactly the entry's file";
    Bytes bytes;
    EXPECT_TRUE(ReadFileW(folder + kWideSeparator + expected[i], &bytes));
    EXPECT_EQ(bytes, entry.extracted);
    std::error_code error;
    std::filesystem::remove(std::filesystem::path(folder + kWideSeparator + expected[i]), error);
  }
  EXPECT_EQ(LiveBlocks(), live);
}
