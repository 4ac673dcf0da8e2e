// The extractor end to end on offset-table archives (seeded with them; the
// input goes through every layout as a host's file would).
#include "fuzz/archive_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::CheckArchive(data, size);
  return 0;
}
