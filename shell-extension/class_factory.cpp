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
    return AnswerInterface<IClassFactory>(this, iid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return AddReference(&references); }
  STDMETHODIMP_(ULONG) Release() noexcept override { return ReleaseReference(this); }

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
    if (clsid == shellClass.clsid) return NewObject<ClassFactory>(iid, object, &shellClass);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace korvo

