// Entry names are built by hand for speed: they must equal what a formatter
// makes of "%08X.QKZ" and "%s.QKZ", byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "archive-extractor/entry_names.h"

namespace {

TEST(EntryNamesTest, EqualWhatAFormatterMakes) {
  for (uint32_t position : {0u, 1u, 0x10u, 0x41Cu, 0xABCDEF01u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    char ours[korvo::kPositionNameBytes];
    char formatted[64];
    korvo::FormatPositionName(position, ours);
    std::snprintf(formatted, sizeof formatted, "%08X.QKZ", position);
    EXPECT_STREQ(ours, formatted);
  }
  for (std::string stored : {std::string(), std::string("a"), std::string("Palette"),
                             std::string(31, 'z'), std::string("\x95\x5c\xff")}) {
    char ours[40];
    char formatted[64];
    korvo::FormatStoredName(stored.c_str(), static_cast<uint32_t>(stored.size()), ours);
    std::snprintf(formatted, sizeof formatted, "%s.QKZ", stored.c_str());
    EXPECT_STREQ(ours, formatted);
  }
}

}  // namespace
