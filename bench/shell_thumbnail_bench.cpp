// korvo-shell-thumbnail INPUT [OUTPUT.bmp] [--size N] [--repeat N]: the
// thumbnail KorvoShell.dll (beside this program) makes of a file, reached as
// Explorer reaches it: DllGetClassObject, IClassFactory, IInitializeWithStream
// over SHCreateStreamOnFileEx, GetThumbnail. It writes the bitmap as a 32-bit
// BMP (the demo), and with --repeat prints the best time of N thumbnails
// beside the best of N runs of korvo.exe thumbnail and of korvo.exe --help,
// the cost of starting a program (the benchmark).
#include <windows.h>

#include <objbase.h>
#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const CLSID kPicture = {0xda2faf21, 0xb4c3, 0x410e, {0x9b, 0xfd, 0xcd, 0x55, 0xff, 0x0c, 0x73, 0xf4}};
const CLSID kArchive = {0x92fc1f7a, 0xbdbf, 0x4bde, {0xad, 0xfe, 0x45, 0x61, 0xa4, 0xa7, 0x2f, 0x7d}};

std::wstring Folder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

HRESULT Thumbnail(HMODULE dll, const std::wstring& input, UINT size, HBITMAP* bitmap) {
  auto getClassObject = reinterpret_cast<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  if (getClassObject == nullptr) return E_NOINTERFACE;
  const bool archive = input.size() >= 3 && _wcsicmp(input.c_str() + input.size() - 3, L".cg") == 0;
  IClassFactory* factory = nullptr;
  HRESULT result = getClassObject(archive ? kArchive : kPicture, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(result)) return result;
  IInitializeWithStream* initialise = nullptr;
  result = factory->CreateInstance(nullptr, __uuidof(IInitializeWithStream), reinterpret_cast<void**>(&initialise));
  factory->Release();
  if (FAILED(result)) return result;
  IStream* stream = nullptr;
  result = SHCreateStreamOnFileEx(input.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr, &stream);
  if (SUCCEEDED(result)) result = initialise->Initialize(stream, STGM_READ);
  IThumbnailProvider* provider = nullptr;
  if (SUCCEEDED(result))
    result = initialise->QueryInterface(__uuidof(IThumbnailProvider), reinterpret_cast<void**>(&provider));
  WTS_ALPHATYPE alpha;
  if (SUCCEEDED(result)) result = provider->GetThumbnail(size, bitmap, &alpha);
  if (provider != nullptr) provider->Release();
  if (stream != nullptr) stream->Release();
  initialise->Release();
  return result;
}

bool WriteBmp(HBITMAP bitmap, const std::wstring& path) {
  BITMAP shape = {};
  GetObjectW(bitmap, sizeof shape, &shape);
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = shape.bmWidth;
  header.biHeight = -shape.bmHeight;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  std::vector<BYTE> pixels(4 * size_t(shape.bmWidth) * size_t(shape.bmHeight));
  HDC dc = GetDC(nullptr);
  const int rows = GetDIBits(dc, bitmap, 0, static_cast<UINT>(shape.bmHeight), pixels.data(),
                             reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  if (rows != shape.bmHeight) return false;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (out == nullptr) return false;
  const bool written = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&header, sizeof header, 1, out) == 1 &&
                       fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  return fclose(out) == 0 && written;
}

// The best wall time of `repeat` runs of korvo.exe with this command line.
double BestRun(const std::wstring& line, int repeat) {
  double best = 1e30;
  for (int i = 0; i < repeat; ++i) {
    std::wstring command = line;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const double start = Seconds();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
      return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    const double took = Seconds() - start;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (took < best) best = took;
  }
  return best;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring input, output;
  UINT size = 256;
  int repeat = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--size") == 0 && i + 1 < argc) {
      size = static_cast<UINT>(_wtoi(argv[++i]));
    } else if (std::wcscmp(argv[i], L"--repeat") == 0 && i + 1 < argc) {
      repeat = _wtoi(argv[++i]);
    } else if (input.empty()) {
      input = argv[i];
    } else {
      output = argv[i];
    }
  }
  if (input.empty() || size == 0) {
    fwprintf(stderr, L"usage: korvo-shell-thumbnail INPUT [OUTPUT.bmp] [--size N] [--repeat N]\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HMODULE dll = LoadLibraryW((Folder() + L"KorvoShell.dll").c_str());
  if (dll == nullptr) {
    fwprintf(stderr, L"cannot load KorvoShell.dll beside this program\n");
    return 1;
  }
  HBITMAP bitmap = nullptr;
  double best = 1e30;
  for (int i = 0; i < (repeat > 0 ? repeat : 1); ++i) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    bitmap = nullptr;
    const double start = Seconds();
    const HRESULT result = Thumbnail(dll, input, size, &bitmap);
    const double took = Seconds() - start;
    if (FAILED(result)) {
      fwprintf(stderr, L"%ls: the shell extension failed with 0x%08lX\n", input.c_str(), static_cast<unsigned long>(result));
      return 1;
    }
    if (took < best) best = took;
  }
  if (!output.empty() && !WriteBmp(bitmap, output)) {
    fwprintf(stderr, L"cannot write %ls\n", output.c_str());
    return 1;
  }
  DeleteObject(bitmap);
  if (repeat > 0) {
    const std::wstring korvo = L"\"" + Folder() + L"korvo.exe\"";
    const std::wstring png = input + L".bench.png";
    const double thumbnail = BestRun(korvo + L" thumbnail \"" + input + L"\" \"" + png + L"\" --size " + std::to_wstring(size), repeat);
    const double start = BestRun(korvo + L" --help", repeat);
    DeleteFileW(png.c_str());
    wprintf(L"%.4f %.4f %.4f\n", best, thumbnail, start);
  }
  return 0;
}
