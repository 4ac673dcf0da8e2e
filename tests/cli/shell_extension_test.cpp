// KorvoShell.dll as the shell drives it: the DLL loaded by its path, its
// classes made through DllGetClassObject and IClassFactory, handed streams
// over files (SHCreateStreamOnFileEx), over memory and over a test stream
// that counts, cuts short or fails its reads. Thumbnails must equal korvo
// thumbnail's pixels; hostile streams must fail without leaking a reference.
#include <windows.h>

#include <objbase.h>
#include <ocidl.h>
#include <propsys.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <thumbcache.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

#include "tests/support/korvo_runs.h"
#include "tests/support/picture_files.h"
#include "tools/archive-writer/archive_writer.h"
#include "tools/host/platform/code_pages.h"
#include "tools/host/plugin_loader.h"
#include "tools/korvo/pictures/bmp_file.h"
#include "common/row_stride.h"

namespace {

using korvo::QkzTriples;

using korvo::WideOf;

std::string DllPath() { return korvo::ExecutableDirectory() + "..\\bin\\KorvoShell.dll"; }

// The classes as the registry names them.
struct ShellClassId {
  const char* name;
  const wchar_t* text;
  const wchar_t* extension;
  bool preview;
  CLSID Id() const {
    CLSID id = {};
    CLSIDFromString(text, &id);
    return id;
  }
};
const ShellClassId kPictureThumbnail = {"KORVO QKZ picture thumbnail", L"{da2faf21-b4c3-410e-9bfd-cd55ff0c73f4}", L".qkz", false};
const ShellClassId kArchiveThumbnail = {"KORVO Brimmel archive thumbnail", L"{92fc1f7a-bdbf-4bde-adfe-4561a4a72f7d}", L".cg", false};
const ShellClassId kPicturePreview = {"KORVO QKZ picture preview", L"{75ce5dd5-ccc0-4bdd-8508-f6604b4bd67d}", L".qkz", true};
const ShellClassId kArchivePreview = {"KORVO Brimmel archive preview", L"{bf6bb48a-989e-43dc-a287-0517106a420c}", L".cg", true};
const ShellClassId kClasses[] = {kPictureThumbnail, kArchiveThumbnail, kPicturePreview, kArchivePreview};

// The DLL, loaded once as the shell's thumbnail cache loads it.
struct ShellDll {
  HMODULE module = nullptr;
  HRESULT(__stdcall* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(__stdcall* canUnloadNow)() = nullptr;
};

const ShellDll& Shell() {
  static const ShellDll dll = [] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ShellDll loaded;
    loaded.module = LoadLibraryW(WideOf(DllPath()).c_str());
    if (loaded.module != nullptr) {
      loaded.getClassObject = reinterpret_cast<decltype(loaded.getClassObject)>(
          reinterpret_cast<void*>(GetProcAddress(loaded.module, "DllGetClassObject")));
      loaded.canUnloadNow = reinterpret_cast<decltype(loaded.canUnloadNow)>(
          reinterpret_cast<void*>(GetProcAddress(loaded.module, "DllCanUnloadNow")));
    }
    return loaded;
  }();
  return dll;
}

// A new object of `id` answering `iid`, through the class factory.
HRESULT CreateShellObject(const ShellClassId& id, REFIID iid, void** object) {
  IClassFactory* factory = nullptr;
  HRESULT result = Shell().getClassObject(id.Id(), IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(result)) return result;
  result = factory->CreateInstance(nullptr, iid, object);
  factory->Release();
  return result;
}

// A stream of `size` bytes whose content `fill` makes (zeros elsewhere),
// that counts what it hands over and its references, and misbehaves on
// demand: it delivers nothing past `delivers`, fails every read once
// `failAfter` bytes have gone, and hands over at most `chunk` bytes a read.
struct TestStream final : IStream {
  LONG references = 1;
  uint64_t size = 0;
  uint64_t delivers = UINT64_MAX;
  uint64_t failAfter = UINT64_MAX;
  ULONG chunk = ULONG_MAX;
  uint64_t position = 0;
  uint64_t bytesRead = 0;
  std::function<void(uint64_t position, uint8_t* out, size_t count)> fill;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_IStream && iid != IID_ISequentialStream) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--references); }
  STDMETHODIMP Read(void* out, ULONG count, ULONG* read) override {
    if (read != nullptr) *read = 0;
    if (bytesRead >= failAfter) return STG_E_READFAULT;
    const uint64_t end = std::min(size, delivers);
    const uint64_t left = position < end ? end - position : 0;
    const ULONG given = static_cast<ULONG>(std::min<uint64_t>({count, left, chunk}));
    std::fill_n(static_cast<uint8_t*>(out), given, 0);
    if (fill) fill(position, static_cast<uint8_t*>(out), given);
    position += given;
    bytesRead += given;
    if (read != nullptr) *read = given;
    return given < count ? S_FALSE : S_OK;
  }
  STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override {
    const int64_t base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? static_cast<int64_t>(position)
                                                                                   : static_cast<int64_t>(size);
    if (base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
    position = static_cast<uint64_t>(base + move.QuadPart);
    if (now != nullptr) now->QuadPart = position;
    return S_OK;
  }
  STDMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP Commit(DWORD) override { return S_OK; }
  STDMETHODIMP Revert() override { return S_OK; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  STDMETHODIMP Stat(STATSTG* status, DWORD) override {
    *status = STATSTG{};
    status->type = STGTY_STREAM;
    status->cbSize.QuadPart = size;
    return S_OK;
  }
  STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }
};

