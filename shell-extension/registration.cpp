// What DllRegisterServer writes and DllUnregisterServer removes: each
// class's key (in-process, apartment-threaded), the thumbnail and preview
// handler keys under .qkz and .cg, and each preview class in the shell's
// list of preview handlers. Nothing else: no file type's default program,
// no DisableProcessIsolation (the shell runs us outside its own process).
// The registry ignores letter case, so .qkz serves .QKZ and every other case.
#include <olectl.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

#include "shell-extension/shell_classes.h"

namespace korvo {
namespace {

constexpr const wchar_t* kClasses = L"Software\\Classes\\";
constexpr const wchar_t* kPreviewHandlers =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers";

const wchar_t* ExtensionOf(ShellInput input) {
  return input == ShellInput::kPicture ? L".qkz" : L".cg";
}

// The surrogate that hosts preview handlers out of the shell's process:
// the 32-bit one for a 32-bit DLL on 64-bit Windows.
const wchar_t* PreviewHostOf() {
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64)
    return L"{534A1E02-D58F-44f0-B58B-36CBED287C7C}";
  return L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}";
}

LSTATUS SetText(HKEY root, const std::wstring& key, const wchar_t* name, const wchar_t* text) {
  const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
  return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, text, bytes);
}

std::wstring ClassKey(const ShellClass& shellClass) {
  return std::wstring(kClasses) + L"CLSID\\" + shellClass.clsidText;
}

std::wstring HandlerKey(const ShellClass& shellClass) {
  return std::wstring(kClasses) + ExtensionOf(shellClass.input) + L"\\ShellEx\\" +
         (shellClass.preview ? kPreviewHandlerKey : kThumbnailHandlerKey);
}

LSTATUS RegisterClass(HKEY root, const ShellClass& shellClass, const wchar_t* path) {
  const std::wstring key = ClassKey(shellClass);
  const std::wstring server = key + L"\\InprocServer32";
  LSTATUS status = SetText(root, key, nullptr, shellClass.name);
  if (status == ERROR_SUCCESS) status = SetText(root, server, nullptr, path);
  if (status == ERROR_SUCCESS) status = SetText(root, server, L"ThreadingModel", L"Apartment");
  if (status == ERROR_SUCCESS && shellClass.preview)
    status = SetText(root, key, L"AppID", PreviewHostOf());
  if (status == ERROR_SUCCESS) status = SetText(root, HandlerKey(shellClass), nullptr, shellClass.clsidText);
  if (status == ERROR_SUCCESS && shellClass.preview)
    status = SetText(root, kPreviewHandlers, shellClass.clsidText, shellClass.name);
  return status;
}

// Removes `key` when it holds neither values nor subkeys.
void RemoveIfEmpty(HKEY root, const std::wstring& key) {
  HKEY opened;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
  DWORD subkeys = 1, values = 1;
  const LSTATUS status = RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                          &values, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(opened);
  if (status == ERROR_SUCCESS && subkeys == 0 && values == 0) RegDeleteKeyW(root, key.c_str());
}

void UnregisterClass(HKEY root, const ShellClass& shellClass) {
  RegDeleteTreeW(root, ClassKey(shellClass).c_str());
  // A handler key is removed only while it still names our class.
  const std::wstring handler = HandlerKey(shellClass);
  wchar_t named[64] = {};
  DWORD bytes = sizeof named - sizeof(wchar_t);
  if (RegGetValueW(root, handler.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, named, &bytes) == ERROR_SUCCESS &&
      CompareStringOrdinal(named, -1, shellClass.clsidText, -1, TRUE) == CSTR_EQUAL)
    RegDeleteKeyW(root, handler.c_str());
  const std::wstring extension = std::wstring(kClasses) + ExtensionOf(shellClass.input);
  RemoveIfEmpty(root, extension + L"\\ShellEx");
  RemoveIfEmpty(root, extension);
  if (shellClass.preview) RegDeleteKeyValueW(root, kPreviewHandlers, shellClass.clsidText);
}

HRESULT Unregister(HKEY root) noexcept {
  try {
    for (const ShellClass& shellClass : kShellClasses) UnregisterClass(root, shellClass);
    // The containers registering may have made (a user's first class).
    RemoveIfEmpty(root, std::wstring(kClasses) + L"CLSID");
    RemoveIfEmpty(root, kPreviewHandlers);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace

HRESULT RegisterServer(bool machine) noexcept {
  const HKEY root = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  wchar_t path[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameW(ShellModule(), path, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return SELFREG_E_CLASS;
  try {
    for (const ShellClass& shellClass : kShellClasses) {
      const LSTATUS status = RegisterClass(root, shellClass, path);
      if (status != ERROR_SUCCESS) {
        Unregister(root);  // nothing half-registered stays behind
        return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
      }
    }
  } catch (...) {
    Unregister(root);
    return E_OUTOFMEMORY;
  }
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return S_OK;
}

HRESULT UnregisterServer(bool machine) noexcept {
  const HRESULT result = Unregister(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER);
  if (FAILED(result)) return result;
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return S_OK;
}

}  // namespace korvo
