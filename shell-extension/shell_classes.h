// The classes KorvoShell.dll serves and what they share: their class ids,
// which file each one shows, the count of live objects and locks that
// decides when the DLL may be unloaded, and the module's handle.
#pragma once

#include <new>

#include <windows.h>
#include <objidl.h>
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

// The reference count of each object the server hands out: AddRef and
// Release of every class are these two, and the last Release deletes it.
inline ULONG AddReference(LONG* references) noexcept {
  return static_cast<ULONG>(InterlockedIncrement(references));
}
template <typename Object>
ULONG ReleaseReference(Object* object) noexcept {
  const LONG left = InterlockedDecrement(&object->references);
  if (left == 0) delete object;
  return static_cast<ULONG>(left);
}

// QueryInterface of every class: `object` answers each of `Interfaces`,
// and IUnknown as the first of them, with a reference for the caller.
template <typename First, typename... Others, typename Object>
HRESULT AnswerInterface(Object* object, REFIID iid, void** out) noexcept {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (iid == __uuidof(IUnknown) || iid == __uuidof(First)) *out = static_cast<First*>(object);
  ((*out == nullptr && iid == __uuidof(Others) ? *out = static_cast<Others*>(object) : nullptr), ...);
  if (*out == nullptr) return E_NOINTERFACE;
  object->AddRef();
  return S_OK;
}

// A new `Object` made of `arguments`, answering `iid` in *out: the
// caller's reference is then its only one.
template <typename Object, typename... Arguments>
HRESULT NewObject(REFIID iid, void** out, Arguments... arguments) noexcept {
  Object* object = new (std::nothrow) Object(arguments...);
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT result = object->QueryInterface(iid, out);
  object->Release();
  return result;
}

// IInitializeWithStream::Initialize of both handlers: the stream is taken
// once, with a reference of its own, and kept in *kept.
HRESULT KeepStream(IStream* given, IStream** kept) noexcept;

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
