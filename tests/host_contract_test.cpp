// The shared host plumbing: row stride, information strings and hand-over.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "host-contract/block_owner.h"
#include "host-contract/failure.h"
#include "host-contract/failure_words.h"
#include "host-contract/host_contract.h"
#include "host-contract/plugin_info.h"
#include "common/row_stride.h"
#include "tests/support/host_blocks.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/test_files.h"

namespace {

using korvo::RowStride;

TEST(RowStrideTest, FollowsTheBitmapRule) {
  struct Case {
    uint32_t width, bits, stride;
  } cases[] = {
      {1, 8, 4},     {3, 8, 4},      {4, 8, 4},        {5, 8, 8},       {639, 8, 640},
      {5, 24, 16},   {5, 32, 20},    {33, 1, 8},       {3, 4, 4},       {9, 4, 8},
      {3, 16, 8},    {5, 2, 0},      {5, 12, 0},       {0, 8, 0},
      {5, 0x10008, 8},                       // only the low 16 bits count
      {0xFFFFFFFFu, 8, 0},                   // wraps, as the interface does
  };
  for (const Case& c : cases)
    EXPECT_EQ(RowStride(c.width, c.bits), c.stride) << c.width << " x " << c.bits;
}

// Every reason has a code a host knows, and only kNone is success: a reason
// that mapped to 0 would report a failed call as done, with nothing stored.
// GetPicture on a memory image answers -1 exactly where the others answer 2.
// Each reason also has words of its own, so no two read alike to a user.
TEST(FailureTest, EveryReasonMapsToAFailureCodeAndOnlyNoneToSuccess) {
  using korvo::Failure;
  std::set<std::string> words = {""};
  EXPECT_STREQ(korvo::FailureWords(Failure::kNone), "");
  EXPECT_EQ(korvo::ResultCodeOf(Failure::kNone), 0);
  EXPECT_EQ(korvo::MemoryDecodeResultCodeOf(Failure::kNone), 0);
  for (int value = 1; value <= static_cast<int>(korvo::kLastFailure); ++value) {
    const auto failure = static_cast<Failure>(value);
    const int code = korvo::ResultCodeOf(failure);
    EXPECT_TRUE(code == -1 || code == 2 || code == 4 || code == 6) << value << ": " << code;
    EXPECT_EQ(korvo::MemoryDecodeResultCodeOf(failure), code == 2 ? -1 : code) << value;
    EXPECT_TRUE(words.insert(korvo::FailureWords(failure)).second) << value;
  }
}

const char* const kStrings[korvo::kInformationStringCount] = {"00IN", "description", "*.qkz",
                                                              "type"};

TEST(InformationStringTest, CopiesTruncatesAndRefuses) {
  struct Case {
    int infono, buflen;
    const char* written;  // nullptr: buffer untouched
    int result;
  } cases[] = {
      {0, 64, "00IN", 4}, {0, 5, "00IN", 4},  {0, 4, "00I", 3}, {0, 3, "00", 2},
      {0, 1, "", 0},      {0, -1, "00IN", 4}, {2, 64, "*.qkz", 5},
      {4, 64, nullptr, 0}, {-1, 64, nullptr, 0}, {0, 0, nullptr, 0},
  };
  for (const Case& c : cases) {
    char buf[64];
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(korvo::CopyInformationString(kStrings, c.infono, buf, c.buflen), c.result)
        << c.infono << "/" << c.buflen;
    if (c.written == nullptr) {
      EXPECT_EQ(buf[0], 'x');
    } else {
      EXPECT_STREQ(buf, c.written);
      EXPECT_EQ(buf[strlen(c.written) + 1], 'x') << "wrote past the string";
    }
  }
}

// A block is handed over fully unlocked, or freed by its owner however the
// call ends: with the result still being worked on, or as an exception
// passes through.
TEST(BlockOwnerTest, HandsOverUnlockedOrFreesOnEveryOtherWayOut) {
  enum Ending { kHandedOver, kReturned, kThrown };
  for (Ending ending : {kHandedOver, kReturned, kThrown}) {
    const long live = LiveBlocks();
    HGLOBAL slot = reinterpret_cast<HGLOBAL>(0x1234);
    HGLOBAL allocated = nullptr;
    try {
      korvo::BlockOwner owner;
      ASSERT_NE(korvo::AllocateAndLock(&owner, GMEM_MOVEABLE, 16), nullptr);
      ASSERT_NE(platform::GlobalLock(owner.block), nullptr);
      allocated = owner.block;
      if (ending == kThrown) throw 1;
      if (ending == kHandedOver) korvo::HandOver(&owner, &slot);
      EXPECT_EQ(owner.block, ending == kHandedOver ? nullptr : allocated);
    } catch (int) {
    }
    if (ending == kHandedOver) {
      EXPECT_EQ(slot, allocated);
      EXPECT_EQ(platform::GlobalFlags(allocated) & GMEM_LOCKCOUNT, 0u);
      EXPECT_EQ(LiveBlocks(), live + 1);
      platform::GlobalFree(allocated);
    } else {
      EXPECT_EQ(slot, reinterpret_cast<HGLOBAL>(0x1234)) << ending;
      EXPECT_EQ(LiveBlocks(), live) << ending;
    }
  }
}

// The instrumented layer counts on every target (the leak checks of the
// other tests rely on it), and GlobalSize answers what a host asks.
TEST(PlatformHooksTest, CountLiveBlocksOpenFilesAndTheirSizes) {
  auto& hooks = TestHooks();
  const long blocks = hooks.liveBlocks, files = hooks.openFiles;
  const long long bytes = hooks.liveBytes;
  for (SIZE_T size : {SIZE_T{1}, SIZE_T{1064}, SIZE_T{1} << 20}) {
    HGLOBAL block = platform::GlobalAlloc(GMEM_MOVEABLE, size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(platform::GlobalSize(block), size);
    EXPECT_EQ(hooks.liveBlocks, blocks + 1);
    EXPECT_EQ(hooks.liveBytes, bytes + static_cast<long long>(size));
    EXPECT_EQ(platform::GlobalFree(block), nullptr);
    EXPECT_EQ(hooks.liveBlocks, blocks);
    EXPECT_EQ(hooks.liveBytes, bytes);
  }
  EXPECT_EQ(platform::GlobalSize(nullptr), 0u);

  const std::string path = WriteScratchFile("counted.bin", Bytes{1, 2, 3});
  HANDLE file = platform::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(hooks.openFiles, files + 1);
  EXPECT_TRUE(platform::CloseHandle(file));
  EXPECT_EQ(hooks.openFiles, files);
  EXPECT_EQ(platform::CreateFileA((path + ".missing").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  OPEN_EXISTING, 0),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(hooks.openFiles, files) << "a failed open counts nothing";
}

TEST(PlatformHooksTest, CountLiveBlocksAndInjectFaults) {
  SKIP_UNLESS(Need::kFullHooks);
  auto& hooks = TestHooks();
  platform::ResetPlatformFaults(hooks);
  long live = hooks.liveBlocks;
  hooks.failAt[platform::kOpAlloc] = 2;
  HGLOBAL first = platform::GlobalAlloc(GHND, 8);
  HGLOBAL second = platform::GlobalAlloc(GHND, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(hooks.liveBlocks, live + 1);
  const auto* bytes = static_cast<const uint8_t*>(platform::GlobalLock(first));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(bytes[i], 0) << "GHND zero-fills";
  platform::GlobalFree(first);
  EXPECT_EQ(hooks.liveBlocks, live);
  platform::ResetPlatformFaults(hooks);
}

TEST(PlatformFilesTest, ReadsAtAPosition) {
  const std::string path = WriteScratchFile("read-at", Bytes{0x7f, 'E', 'L', 'F', 2});
  HANDLE file = platform::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char head[4];
  DWORD got = 0;
  EXPECT_TRUE(platform::ReadFileAt(file, 0, head, 4, &got));
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(memcmp(head, "\x7f" "ELF", 4), 0);
  EXPECT_TRUE(platform::ReadFileAt(file, 1, head, 3, &got));
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(memcmp(head, "ELF", 3), 0);
  platform::CloseHandle(file);
  std::string folder = ScratchDirectory();
  folder.pop_back();  // its separator
  EXPECT_EQ(platform::CreateFileA(folder.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0),
            INVALID_HANDLE_VALUE)
      << "a folder is not a file";
}

TEST(PlatformFilesTest, ServesAFileFromMemoryWithFileSemantics) {
  SKIP_UNLESS(Need::kFullHooks);
  auto& hooks = TestHooks();
  static const unsigned char kBytes[] = {1, 2, 3, 4, 5};
  hooks.memoryFileBytes = kBytes;
  hooks.memoryFileSize = sizeof kBytes;
  hooks.memoryFilePath = "served-from-memory";
  HANDLE file = platform::CreateFileA("served-from-memory", GENERIC_READ, FILE_SHARE_READ,
                                      OPEN_EXISTING, 0);
  hooks.memoryFilePath = nullptr;
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetFileSize(file), 5u);
  unsigned char out[4] = {};
  DWORD got = 0;
  platform::ReadFileAt(file, 3, out, 4, &got);
  EXPECT_EQ(got, 2u) << "a read past the end comes up short";
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[1], 5);
  EXPECT_TRUE(platform::ReadFileAt(file, 1, out, 4, &got));
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(memcmp(out, kBytes + 1, 4), 0);
  EXPECT_TRUE(platform::ReadFileAt(file, 4, out, 4, &got));
  EXPECT_EQ(got, 1u) << "a positional read past the end comes up short";
  EXPECT_TRUE(platform::CloseHandle(file));
}

}  // namespace
