// The classes KorvoShell.dll serves and what they share: their class ids,
// which file each one shows, the count of live objects and locks that
// decides when the DLL may be unloaded, and the module's handle.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "shell-extension/stream_thumbnail.h"

namespace korvo {

// One class per handler and extension: a handler given a stream never
// learns the file's name, so the class says what the stream holds.
struct ShellClass {
  CLSID clsid;
  const wchar_t* clsidText;  // as the registry spells it
  const wchar_t* name;       // the class key's default value
  ShellInput input;
  bool preview;  // an IPreviewHandler; else an IThumbnailProvider
};

constexpr size_t kShellClassCount = 4;
extern const ShellClass kShellClasses[kShellClassCount];

// The shell's handler ids under an extension's ShellEx key.
constexpr const wchar_t* kThumbnailHandlerKey = L"{e357fccd-a995-4576-b01f-234630154e96}";
constexpr const wchar_t* kPreviewHandlerKey = L"{8895b1c6-b41f-4c1c-a562-0d564250836f}";

// Live objects and server locks; the DLL may unload when both are 0.
void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;
void ServerLocked(bool lock) noexcept;
bool ServerInUse() noexcept;

HINSTANCE ShellModule() noexcept;

// A class factory for `clsid`: S_OK, or CLASS_E_CLASSNOTAVAILABLE for
// another class.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept;

// Registers or unregisters every class and handler key under HKLM (for the
// machine) or HKCU (for the user) Software\Classes.
HRESULT RegisterServer(bool machine) noexcept;
HRESULT UnregisterServer(bool machine) noexcept;

// New objects, one reference held by the caller, answering `iid` in *object.
HRESULT CreateThumbnailProvider(ShellInput input, REFIID iid, void** object) noexcept;
HRESULT CreatePreviewHandler(ShellInput input, REFIID iid, void** object) noexcept;

}  // namespace korvo
