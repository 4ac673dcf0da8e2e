// GetPluginInfo of both plug-ins, called through the loaded libraries.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/test_files.h"

namespace {

struct InfoCase {
  const char* plugin;
  int infono;
  const char* expected;  // nullptr: out of range
};

const InfoCase kInfoCases[] = {
    {"IFKORVO", 0, "00IN"},
    {"IFKORVO", 1, "Brimmel QKZ Graphics Import Filter Copyright (C) 2026 the KORVO project"},
    {"IFKORVO", 2, "*.qkz"},
    {"IFKORVO", 3, "Brimmel QKZ Graphics"},
    {"IFKORVO", 4, nullptr},
    {"IFKORVO", -1, nullptr},
    {"AXKORVO", 0, "00AM"},
    {"AXKORVO", 1, "Brimmel Archive Extractor Copyright (C) 2026 the KORVO project"},
    {"AXKORVO", 2, "cg"},
    {"AXKORVO", 3, "Brimmel Archives"},
    {"AXKORVO", 4, nullptr},
    {"AXKORVO", -1, nullptr},
};

TEST(GetPluginInfoTest, ServesTheFourStringsOfEachPlugin) {
  for (const InfoCase& c : kInfoCases) {
    const korvo::LoadedPlugin& plugin = BuiltPlugin(c.plugin);
    ASSERT_NE(plugin.GetPluginInfo, nullptr);
    char buf[256];
    memset(buf, '#', sizeof buf);
    int written = plugin.GetPluginInfo(c.infono, buf, sizeof buf);
    if (c.expected == nullptr) {
      EXPECT_EQ(written, 0) << c.plugin << " " << c.infono;
      EXPECT_EQ(buf[0], '#') << "buffer touched";
      continue;
    }
    EXPECT_STREQ(buf, c.expected) << c.plugin << " " << c.infono;
    EXPECT_EQ(written, static_cast<int>(strlen(c.expected)));
    // Truncation keeps a NUL inside the buffer and never writes past it.
    for (int buflen = 0; buflen <= static_cast<int>(strlen(c.expected)) + 1; ++buflen) {
      memset(buf, '#', sizeof buf);
      int count = plugin.GetPluginInfo(c.infono, buf, buflen);
      EXPECT_EQ(buf[buflen], '#') << "wrote past buflen " << buflen;
      if (buflen == 0) {
        EXPECT_EQ(buf[0], '#');
        continue;
      }
      EXPECT_EQ(count, buflen - 1);
      EXPECT_EQ(buf[buflen - 1], '\0');
      EXPECT_EQ(memcmp(buf, c.expected, buflen - 1), 0);
    }
    // A negative buflen counts as a very large buffer.
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(plugin.GetPluginInfo(c.infono, buf, -5), written);
    EXPECT_STREQ(buf, c.expected);
  }
}

TEST(PluginExportsTest, EachPluginHasExactlyItsFunctions) {
  const korvo::LoadedPlugin& filter = BuiltPlugin("IFKORVO");
  EXPECT_TRUE(filter.GetPictureInfo && filter.GetPicture);
  EXPECT_FALSE(filter.GetArchiveInfo || filter.GetFileInfo || filter.GetFile);
  const korvo::LoadedPlugin& extractor = BuiltPlugin("AXKORVO");
  EXPECT_TRUE(extractor.GetArchiveInfo && extractor.GetFileInfo && extractor.GetFile);
  EXPECT_FALSE(extractor.GetPictureInfo || extractor.GetPicture);
}

}  // namespace