void ServeBytes(TestStream* stream, const Bytes& bytes) {
  stream->size = bytes.size();
  stream->fill = [&bytes](uint64_t position, uint8_t* out, size_t count) {
    std::copy_n(bytes.begin() + static_cast<ptrdiff_t>(position), count, out);
  };
}

// What a thumbnail provider made: its answer and the bitmap's pixels as
// red, green, blue triples, top row first.
struct ShellPicture {
  HRESULT result = E_UNEXPECTED;
  uint32_t width = 0;
  uint32_t height = 0;
  int bitsPerPixel = 0;
  WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
  Bytes rgb;
};

// The 32-bit pixels of a bitmap through GetDIBits, as a host reads them.
Bytes RgbOfBitmap(HBITMAP bitmap, uint32_t width, uint32_t height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  Bytes bgra(4 * size_t{width} * height);
  HDC dc = GetDC(nullptr);
  const int rows = GetDIBits(dc, bitmap, 0, height, bgra.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  if (rows != static_cast<int>(height)) return {};
  Bytes rgb;
  for (size_t i = 0; i < bgra.size(); i += 4) rgb.insert(rgb.end(), {bgra[i + 2], bgra[i + 1], bgra[i]});
  return rgb;
}

ShellPicture ThumbnailThroughShell(const ShellClassId& id, IStream* stream, UINT cx) {
  ShellPicture picture;
  IInitializeWithStream* initialise = nullptr;
  picture.result = CreateShellObject(id, __uuidof(IInitializeWithStream), reinterpret_cast<void**>(&initialise));
  if (FAILED(picture.result)) return picture;
  IThumbnailProvider* provider = nullptr;
  picture.result = initialise->Initialize(stream, STGM_READ);
  if (SUCCEEDED(picture.result))
    picture.result = initialise->QueryInterface(__uuidof(IThumbnailProvider), reinterpret_cast<void**>(&provider));
  initialise->Release();
  if (FAILED(picture.result)) return picture;
  HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);  // must be cleared on failure
  picture.result = provider->GetThumbnail(cx, &bitmap, &picture.alpha);
  provider->Release();
  if (FAILED(picture.result)) {
    if (bitmap != nullptr) picture.result = E_POINTER;  // a failure left a bitmap behind
    return picture;
  }
  BITMAP shape = {};
  GetObjectW(bitmap, sizeof shape, &shape);
  picture.width = static_cast<uint32_t>(shape.bmWidth);
  picture.height = static_cast<uint32_t>(shape.bmHeight);
  picture.bitsPerPixel = shape.bmBitsPixel;
  picture.rgb = RgbOfBitmap(bitmap, picture.width, picture.height);
  DeleteObject(bitmap);
  return picture;
}

