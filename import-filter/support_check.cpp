#include "import-filter/support_check.h"

#include "host-contract/scope_guard.h"
#include "import-filter/file_name_extension.h"
#include "import-filter/picture_file.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {

bool IsQkzInMemory(const void* head) {
  return head != nullptr && IsQkzHead(static_cast<const uint8_t*>(head));
}

Failure OpenQkzFile(const HostPath& name, HANDLE* file, uint8_t* head, QkzGeometry* geometry) {
  *file = INVALID_HANDLE_VALUE;
  if (name.narrow != nullptr ? !HasQkzExtension(name.narrow)
                             : name.wide == nullptr || !HasQkzExtension(name.wide))
    return Failure::kWrongExtension;
  Failure failure = OpenAndReadHead(name, file, head);
  if (failure != Failure::kNone) return failure;
  return ReadQkzGeometry(head, geometry) ? Failure::kNone : Failure::kNotQkzHead;
}

bool IsQkzFile(const HostPath& name) {
  uint8_t head[kQkzHeadSize];
  QkzGeometry geometry;
  HANDLE file = INVALID_HANDLE_VALUE;
  ScopeExit close([&] { ClosePictureFile(file); });
  return OpenQkzFile(name, &file, head, &geometry) == Failure::kNone;
}

bool CheckSupport(const HostPath& filename, ULONG_PTR dw) {
  constexpr ULONG_PTR kLowestBufferAddress = 0x10000;
  if (dw < kLowestBufferAddress) return IsQkzFile(filename);
  return IsQkzInMemory(reinterpret_cast<const void*>(dw));
}

}  // namespace korvo
