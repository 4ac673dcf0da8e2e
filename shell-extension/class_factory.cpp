// The class factory of each class, found by its class id.
#include <new>

#include "shell-extension/shell_classes.h"

namespace korvo {
namespace {

struct ClassFactory final : IClassFactory {
  LONG references = 1;
  const ShellClass* shellClass;

  explicit ClassFactory(const ShellClass* served) : shellClass(served) { ObjectCreated(); }
  ~ClassFactory() { ObjectDestroyed(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != __uuidof(IUnknown) && iid != __uuidof(IClassFactory)) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override {
    return static_cast<ULONG>(InterlockedIncrement(&references));
  }
  STDMETHODIMP_(ULONG) Release() noexcept override {
    const LONG left = InterlockedDecrement(&references);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return shellClass->preview ? CreatePreviewHandler(shellClass->input, iid, object)
                               : CreateThumbnailProvider(shellClass->input, iid, object);
  }
  STDMETHODIMP LockServer(BOOL lock) noexcept override {
    ServerLocked(lock != FALSE);
    return S_OK;
  }
};

}  // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (const ShellClass& shellClass : kShellClasses) {
    if (clsid != shellClass.clsid) continue;
    ClassFactory* factory = new (std::nothrow) ClassFactory(&shellClass);
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace korvo