// A PNG korvo wrote, as red, green, blue triples, through the Windows
// Imaging Component (whatever its pixel format).
Bytes ReadPngThroughWic(const std::string& path, uint32_t* width, uint32_t* height) {
  Bytes rgb;
  IWICImagingFactory* factory = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICBitmapSource* converted = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                 reinterpret_cast<void**>(&factory))) &&
      SUCCEEDED(factory->CreateDecoderFromFilename(WideOf(path).c_str(), nullptr, GENERIC_READ,
                                                   WICDecodeMetadataCacheOnDemand, &decoder)) &&
      SUCCEEDED(decoder->GetFrame(0, &frame)) &&
      SUCCEEDED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame, &converted)) &&
      SUCCEEDED(converted->GetSize(width, height))) {
    const UINT stride = 4 * *width;
    Bytes bgra(size_t{stride} * *height);
    if (SUCCEEDED(converted->CopyPixels(nullptr, stride, static_cast<UINT>(bgra.size()), bgra.data())))
      for (uint32_t y = 0; y < *height; ++y)
        for (uint32_t x = 0; x < *width; ++x) {
          const uint8_t* pixel = bgra.data() + size_t{y} * stride + 4 * x;
          rgb.insert(rgb.end(), {pixel[2], pixel[1], pixel[0]});
        }
  }
  for (IUnknown* object : std::initializer_list<IUnknown*>{converted, frame, decoder, factory})
    if (object != nullptr) object->Release();
  return rgb;
}

IStream* FileStream(const std::string& path) {
  IStream* stream = nullptr;
  SHCreateStreamOnFileEx(WideOf(path).c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE,
                         nullptr, &stream);
  return stream;
}

IStream* MemoryStream(const Bytes& bytes) {
  return SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
}

// Pictures of several shapes: wider, taller, larger than 1024 both ways,
// and smaller than the smallest size, alone and as the first picture of an
// archive of each layout (behind its Palette entry in the named-entry one).
// At 96 also through a stream that hands over 7 bytes a read.
TEST(ShellExtension, ThumbnailsEqualKorvoThumbnailAtEverySizeFromFileAndMemory) {
  ASSERT_NE(Shell().getClassObject, nullptr) << DllPath();
  const std::string folder = NewFolder("shell-thumbnails");
  const std::vector<TestPicture> pictures = {
      MakeTestPicture("wide", 300, 200, 1, 2), MakeTestPicture("tall", 90, 700, 3, 4),
      MakeTestPicture("large", 1100, 1030, 5, 6), MakeTestPicture("small", 7, 5, 7, 8)};
  std::vector<std::pair<std::string, const ShellClassId*>> inputs;
  for (const TestPicture& picture : pictures) {
    WriteBytes(folder + picture.name + ".QKZ", QkzFileOf(picture));
    inputs.emplace_back(picture.name + ".QKZ", &kPictureThumbnail);
  }
  WriteBytes(folder + "lower.qkz", QkzFileOf(pictures[1]));
  inputs.emplace_back("lower.qkz", &kPictureThumbnail);
  for (const char* layout : {"offset-table", "named-entry"}) {
    ASSERT_EQ(RunKorvo({"pack", "--layout", layout, "-o", folder + layout + ".cg", folder + "large.QKZ",
                        folder + "wide.QKZ"}).status, 0);
    inputs.emplace_back(std::string(layout) + ".cg", &kArchiveThumbnail);
  }
  for (const auto& [input, id] : inputs) {
    const Bytes bytes = ReadBytes(folder + input);
    for (UINT cx : {32u, 96u, 256u, 1024u}) {
      SCOPED_TRACE(input + " at " + std::to_string(cx));
      const RunResult run = RunKorvo({"thumbnail", folder + input, folder + "t.png", "--size", std::to_string(cx)});
      ASSERT_EQ(run.status, 0) << run.err;
      uint32_t width = 0, height = 0;
      const Bytes expected = ReadPngThroughWic(folder + "t.png", &width, &height);
      ASSERT_FALSE(expected.empty());
      for (IStream* stream : {FileStream(folder + input), MemoryStream(bytes)}) {
        ASSERT_NE(stream, nullptr);
        const ShellPicture got = ThumbnailThroughShell(*id, stream, cx);
        EXPECT_EQ(stream->Release(), 0u);  // the provider let go of it
        ASSERT_EQ(got.result, S_OK);
        EXPECT_EQ(got.alpha, WTSAT_RGB);
        EXPECT_EQ(got.bitsPerPixel, 32);
        EXPECT_EQ(got.width, width);
        EXPECT_EQ(got.height, height);
        EXPECT_TRUE(got.rgb == expected);
      }
      if (cx != 96) continue;
      // A stream handing over a few bytes a read, as a network stream may.
      TestStream chunked;
      ServeBytes(&chunked, bytes);
      chunked.chunk = 7;
      const ShellPicture got = ThumbnailThroughShell(*id, &chunked, cx);
      ASSERT_EQ(got.result, S_OK);
      EXPECT_TRUE(got.rgb == expected);
      EXPECT_EQ(chunked.references, 1);
    }
  }
  EXPECT_EQ(Shell().canUnloadNow(), S_OK);
}

