#include "import-filter/picture_info.h"

#include <cstring>

#include "host-contract/scope_guard.h"
#include "import-filter/memory_input.h"
#include "import-filter/picture_file.h"
#include "import-filter/support_check.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {
namespace {

void FillPictureInfo(const QkzGeometry& geometry, PictureInfo* info) {
  PictureInfo filled;
  memset(&filled, 0, sizeof filled);  // padding of the 64-bit record included
  filled.width = static_cast<int32_t>(geometry.width);
  filled.height = static_cast<int32_t>(geometry.height);
  filled.colorDepth = 8;
  filled.hInfo = nullptr;
  memcpy(info, &filled, sizeof filled);
}

Failure DescribeMemoryImage(const uint8_t* image, LONG_PTR len, PictureInfo* info) {
  QkzGeometry geometry;
  Failure failure = ReadMemoryImageGeometry(image, len, &geometry);
  if (failure != Failure::kNone) return failure;
  FillPictureInfo(geometry, info);
  return Failure::kNone;
}

Failure DescribeFile(const HostPath& name, PictureInfo* info) {
  // The support test's read of the head is the description's.
  uint8_t head[kQkzHeadSize];
  HANDLE file = INVALID_HANDLE_VALUE;
  ScopeExit close([&] { ClosePictureFile(file); });
  QkzGeometry geometry;
  Failure failure = OpenQkzFile(name, &file, head, &geometry);
  if (failure != Failure::kNone) return failure;
  FillPictureInfo(geometry, info);
  return Failure::kNone;
}

}  // namespace

template <typename Unit>
Failure DescribePicture(const Unit* buf, LONG_PTR len, unsigned flag, PictureInfo* info) {
  // Nowhere to describe the picture: refused before anything is read.
  if (info == nullptr) return Failure::kNullOutput;
  if (flag & kFlagMemoryInput)
    return DescribeMemoryImage(reinterpret_cast<const uint8_t*>(buf), len, info);
  return DescribeFile(buf, info);
}

template Failure DescribePicture(const char*, LONG_PTR, unsigned, PictureInfo*);
template Failure DescribePicture(const WCHAR*, LONG_PTR, unsigned, PictureInfo*);

}  // namespace korvo
