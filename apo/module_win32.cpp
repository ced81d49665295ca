#include "apo/module_win32.h"

#include <atomic>
#include <new>

#include "apo/apo_log_win32.h"
#include "apo/kestrune_apo_win32.h"

namespace kestrune {

namespace {

std::atomic<std::int32_t> liveObjects{0};
std::atomic<std::int32_t> serverLocks{0};

}  // namespace

void moduleObjectCreated() { ++liveObjects; }
void moduleObjectDestroyed() { --liveObjects; }

HRESULT moduleCanUnloadNow() {
  return liveObjects.load() != 0 || serverLocks.load() != 0 ? S_FALSE : S_OK;
}

HRESULT moduleGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!IsEqualCLSID(rclsid, kEffectClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return Factory::instance().QueryInterface(riid, ppv);
}

Factory& Factory::instance() {
  static Factory factory;
  return factory;
}

HRESULT Factory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT Factory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  apoLog("CreateInstance aggregated=%d", outer ? 1 : 0);
  if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  KestruneApo* apo = new (std::nothrow) KestruneApo(outer);
  if (!apo) return E_OUTOFMEMORY;
  IUnknown* inner = apo->inner();
  // The query holds the caller's reference; dropping the creation reference
  // then destroys the object when the query failed.
  const HRESULT hr = inner->QueryInterface(riid, ppv);
  inner->Release();
  return hr;
}

HRESULT Factory::LockServer(BOOL lock) {
  if (lock)
    ++serverLocks;
  else
    --serverLocks;
  return S_OK;
}

}  // namespace kestrune