// An archive of 1,000 pictures of 640x480 (308 MB), served without being
// held: its thumbnail reads its directory, one entry's head and rows, and
// little more, never the archive. The directory costs what the extractor's
// parse reads: its table through a 64 KiB window and each entry's width and
// height (or stored header), not its whole head.
TEST(ShellExtension, AnArchivesThumbnailReadsOnePictureNotTheArchive) {
  constexpr uint32_t kWidth = 640, kHeight = 480, kCount = 1000;
  const QkzTriples palette = ContentOf(MakeTestPicture("p", 1, 1, 1, 1)).palette;
  // Only the bytes that are not rows are kept; rows read as zeros.
  std::map<uint64_t, Bytes> pieces;
  auto keep = [&pieces](uint64_t at, const uint8_t* data, size_t count) {
    pieces[at] = Bytes(data, data + count);
    return true;
  };
  for (const char* layout : {"offset-table", "named-entry"}) {
    SCOPED_TRACE(layout);
    pieces.clear();
    korvo::ArchiveStream archive;
    uint64_t end = 0;
    korvo::ArchiveSink sink;
    sink.append = [&](const uint8_t* data, size_t count) {
      if (count < 4096) keep(end, data, count);
      end += count;
      return true;
    };
    sink.rewrite = [&](uint64_t at, const uint8_t* data, size_t count) { return keep(at, data, count); };
    const Bytes rows(size_t{kWidth} * kHeight, 0);
    const bool named = std::string(layout) == "named-entry";
    std::vector<std::string> names = {"Palette"};
    for (uint32_t i = 0; i < kCount; ++i) names.push_back("p" + std::to_string(i));
    ASSERT_TRUE(named ? korvo::StartNamedEntryArchive(sink, names, &archive)
                      : korvo::StartOffsetTableArchive(sink, kCount, &archive));
    if (named) {
      ASSERT_TRUE(korvo::StartEntry(&archive));
      ASSERT_TRUE(korvo::AppendNamedEntryHead(&archive, 0, 0, palette.data()));
    }
    for (uint32_t i = 0; i < kCount; ++i) {
      ASSERT_TRUE(korvo::StartEntry(&archive));
      if (named)
        ASSERT_TRUE(korvo::AppendNamedEntryHead(&archive, kWidth, kHeight, nullptr));
      else
        ASSERT_TRUE(korvo::AppendToArchive(&archive, korvo::QkzHeadOf(kWidth, kHeight, palette)));
      ASSERT_TRUE(korvo::AppendToArchive(&archive, rows));
    }
    ASSERT_TRUE(korvo::FinishArchive(&archive));
    ASSERT_GT(end, uint64_t{kCount} * kWidth * kHeight);
    TestStream stream;
    stream.size = end;
    stream.fill = [&pieces](uint64_t position, uint8_t* out, size_t count) {
      auto piece = pieces.upper_bound(position);
      if (piece != pieces.begin()) --piece;
      for (; piece != pieces.end() && piece->first < position + count; ++piece)
        for (size_t i = 0; i < piece->second.size(); ++i) {
          const uint64_t at = piece->first + i;
          if (at >= position && at < position + count) out[at - position] = piece->second[i];
        }
    };
    const ShellPicture got = ThumbnailThroughShell(kArchiveThumbnail, &stream, 256);
    ASSERT_EQ(got.result, S_OK);
    EXPECT_EQ(got.width, 256u);
    EXPECT_EQ(got.height, 192u);
    EXPECT_LE(stream.bytesRead, uint64_t{kWidth} * kHeight + (1u << 17));
    std::printf("%s: %llu bytes read of %llu\n", layout, static_cast<unsigned long long>(stream.bytesRead),
                static_cast<unsigned long long>(end));
    EXPECT_EQ(stream.references, 1);
  }
}

