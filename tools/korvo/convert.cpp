// korvo convert: what a viewer does with a picture file, ending in a .bmp
// file instead of a window. The .bmp is exactly the bitmap the host received
// (the BITMAPINFO block, then the pixel block) behind a 14-byte file header.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host-contract/row_stride.h"
#include "qkz-picture/little_endian.h"
#include "tools/korvo/commands.h"
#include "tools/plugin-loader/plugin_loader.h"

namespace {

// A host hands IsSupported the first 2 KB of the file, zero-padded.
constexpr size_t kHeadBufferSize = 2048;
constexpr size_t kFileHeaderSize = 14;

bool ReadHead(const std::string& path, std::vector<uint8_t>* head) {
  head->assign(kHeadBufferSize, 0);
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  size_t got = fread(head->data(), 1, head->size(), file);
  (void)got;  // a short file leaves zeros, as a host's buffer does
  fclose(file);
  return true;
}

// The handles a host received, released whatever happens.
struct ReceivedBitmap {
  HLOCAL info = nullptr;
  HLOCAL pixels = nullptr;
  ~ReceivedBitmap() {
    if (info != nullptr) platform::GlobalFree(info);
    if (pixels != nullptr) platform::GlobalFree(pixels);
  }
};

// Sizes of the two blocks, from the header as any host reads it.
struct BitmapSizes {
  int32_t width, height;
  uint16_t bitCount;
  uint32_t infoBytes, pixelBytes;
};

BitmapSizes SizesOf(const uint8_t* header) {
  BitmapSizes sizes;
  sizes.width = static_cast<int32_t>(korvo::ReadLe32(header + 4));
  sizes.height = static_cast<int32_t>(korvo::ReadLe32(header + 8));
  sizes.bitCount = korvo::ReadLe16(header + 14);
  uint32_t colours = korvo::ReadLe32(header + 32);
  if (colours == 0 && sizes.bitCount <= 8) colours = 1u << sizes.bitCount;
  sizes.infoBytes = korvo::ReadLe32(header) + 4 * colours;
  sizes.pixelBytes = korvo::ReadLe32(header + 20);
  if (sizes.pixelBytes == 0)
    sizes.pixelBytes = korvo::RowStride(static_cast<uint32_t>(std::abs(sizes.width)), sizes.bitCount) *
                       static_cast<uint32_t>(std::abs(sizes.height));
  return sizes;
}

bool WriteBmp(const std::string& path, const ReceivedBitmap& bitmap, BitmapSizes* sizes) {
  const auto* info = static_cast<const uint8_t*>(platform::GlobalLock(bitmap.info));
  const auto* pixels = static_cast<const uint8_t*>(platform::GlobalLock(bitmap.pixels));
  bool written = false;
  if (info != nullptr && pixels != nullptr) {
    *sizes = SizesOf(info);
    uint8_t header[kFileHeaderSize] = {'B', 'M'};
    uint32_t offset = static_cast<uint32_t>(kFileHeaderSize) + sizes->infoBytes;
    korvo::WriteLe32(header + 2, offset + sizes->pixelBytes);  // bfSize
    korvo::WriteLe32(header + 10, offset);                     // bfOffBits
    FILE* file = fopen(path.c_str(), "wb");
    written = file != nullptr && fwrite(header, 1, sizeof header, file) == sizeof header &&
              fwrite(info, 1, sizes->infoBytes, file) == sizes->infoBytes &&
              fwrite(pixels, 1, sizes->pixelBytes, file) == sizes->pixelBytes;
    if (file != nullptr && fclose(file) != 0) written = false;
  }
  if (info != nullptr) platform::GlobalUnlock(bitmap.info);
  if (pixels != nullptr) platform::GlobalUnlock(bitmap.pixels);
  return written;
}

std::string DefaultOutput(const std::string& picture) {
  size_t slash = picture.find_last_of("/\\");
  size_t dot = picture.find_last_of('.');
  bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? picture.substr(0, dot) : picture) + ".bmp";
}

}  // namespace

int ConvertPicture(const std::string& pluginDirectory, const std::string& picture,
                   const std::string& requestedOutput) {
  std::vector<uint8_t> head;
  if (!ReadHead(picture, &head)) {
    fprintf(stderr, "korvo: %s: cannot read the file\n", picture.c_str());
    return 1;
  }
  const std::string output = requestedOutput.empty() ? DefaultOutput(picture) : requestedOutput;
  for (const char* name : {"IFKORVO", "AXKORVO"}) {
    std::string path = pluginDirectory + korvo::PluginFileName(name);
    korvo::LoadedPlugin plugin;
    if (!korvo::LoadPlugin(path, &plugin)) continue;
    char version[8] = {};
    plugin.GetPluginInfo(0, version, sizeof version);
    // API versions "00IN" and the like name import filters.
    bool importFilter = strcmp(version + 2, "IN") == 0 && plugin.GetPicture != nullptr;
    int status = -1;
    if (importFilter &&
        plugin.IsSupported(picture.c_str(), reinterpret_cast<ULONG_PTR>(head.data())) == 1) {
      ReceivedBitmap bitmap;
      int result = plugin.GetPicture(picture.c_str(), 0, 0, &bitmap.info, &bitmap.pixels,
                                     nullptr, 0);
      BitmapSizes sizes = {};
      if (result != 0) {
        fprintf(stderr, "korvo: %s: %s GetPicture returned %d\n", picture.c_str(), path.c_str(),
                result);
        status = 1;
      } else if (!WriteBmp(output, bitmap, &sizes)) {
        fprintf(stderr, "korvo: %s: cannot write the bitmap\n", output.c_str());
        status = 1;
      } else {
        printf("%s: decoded by %s: %d x %d, %u bits per pixel -> %s\n", picture.c_str(),
               path.c_str(), sizes.width, sizes.height, sizes.bitCount, output.c_str());
        status = 0;
      }
    }
    korvo::UnloadPlugin(&plugin);
    if (status >= 0) return status;
  }
  fprintf(stderr, "korvo: %s: no import filter in %s takes this picture\n", picture.c_str(),
          pluginDirectory.c_str());
  return 1;
}
