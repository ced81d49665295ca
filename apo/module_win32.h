// The effect module's COM server: the class factory, the module-wide
// counters and what the two exports answer.
#pragma once

#include "apo/apo_abi_win32.h"

namespace kestrune {

// Module counters, changed with atomic increments from any thread.
void moduleObjectCreated();
void moduleObjectDestroyed();

// What DllGetClassObject answers: the static factory for our class id.
HRESULT moduleGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// S_FALSE while an object lives or a LockServer(TRUE) is unbalanced.
HRESULT moduleCanUnloadNow();

// The class factory: one static object, no reference counting.
class Factory final : public IClassFactory {
 public:
  static Factory& instance();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
};

}  // namespace kestrune
