// The one walk over the plug-ins that take a file (FirstTaker), on plug-ins
// made of test functions: who is asked, in which order, who wins, and which
// failure the host reports when nobody succeeds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/host/first_taker.h"

namespace {

using korvo::Plugin;
using korvo::PluginKind;
using korvo::Status;

int KORVO_API TakesHead(LPCSTR, ULONG_PTR) { return 1; }
int KORVO_API RefusesHead(LPCSTR, ULONG_PTR) { return 0; }

struct FakePlugin {
  PluginKind kind;
  const char* mask;
  bool takesHead;
  Status answer;  // what asking it to do the work gives
};

struct WalkCase {
  const char* title;
  PluginKind walked;
  std::vector<FakePlugin> plugins;
  std::vector<int> asked;  // indices, in the order asked
  int taker;               // -1: none
  Status::Kind kind;
  int code;
  const char* message;
};

const PluginKind kFilter = PluginKind::kImportFilter;
const PluginKind kExtractor = PluginKind::kArchiveExtractor;
const Status kDone = korvo::Done();
const Status kTorn = korvo::Failed("torn", 6);
const Status kRefused = korvo::Failed("refused", -1);

class Walk : public testing::TestWithParam<WalkCase> {};

TEST_P(Walk, AsksInOrderAndReportsTheClaimantsFailure) {
  const WalkCase& c = GetParam();
  korvo::PluginSet set;
  set.directory = "plugins/";
  for (const FakePlugin& fake : c.plugins) {
    Plugin plugin;
    plugin.fileName = "P" + std::to_string(set.plugins.size());
    plugin.kind = fake.kind;
    plugin.fileMask = fake.mask;
    plugin.exports.IsSupported = fake.takesHead ? TakesHead : RefusesHead;
    set.plugins.push_back(std::move(plugin));
  }
  std::vector<int> asked;
  Status status = korvo::Failed("untouched");
  const Plugin* taker = korvo::FirstTaker(
      set, c.walked, "picture.qkz", korvo::Bytes(2048, 0),
      [&](const Plugin& plugin) {
        const int index = static_cast<int>(&plugin - set.plugins.data());
        asked.push_back(index);
        return c.plugins[static_cast<size_t>(index)].answer;
      },
      &status);
  EXPECT_EQ(asked, c.asked);
  EXPECT_EQ(taker == nullptr ? -1 : static_cast<int>(taker - set.plugins.data()), c.taker);
  EXPECT_EQ(status.kind, c.kind);
  EXPECT_EQ(status.code, c.code);
  EXPECT_EQ(status.message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Host, Walk,
    testing::Values(
        WalkCase{"FirstThatSucceeds", kFilter,
                 {{kFilter, "*.qkz", true, kTorn}, {kFilter, "*.qkz", true, kDone}, {kFilter, "*.qkz", true, kDone}},
                 {0, 1}, 1, Status::kDone, 0, ""},
        WalkCase{"OnlyTheWalkedKind", kFilter,
                 {{kExtractor, "*.qkz", true, kDone}, {kFilter, "*.qkz", true, kDone}}, {1}, 1, Status::kDone, 0, ""},
        WalkCase{"ClaimantsFailureOverAnEarlierOne", kFilter,
                 {{kFilter, "*.png", true, kRefused}, {kFilter, "*.QKZ", true, kTorn}}, {0, 1}, -1,
                 Status::kFailed, 6, "torn"},
        WalkCase{"FirstClaimantsFailure", kFilter,
                 {{kFilter, "*.qkz", true, kTorn}, {kFilter, "*.qkz", true, kRefused}}, {0, 1}, -1,
                 Status::kFailed, 6, "torn"},
        WalkCase{"NoClaimantIsNotTaken", kFilter,
                 {{kFilter, "*.png", true, kRefused}, {kFilter, "*.bmp", true, kTorn}}, {0, 1}, -1,
                 Status::kNotTaken, -1, "refused"},
        WalkCase{"MaskAskedWhenNoHeadTakes", kExtractor,
                 {{kExtractor, "*.cg", false, kDone}, {kExtractor, "*.zip;qkz", false, kRefused}}, {1}, -1,
                 Status::kFailed, -1, "refused"},
        WalkCase{"HeadTakersOnlyWhenThereAreSome", kExtractor,
                 {{kExtractor, "*.qkz", false, kDone}, {kExtractor, "*.cg", true, kTorn}}, {1}, -1,
                 Status::kNotTaken, 6, "torn"},
        WalkCase{"NobodyPicture", kFilter, {{kFilter, "*.png", false, kDone}}, {}, -1, Status::kNotTaken, 0,
                 "not a supported picture (no import filter in plugins/ takes it)"},
        WalkCase{"NobodyArchive", kExtractor, {{kFilter, "*.qkz", true, kDone}}, {}, -1, Status::kNotTaken, 0,
                 "not a supported archive (no archive extractor in plugins/ takes it)"}),
    [](const testing::TestParamInfo<WalkCase>& row) { return row.param.title; });

}  // namespace
