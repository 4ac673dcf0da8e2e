// The one type for a run of bytes in memory: file contents, blocks copied
// out of a host's handles, archives and pictures being built. Header-only,
// for the tools, the tests, the fuzzers and the benchmark alike.
#pragma once

#include <cstdint>
#include <vector>

namespace korvo {

using Bytes = std::vector<uint8_t>;

}  // namespace korvo
