// The Windows plug-ins as a viewer sees them: undecorated export names, no
// imports beyond KERNEL32, USER32 and the C runtime, and the version resource.
// Listed on every target; they run on Windows only.
#include <gtest/gtest.h>

#include "tests/support/platform_hooks.h"
#include "tests/support/test_files.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#endif

namespace {

#ifdef _WIN32

const IMAGE_NT_HEADERS* NtHeaders(const BYTE* base) {
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
}

std::set<std::string> ExportNames(HMODULE module) {
  auto* base = reinterpret_cast<const BYTE*>(module);
  const IMAGE_DATA_DIRECTORY& entry =
      NtHeaders(base)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  std::set<std::string> result;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    result.insert(reinterpret_cast<const char*>(base + names[i]));
  return result;
}

std::set<std::string> ImportedLibraries(HMODULE module) {
  auto* base = reinterpret_cast<const BYTE*>(module);
  const IMAGE_DATA_DIRECTORY& entry =
      NtHeaders(base)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::set<std::string> result;
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + entry.VirtualAddress);
       import->Name != 0; ++import) {
    std::string name = reinterpret_cast<const char*>(base + import->Name);
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    result.insert(name);
  }
  return result;
}

std::string VersionString(const std::string& path, const char* key) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  std::string data(size, '\0');
  if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, &data[0])) return "<no resource>";
  char* value = nullptr;
  UINT length = 0;
  std::string query = std::string("\\StringFileInfo\\041104b0\\") + key;
  if (!VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
    return "<missing>";
  return std::string(value);
}

struct ModuleCase {
  const char* name;
  std::set<std::string> exports;
  const char* title;
  const char* comments;
};

const ModuleCase kModules[] = {
    {"IFKORVO",
     {"GetPicture", "GetPictureInfo", "GetPictureInfoW", "GetPictureW", "GetPluginInfo",
      "GetPluginInfoW", "GetPreview", "GetPreviewW", "IsSupported", "IsSupportedW"},
     "IfKorvo",
     "Brimmel QKZ Graphics Import Filter."},
    {"AXKORVO",
     {"GetArchiveInfo", "GetArchiveInfoW", "GetFile", "GetFileInfo", "GetFileInfoW", "GetFileW",
      "GetPluginInfo", "GetPluginInfoW", "IsSupported", "IsSupportedW"},
     "AxKorvo", "Brimmel Archive Extractor."},
};
#endif

TEST(WindowsModuleTest, ExportsAreUndecoratedAndImportsMinimal) {
  SKIP_UNLESS(Need::kWindows);
#ifdef _WIN32
  for (const ModuleCase& c : kModules) {
    HMODULE module = static_cast<HMODULE>(BuiltPlugin(c.name).module);
    ASSERT_NE(module, nullptr) << c.name;
    EXPECT_EQ(ExportNames(module), c.exports) << c.name;
    for (const std::string& library : ImportedLibraries(module))
      EXPECT_TRUE(library == "KERNEL32.DLL" || library == "USER32.DLL" || library == "MSVCRT.DLL")
          << c.name << " imports " << library;
  }
#endif
}

TEST(WindowsModuleTest, VersionResourceReadsBack) {
  SKIP_UNLESS(Need::kWindows);
#ifdef _WIN32
  for (const ModuleCase& c : kModules) {
    std::string path = korvo::BuildPluginDirectory() + korvo::PluginFileName(c.name);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << path;
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, &data[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00000005u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000005u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00000005u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000005u);
    struct {
      WORD language, codePage;
    }* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u) << "one string table";
    EXPECT_EQ(translation->language, 0x0411);
    EXPECT_EQ(translation->codePage, 1200);

    EXPECT_EQ(VersionString(path, "FileVersion"), "0, 5, 0, 5");
    EXPECT_EQ(VersionString(path, "ProductVersion"), "0, 5, 0, 5");
    EXPECT_EQ(VersionString(path, "FileDescription"), c.title);
    EXPECT_EQ(VersionString(path, "InternalName"), c.title);
    EXPECT_EQ(VersionString(path, "ProductName"), c.title);
    EXPECT_EQ(VersionString(path, "OriginalFilename"), korvo::PluginFileName(c.name));
    EXPECT_EQ(VersionString(path, "Comments"), c.comments);
    EXPECT_EQ(VersionString(path, "LegalTrademarks"), "None.");
  }
#endif
}

}  // namespace
