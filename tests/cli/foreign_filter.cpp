// A foreign import filter for korvo's tests, which hands out whatever
// bitmap a test asks for: a ".WRP" file is "WRAP", the BITMAPINFO block's
// size (4 bytes, little-endian), that block, and the pixel block.
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/little_endian.h"
#include "host-contract/host_contract.h"
#include "platform/platform.h"

#ifdef _WIN32
#define FOREIGN_EXPORT __declspec(dllexport)
#else
#define FOREIGN_EXPORT KORVO_EXPORT
#endif

using namespace korvo;

namespace {

HLOCAL BlockOf(const uint8_t* bytes, size_t size) {
  HLOCAL block = platform::GlobalAlloc(GMEM_MOVEABLE, size);
  if (block == nullptr) return nullptr;
  void* data = platform::GlobalLock(block);
  if (size != 0) memcpy(data, bytes, size);
  platform::GlobalUnlock(block);
  return block;
}

}  // namespace

extern "C" {

FOREIGN_EXPORT int KORVO_API GetPluginInfo(int infono, LPSTR buf, int buflen) noexcept {
  const char* const kStrings[] = {"00IN", "foreign test filter", "*.WRP", "Wrapping test pictures"};
  if (infono < 0 || infono > 3 || buflen <= 0) return 0;
  snprintf(buf, static_cast<size_t>(buflen), "%s", kStrings[infono]);
  return static_cast<int>(strlen(buf));
}

FOREIGN_EXPORT int KORVO_API IsSupported(LPCSTR, ULONG_PTR dw) noexcept {
  return dw > 0xFFFF && memcmp(reinterpret_cast<const void*>(dw), "WRAP", 4) == 0;
}

FOREIGN_EXPORT int KORVO_API GetPicture(LPCSTR buf, LONG_PTR, unsigned flag, HLOCAL* pHBInfo,
                                        HLOCAL* pHBm, ProgressCallback, LONG_PTR) noexcept {
  if ((flag & 7) != 0) return 2;  // files only
  FILE* file = fopen(buf, "rb");
  if (file == nullptr) return 6;
  std::vector<uint8_t> bytes;
  int c;
  while ((c = fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  fclose(file);
  if (bytes.size() < 8) return 2;
  size_t infoSize = ReadLe32(bytes.data() + 4);
  if (infoSize > bytes.size() - 8) return 2;
  *pHBInfo = BlockOf(bytes.data() + 8, infoSize);
  *pHBm = BlockOf(bytes.data() + 8 + infoSize, bytes.size() - 8 - infoSize);
  return 0;
}

}  // extern "C"