// Hostile and damaged input: each a failing HRESULT, no bitmap, and the
// stream released as often as it was taken.
TEST(ShellExtension, HostileStreamsFailWithoutLeaking) {
  const TestPicture picture = MakeTestPicture("p", 40, 30, 1, 2);
  const Bytes file = QkzFileOf(picture);
  const QkzTriples palette = ContentOf(picture).palette;
  Bytes huge = korvo::QkzHeadOf(65535, 65535, palette);  // claims 4 GiB of rows
  Bytes pastEnd = korvo::BuildOffsetTableArchive({file});
  pastEnd[4] = 0xFF;  // the first entry's position, far past the end
  korvo::NamedEntry paletteEntry;
  paletteEntry.name = "Palette";
  paletteEntry.ownPalette = true;
  paletteEntry.palette = palette;
  const std::string shader = "void main() { gl_FragColor = vec4(1.0); }\n";
  constexpr HRESULT kNotShown = static_cast<HRESULT>(0x8004B200L);  // WTS_E_FAILEDEXTRACTION
  struct Case {
    const char* name;
    const ShellClassId* id;
    Bytes bytes;
    uint64_t delivers, failAfter;
    HRESULT expected;
  } cases[] = {
      {"empty picture", &kPictureThumbnail, {}, UINT64_MAX, UINT64_MAX, kNotShown},
      {"head cut short", &kPictureThumbnail, Bytes(file.begin(), file.begin() + 1031), UINT64_MAX, UINT64_MAX, kNotShown},
      {"rows cut short", &kPictureThumbnail, Bytes(file.begin(), file.end() - 1), UINT64_MAX, UINT64_MAX, kNotShown},
      {"head claiming 4 GiB", &kPictureThumbnail, huge, UINT64_MAX, UINT64_MAX, kNotShown},
      {"width 0", &kPictureThumbnail, korvo::QkzHeadOf(0, 5, palette), UINT64_MAX, UINT64_MAX, kNotShown},
      {"archive of no entries", &kArchiveThumbnail, korvo::BuildOffsetTableArchive({}), UINT64_MAX, UINT64_MAX, kNotShown},
      {"archive of the Palette entry alone", &kArchiveThumbnail, korvo::BuildNamedEntryArchive({paletteEntry}),
       UINT64_MAX, UINT64_MAX, kNotShown},
      {"entry past the end", &kArchiveThumbnail, pastEnd, UINT64_MAX, UINT64_MAX, kNotShown},
      {"shader source named .cg", &kArchiveThumbnail, Bytes(shader.begin(), shader.end()), UINT64_MAX, UINT64_MAX,
       kNotShown},
      {"picture whose stream ends early", &kPictureThumbnail, file, 2000, UINT64_MAX, STG_E_READFAULT},
      {"archive whose stream ends early", &kArchiveThumbnail, korvo::BuildOffsetTableArchive({file}), 1500,
       UINT64_MAX, STG_E_READFAULT},
      {"picture whose reads fail", &kPictureThumbnail, file, UINT64_MAX, 0, STG_E_READFAULT},
      {"picture whose rows fail", &kPictureThumbnail, file, UINT64_MAX, 1032, STG_E_READFAULT},
      {"archive whose reads fail", &kArchiveThumbnail, korvo::BuildOffsetTableArchive({file}), UINT64_MAX, 8,
       STG_E_READFAULT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestStream stream;
    ServeBytes(&stream, c.bytes);
    stream.delivers = c.delivers;
    stream.failAfter = c.failAfter;
    const ShellPicture got = ThumbnailThroughShell(*c.id, &stream, 256);
    EXPECT_EQ(got.result, c.expected);
    EXPECT_EQ(stream.references, 1);
  }
  EXPECT_EQ(Shell().canUnloadNow(), S_OK);
}

// The preview handler as the preview pane drives it: a stream, a site, the
// pane's window and rectangle, DoPreview; then the pixels its window paints
// (through WM_PRINTCLIENT, as a screenshot would read them), before and
// after the pane changes size.
struct PaneRender {
  uint32_t width = 0, height = 0;
  Bytes rgb;
};

// A window's client area: as the window draws it when asked to print it
// (WM_PRINTCLIENT, no display needed), or as the screen shows it.
PaneRender CaptureWindow(HWND window, bool fromScreen) {
  PaneRender render;
  RECT client;
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  render.width = static_cast<uint32_t>(client.right);
  render.height = static_cast<uint32_t>(client.bottom);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  HGDIOBJ old = SelectObject(dc, bitmap);
  if (fromScreen)
    BitBlt(dc, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
  else
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  render.rgb = RgbOfBitmap(bitmap, render.width, render.height);
  DeleteObject(bitmap);
  return render;
}

PaneRender RenderWindow(HWND window) { return CaptureWindow(window, false); }

// What the screen shows of a window's client area.
PaneRender ScreenOf(HWND window) { return CaptureWindow(window, true); }

// A 24-bit BMP file of a render, for a screenshot to look at.
Bytes BmpOf(const PaneRender& render) {
  const uint32_t stride = korvo::RowStride(render.width, 24), pixels = stride * render.height;
  constexpr uint32_t kHead = korvo::kBmpFileHeaderSize + korvo::kBitmapInfoHeaderSize;
  Bytes file(kHead + size_t{pixels}, 0);
  korvo::WriteBmpFileHeader(korvo::kBitmapInfoHeaderSize, pixels, file.data());
  korvo::WriteBitmapInfoHeader(render.width, render.height, 24, pixels, file.data() + korvo::kBmpFileHeaderSize);
  for (uint32_t y = 0; y < render.height; ++y)
    for (uint32_t x = 0; x < render.width; ++x)
      for (int c = 0; c < 3; ++c)
        file[kHead + size_t{render.height - 1 - y} * stride + 3 * x + static_cast<size_t>(c)] =
            render.rgb[3 * (size_t{y} * render.width + x) + 2 - static_cast<size_t>(c)];
  return file;
}

// What a pane of width x height shows of a picture drawn at `scale` times
// its size, centred, on the window colour.
Bytes ExpectedPane(const TestPicture& picture, uint32_t scale, uint32_t width, uint32_t height) {
  const Bytes rgb = RgbOf(ContentOf(picture));
  const COLORREF background = GetSysColor(COLOR_WINDOW);
  const uint32_t left = (width - scale * picture.width) / 2, top = (height - scale * picture.height) / 2;
  Bytes pane;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      if (x < left || y < top || x >= left + scale * picture.width || y >= top + scale * picture.height) {
        pane.insert(pane.end(), {GetRValue(background), GetGValue(background), GetBValue(background)});
        continue;
      }
      const uint8_t* pixel = rgb.data() + 3 * (size_t{(y - top) / scale} * picture.width + (x - left) / scale);
      pane.insert(pane.end(), pixel, pixel + 3);
    }
  return pane;
}

TEST(ShellExtension, PreviewShowsThePictureFittedToThePaneAndRedrawsOnResize) {
  ASSERT_NE(Shell().getClassObject, nullptr) << DllPath();
  const TestPicture picture = MakeTestPicture("p", 40, 30, 4, 5);
  korvo::NamedEntry paletteEntry, entry;
  paletteEntry.name = "Palette";
  paletteEntry.ownPalette = true;
  paletteEntry.palette = ContentOf(picture).palette;
  entry.name = "first";
  entry.width = picture.width;
  entry.height = picture.height;
  entry.rows = picture.rows;
  struct Case {
    const char* name;
    const ShellClassId* id;
    Bytes bytes;
  } cases[] = {{"picture", &kPicturePreview, QkzFileOf(picture)},
               {"named-entry archive", &kArchivePreview, korvo::BuildNamedEntryArchive({paletteEntry, entry})},
               {"offset-table archive", &kArchivePreview, korvo::BuildOffsetTableArchive({QkzFileOf(picture)})}};
  // The pane: as large as the picture, twice as large, and wider than it.
  struct Pane {
    RECT area;
    uint32_t scale;
  } panes[] = {{{0, 0, 40, 30}, 1}, {{0, 0, 80, 60}, 2}, {{0, 0, 100, 30}, 1}, {{0, 0, 320, 240}, 8}};
  HWND parent = CreateWindowExW(0, L"STATIC", L"KORVO preview", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 340,
                                nullptr, nullptr, nullptr, nullptr);
  if (parent == nullptr) GTEST_SKIP() << "Wine has no display here (tests/shell_display.sh runs this under Xvfb)";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IPreviewHandler* handler = nullptr;
    ASSERT_EQ(CreateShellObject(*c.id, __uuidof(IPreviewHandler), reinterpret_cast<void**>(&handler)), S_OK);
    IInitializeWithStream* initialise = nullptr;
    IObjectWithSite* withSite = nullptr;
    IOleWindow* oleWindow = nullptr;
    ASSERT_EQ(handler->QueryInterface(__uuidof(IInitializeWithStream), reinterpret_cast<void**>(&initialise)), S_OK);
    ASSERT_EQ(handler->QueryInterface(__uuidof(IObjectWithSite), reinterpret_cast<void**>(&withSite)), S_OK);
    ASSERT_EQ(handler->QueryInterface(__uuidof(IOleWindow), reinterpret_cast<void**>(&oleWindow)), S_OK);
    TestStream stream, site;
    ServeBytes(&stream, c.bytes);
    EXPECT_EQ(initialise->Initialize(&stream, STGM_READ), S_OK);
    EXPECT_EQ(withSite->SetSite(&site), S_OK);
    EXPECT_EQ(site.references, 2);
    EXPECT_EQ(handler->SetWindow(parent, &panes[0].area), S_OK);
    ASSERT_EQ(handler->DoPreview(), S_OK);
    HWND shown = nullptr;
    ASSERT_EQ(oleWindow->GetWindow(&shown), S_OK);
    EXPECT_TRUE(IsChild(parent, shown));
    for (const Pane& pane : panes) {
      const uint32_t width = static_cast<uint32_t>(pane.area.right), height = static_cast<uint32_t>(pane.area.bottom);
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
      EXPECT_EQ(handler->SetRect(&pane.area), S_OK);
      const PaneRender render = RenderWindow(shown);
      ASSERT_EQ(render.width, width);
      ASSERT_EQ(render.height, height);
      EXPECT_TRUE(render.rgb == ExpectedPane(picture, pane.scale, width, height));
    }
    // On the screen, as the user sees it (the last pane's size).
    UpdateWindow(shown);
    const PaneRender screen = ScreenOf(shown);
    EXPECT_TRUE(screen.rgb == ExpectedPane(picture, 8, 320, 240));
    const char* screenshot = std::getenv("KORVO_PREVIEW_SCREENSHOT");
    if (screenshot != nullptr && *screenshot != '\0' && c.id == &kPicturePreview)
      WriteBytes(screenshot, BmpOf(screen));
    EXPECT_EQ(handler->Unload(), S_OK);
    EXPECT_FALSE(IsWindow(shown));
    EXPECT_EQ(stream.references, 1);
    EXPECT_EQ(withSite->SetSite(nullptr), S_OK);
    EXPECT_EQ(site.references, 1);
    oleWindow->Release();
    withSite->Release();
    initialise->Release();
    EXPECT_EQ(handler->Release(), 0u);
  }
  // A damaged picture shows nothing and makes no window.
  IPreviewHandler* handler = nullptr;
  ASSERT_EQ(CreateShellObject(kPicturePreview, __uuidof(IPreviewHandler), reinterpret_cast<void**>(&handler)), S_OK);
  IInitializeWithStream* initialise = nullptr;
  ASSERT_EQ(handler->QueryInterface(__uuidof(IInitializeWithStream), reinterpret_cast<void**>(&initialise)), S_OK);
  TestStream stream;
  const Bytes file = QkzFileOf(picture);
  const Bytes cut(file.begin(), file.begin() + 1100);
  ServeBytes(&stream, cut);
  EXPECT_EQ(initialise->Initialize(&stream, STGM_READ), S_OK);
  EXPECT_EQ(handler->SetWindow(parent, &panes[0].area), S_OK);
  EXPECT_EQ(handler->DoPreview(), static_cast<HRESULT>(0x8004B200L));
  initialise->Release();
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_EQ(stream.references, 1);
  DestroyWindow(parent);
  EXPECT_EQ(Shell().canUnloadNow(), S_OK);
}

