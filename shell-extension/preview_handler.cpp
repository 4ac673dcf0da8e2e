// IPreviewHandler for the shell's preview pane, with IInitializeWithStream,
// IObjectWithSite and IOleWindow as its preview host asks for them: a child
// window of the pane that shows the picture (an archive's first one) fitted
// to it, aspect kept, and redraws when the pane changes size.
#include <new>

#include <ocidl.h>
#include <propsys.h>
#include <shobjidl.h>

#include "shell-extension/preview_window.h"
#include "shell-extension/shell_classes.h"
#include "shell-extension/shell_result.h"
#include "shell-extension/stream_source.h"

namespace korvo {
namespace {

// The picture is decoded once, no larger than this a side, and scaled to
// the pane when painted: enough for any pane without holding a huge picture.
constexpr uint32_t kPreviewSize = 2048;

struct PreviewHandler final : IPreviewHandler, IInitializeWithStream, IObjectWithSite, IOleWindow {
  LONG references = 1;
  ShellInput input;
  IStream* stream = nullptr;
  IUnknown* site = nullptr;
  IPreviewHandlerFrame* frame = nullptr;
  HWND parent = nullptr;
  RECT bounds = {};
  PreviewPicture picture;
  HWND window = nullptr;

  explicit PreviewHandler(ShellInput kind) : input(kind) { ObjectCreated(); }
  ~PreviewHandler() {
    Unload();
    SetSite(nullptr);
    ObjectDestroyed();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override {
    return AnswerInterface<IPreviewHandler, IInitializeWithStream, IObjectWithSite, IOleWindow>(this, iid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return AddReference(&references); }
  STDMETHODIMP_(ULONG) Release() noexcept override { return ReleaseReference(this); }

  // IInitializeWithStream: kept until Unload.
  STDMETHODIMP Initialize(IStream* given, DWORD) noexcept override {
    return KeepStream(given, &stream);
  }

  // IObjectWithSite: the preview host's frame, for its keyboard shortcuts.
  STDMETHODIMP SetSite(IUnknown* given) noexcept override {
    if (frame != nullptr) frame->Release();
    if (site != nullptr) site->Release();
    frame = nullptr;
    site = given;
    if (site == nullptr) return S_OK;
    site->AddRef();
    if (FAILED(site->QueryInterface(__uuidof(IPreviewHandlerFrame), reinterpret_cast<void**>(&frame))))
      frame = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetSite(REFIID iid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    return site == nullptr ? E_FAIL : site->QueryInterface(iid, object);
  }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* shown) noexcept override {
    if (shown == nullptr) return E_INVALIDARG;
    *shown = window;
    return window == nullptr ? E_FAIL : S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }

  // IPreviewHandler
  STDMETHODIMP SetWindow(HWND given, const RECT* area) noexcept override {
    if (given == nullptr || area == nullptr) return E_INVALIDARG;
    parent = given;
    bounds = *area;
    if (window != nullptr) {
      SetParent(window, parent);
      PlacePreviewWindow(window, bounds);
    }
    return S_OK;
  }
  STDMETHODIMP SetRect(const RECT* area) noexcept override {
    if (area == nullptr) return E_INVALIDARG;
    bounds = *area;
    if (window != nullptr) PlacePreviewWindow(window, bounds);
    return S_OK;
  }
  STDMETHODIMP DoPreview() noexcept override {
    if (stream == nullptr || parent == nullptr) return E_UNEXPECTED;
    if (window != nullptr) return S_OK;
    StreamSource source;
    HRESULT result = OpenStreamSource(stream, &source);
    if (FAILED(result)) return result;
    result = ShellResultOf(LoadPreviewPicture(source.source, input, kPreviewSize, &picture), source);
    if (FAILED(result)) return result;
    window = CreatePreviewWindow(parent, bounds, &picture);
    return window == nullptr ? HRESULT_FROM_WIN32(GetLastError()) : S_OK;
  }
  STDMETHODIMP Unload() noexcept override {
    if (window != nullptr) DestroyWindow(window);
    window = nullptr;
    picture = PreviewPicture();
    if (stream != nullptr) stream->Release();
    stream = nullptr;
    return S_OK;
  }
  STDMETHODIMP SetFocus() noexcept override {
    if (window != nullptr) ::SetFocus(window);
    return S_OK;
  }
  STDMETHODIMP QueryFocus(HWND* focused) noexcept override {
    if (focused == nullptr) return E_INVALIDARG;
    *focused = GetFocus();
    return *focused == nullptr ? S_FALSE : S_OK;
  }
  STDMETHODIMP TranslateAccelerator(MSG* message) noexcept override {
    return frame != nullptr ? frame->TranslateAccelerator(message) : S_FALSE;
  }
};

}  // namespace

HRESULT CreatePreviewHandler(ShellInput input, REFIID iid, void** object) noexcept {
  return NewObject<PreviewHandler>(iid, object, input);
}

}  // namespace korvo
