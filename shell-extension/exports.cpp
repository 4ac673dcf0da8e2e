// The DLL's exports, as COM and regsvr32 call them; each hands over to a
// noexcept operation, so nothing is thrown across them.
#include <olectl.h>

#include "shell-extension/shell_classes.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return korvo::GetClassObject(clsid, iid, object);
}

STDAPI DllCanUnloadNow() { return korvo::ServerInUse() ? S_FALSE : S_OK; }

// regsvr32 KorvoShell.dll: for every user of the machine (administrators).
STDAPI DllRegisterServer() { return korvo::RegisterServer(true); }
STDAPI DllUnregisterServer() { return korvo::UnregisterServer(true); }

// regsvr32 /n /i:user KorvoShell.dll (and with /u): for the current user
// alone, with no administrator rights; any other command line is the machine.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  const bool user = commandLine != nullptr && CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) == CSTR_EQUAL;
  return install ? korvo::RegisterServer(!user) : korvo::UnregisterServer(!user);
}