// Registration through regsvr32, for the machine (HKLM) and for the user
// alone (HKCU, /n /i:user): every key and value it adds, compared with a
// snapshot of both Software\Classes trees and both lists of preview
// handlers taken before, must be exactly ours; unregistering must bring
// both back to the snapshot.
using RegistryDump = std::map<std::wstring, std::wstring>;  // key|value -> type:data

void DumpKey(HKEY root, const std::wstring& path, RegistryDump* dump) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  (*dump)[path + L"\\"] = L"";
  std::vector<std::wstring> subkeys;
  wchar_t name[512];
  for (DWORD i = 0;; ++i) {
    DWORD length = 512;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.emplace_back(name, length);
  }
  std::vector<BYTE> data(65536);
  for (DWORD i = 0;; ++i) {
    DWORD length = 512, type = 0, bytes = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key, i, name, &length, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS) break;
    std::wstring text = std::to_wstring(type) + L":";
    if (type == REG_SZ)
      text += std::wstring(reinterpret_cast<const wchar_t*>(data.data()), wcsnlen(reinterpret_cast<const wchar_t*>(data.data()), bytes / 2));
    else
      text += std::to_wstring(bytes) + L" bytes";
    (*dump)[path + L"|" + std::wstring(name, length)] = text;
  }
  RegCloseKey(key);
  for (const std::wstring& subkey : subkeys) DumpKey(root, path + L"\\" + subkey, dump);
}

