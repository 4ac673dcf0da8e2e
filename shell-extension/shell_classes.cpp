#include "shell-extension/shell_classes.h"

#include "shell-extension/preview_window.h"

namespace korvo {

const ShellClass kShellClasses[kShellClassCount] = {
    {{0xda2faf21, 0xb4c3, 0x410e, {0x9b, 0xfd, 0xcd, 0x55, 0xff, 0x0c, 0x73, 0xf4}},
     L"{da2faf21-b4c3-410e-9bfd-cd55ff0c73f4}", L"KORVO QKZ picture thumbnail", ShellInput::kPicture, false},
    {{0x92fc1f7a, 0xbdbf, 0x4bde, {0xad, 0xfe, 0x45, 0x61, 0xa4, 0xa7, 0x2f, 0x7d}},
     L"{92fc1f7a-bdbf-4bde-adfe-4561a4a72f7d}", L"KORVO Brimmel archive thumbnail", ShellInput::kArchive, false},
    {{0x75ce5dd5, 0xccc0, 0x4bdd, {0x85, 0x08, 0xf6, 0x60, 0x4b, 0x4b, 0xd6, 0x7d}},
     L"{75ce5dd5-ccc0-4bdd-8508-f6604b4bd67d}", L"KORVO QKZ picture preview", ShellInput::kPicture, true},
    {{0xbf6bb48a, 0x989e, 0x43dc, {0xa2, 0x87, 0x05, 0x17, 0x10, 0x6a, 0x42, 0x0c}},
     L"{bf6bb48a-989e-43dc-a287-0517106a420c}", L"KORVO Brimmel archive preview", ShellInput::kArchive, true},
};

namespace {
LONG objects = 0;
LONG locks = 0;
HINSTANCE module = nullptr;
}  // namespace

void ObjectCreated() noexcept { InterlockedIncrement(&objects); }
void ObjectDestroyed() noexcept { InterlockedDecrement(&objects); }
void ServerLocked(bool lock) noexcept {
  if (lock)
    InterlockedIncrement(&locks);
  else
    InterlockedDecrement(&locks);
}
bool ServerInUse() noexcept { return objects != 0 || locks != 0; }
HINSTANCE ShellModule() noexcept { return module; }

HRESULT KeepStream(IStream* given, IStream** kept) noexcept {
  if (given == nullptr) return E_INVALIDARG;
  if (*kept != nullptr) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  *kept = given;
  given->AddRef();
  return S_OK;
}

}  // namespace korvo

// The module handle names the DLL in the registry and owns the preview's
// window class; thread notifications are not wanted.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    korvo::module = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    korvo::UnregisterPreviewWindowClass();
  }
  return TRUE;
}
