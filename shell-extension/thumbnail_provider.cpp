// IThumbnailProvider with IInitializeWithStream: the thumbnail of a QKZ
// picture or of an archive's first picture as a 32-bit DIB section.
#include <new>

#include <propsys.h>
#include <thumbcache.h>

#include "shell-extension/shell_classes.h"
#include "shell-extension/shell_result.h"
#include "shell-extension/stream_source.h"

namespace korvo {
namespace {

struct ThumbnailProvider final : IInitializeWithStream, IThumbnailProvider {
  LONG references = 1;
  ShellInput input;
  IStream* stream = nullptr;

  explicit ThumbnailProvider(ShellInput kind) : input(kind) { ObjectCreated(); }
  ~ThumbnailProvider() {
    if (stream != nullptr) stream->Release();
    ObjectDestroyed();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override {
    return AnswerInterface<IInitializeWithStream, IThumbnailProvider>(this, iid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return AddReference(&references); }
  STDMETHODIMP_(ULONG) Release() noexcept override { return ReleaseReference(this); }

  // The shell hands the stream over once; it is read only in GetThumbnail.
  STDMETHODIMP Initialize(IStream* given, DWORD) noexcept override {
    return KeepStream(given, &stream);
  }

  STDMETHODIMP GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) noexcept override {
    if (bitmap == nullptr || alpha == nullptr) return E_POINTER;
    *bitmap = nullptr;
    *alpha = WTSAT_UNKNOWN;
    if (stream == nullptr) return E_UNEXPECTED;
    if (cx == 0) return E_INVALIDARG;
    StreamSource source;
    HRESULT result = OpenStreamSource(stream, &source);
    if (FAILED(result)) return result;
    Thumbnail thumbnail;
    result = ShellResultOf(ShellThumbnail(source.source, input, cx, &thumbnail), source);
    if (FAILED(result)) return result;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(thumbnail.width);
    info.bmiHeader.biHeight = -static_cast<LONG>(thumbnail.height);  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP made = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (made == nullptr || bits == nullptr) {
      if (made != nullptr) DeleteObject(made);
      return E_OUTOFMEMORY;
    }
    BgraPixels(thumbnail, static_cast<uint8_t*>(bits));
    *bitmap = made;
    *alpha = WTSAT_RGB;
    return S_OK;
  }
};

}  // namespace

HRESULT CreateThumbnailProvider(ShellInput input, REFIID iid, void** object) noexcept {
  return NewObject<ThumbnailProvider>(iid, object, input);
}

}  // namespace korvo
