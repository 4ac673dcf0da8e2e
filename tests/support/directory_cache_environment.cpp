// The test program links the extractor's logic directly, without the
// library's load and unload notifications: it loads the directory cache once
// for the whole run, as the plug-in does for its lifetime.
#include <gtest/gtest.h>

#include "archive-extractor/directory_cache.h"

namespace {

class DirectoryCacheEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { korvo::LoadDirectoryCache(); }
  void TearDown() override { korvo::UnloadDirectoryCache(); }
};

::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new DirectoryCacheEnvironment);

}  // namespace