const wchar_t* const kPreviewHandlers = L"Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers";

RegistryDump Snapshot() {
  RegistryDump dump;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    RegistryDump part;
    DumpKey(root, L"Software\\Classes\\CLSID", &part);
    DumpKey(root, L"Software\\Classes\\.qkz", &part);
    DumpKey(root, L"Software\\Classes\\.cg", &part);
    DumpKey(root, kPreviewHandlers, &part);
    for (const auto& [name, value] : part) dump[(root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\") + name] = value;
  }
  return dump;
}

// Entries in `after` that are not in `before` with the same value.
RegistryDump Added(const RegistryDump& before, const RegistryDump& after) {
  RegistryDump added;
  for (const auto& [name, value] : after) {
    auto found = before.find(name);
    if (found == before.end() || found->second != value) added[name] = value;
  }
  return added;
}

std::string Narrow(const std::wstring& wide) {
  std::string text;
  for (wchar_t c : wide) text += c < 128 ? static_cast<char>(c) : '?';
  return text;
}

std::string Listing(const RegistryDump& dump) {
  std::string text;
  for (const auto& [name, value] : dump) text += Narrow(name) + " = " + Narrow(value) + "\n";
  return text;
}

// Our keys and values, less those that were there already (the containers
// CLSID and PreviewHandlers, where they exist).
RegistryDump ExpectedKeys(const wchar_t* root, const RegistryDump& before) {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(Shell().module, path, MAX_PATH + 1);
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  const std::wstring classes = std::wstring(root) + L"\\Software\\Classes\\";
  RegistryDump expected;
  for (const ShellClassId& id : kClasses) {
    const std::wstring key = classes + L"CLSID\\" + id.text;
    expected[classes + L"CLSID\\"] = L"";
    expected[key + L"\\"] = L"";
    expected[key + L"|"] = L"1:" + WideOf(id.name);
    expected[key + L"\\InprocServer32\\"] = L"";
    expected[key + L"\\InprocServer32|"] = std::wstring(L"1:") + path;
    expected[key + L"\\InprocServer32|ThreadingModel"] = L"1:Apartment";
    const std::wstring extension = classes + id.extension;
    expected[extension + L"\\"] = L"";
    expected[extension + L"\\ShellEx\\"] = L"";
    const std::wstring handler = extension + L"\\ShellEx\\" +
        (id.preview ? L"{8895b1c6-b41f-4c1c-a562-0d564250836f}" : L"{e357fccd-a995-4576-b01f-234630154e96}");
    expected[handler + L"\\"] = L"";
    expected[handler + L"|"] = std::wstring(L"1:") + id.text;
    if (id.preview) {
      expected[key + L"|AppID"] = wow64 ? L"1:{534A1E02-D58F-44f0-B58B-36CBED287C7C}"
                                        : L"1:{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}";
      expected[std::wstring(root) + L"\\" + kPreviewHandlers + L"\\"] = L"";
      expected[std::wstring(root) + L"\\" + kPreviewHandlers + L"|" + id.text] = L"1:" + WideOf(id.name);
    }
  }
  for (const auto& [name, value] : before) {
    auto found = expected.find(name);
    if (found != expected.end() && found->second == value) expected.erase(found);
  }
  return expected;
}

TEST(ShellExtension, RegistrationWritesExactlyItsKeysAndRemovesThem) {
  ASSERT_NE(Shell().module, nullptr) << DllPath();
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  char program[MAX_PATH * 3];
  WideCharToMultiByte(CP_UTF8, 0, (std::wstring(system) + L"\\regsvr32.exe").c_str(), -1, program, sizeof program,
                      nullptr, nullptr);
  struct Case {
    const char* name;
    std::vector<std::string> install, uninstall;
    const wchar_t* root;
  } cases[] = {{"machine", {"/s", DllPath()}, {"/s", "/u", DllPath()}, L"HKLM"},
               {"user", {"/s", "/n", "/i:user", DllPath()}, {"/s", "/u", "/n", "/i:user", DllPath()}, L"HKCU"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunProgram(program, c.uninstall);  // what an interrupted run left behind
    const RegistryDump before = Snapshot();
    ASSERT_EQ(RunProgram(program, c.install).status, 0);
    const RegistryDump registered = Snapshot();
    EXPECT_EQ(Listing(Added(before, registered)), Listing(ExpectedKeys(c.root, before)));
    EXPECT_TRUE(Added(registered, before).empty()) << "changed or removed:\n" << Listing(Added(registered, before));
    ASSERT_EQ(RunProgram(program, c.uninstall).status, 0);
    const RegistryDump unregistered = Snapshot();
    EXPECT_EQ(Listing(Added(before, unregistered)), "");
    EXPECT_EQ(Listing(Added(unregistered, before)), "");
  }
}

}  // namespace
