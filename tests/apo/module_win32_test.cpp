// The effect module as COM sees it: exports, class factory, aggregation,
// unload rule, registration through CoCreateInstance, vtable slots.
#include <gtest/gtest.h>

#include "tests/apo/apo_host_win32.h"

namespace kestrune::test {
namespace {

std::wstring guidText(const GUID& g) {
  wchar_t text[64];
  ::StringFromGUID2(g, text, 64);
  return text;
}

TEST(ApoModule, ExportsExactlyTheTwoComEntryPoints) {
  ApoModule& m = ApoModule::get();
  ASSERT_NE(m.module, nullptr);
  EXPECT_NE(m.getClassObject, nullptr);
  EXPECT_NE(m.canUnloadNow, nullptr);

  auto* base = reinterpret_cast<BYTE*>(m.module);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  ASSERT_EQ(exports->NumberOfNames, 2u);
  auto* names = reinterpret_cast<DWORD*>(base + exports->AddressOfNames);
  EXPECT_STREQ(reinterpret_cast<char*>(base + names[0]), "DllCanUnloadNow");
  EXPECT_STREQ(reinterpret_cast<char*>(base + names[1]), "DllGetClassObject");
}

TEST(ApoModule, InterfaceIdsAreTheContractsOwn) {
  const struct {
    const GUID& id;
    const wchar_t* text;
  } cases[] = {
      {IID_IAudioProcessingObject, L"{FD7F2B29-24D0-4B5C-B177-592C39F9CA10}"},
      {IID_IAudioProcessingObjectRT, L"{9E1D6A6D-DDBC-4E95-A4C7-AD64BA37846C}"},
      {IID_IAudioProcessingObjectConfiguration, L"{0E5ED805-ABA6-49C3-8F9A-2B8C889C4FA8}"},
      {IID_IAudioSystemEffects, L"{5FA00F27-ADD6-499A-8A9D-6B98521FA75B}"},
      {IID_IAudioSystemEffects2, L"{BAFE99D2-7436-44CE-9E0E-4D89AFBFFF56}"},
      {IID_IAudioMediaType, L"{4E997F73-B71F-4798-873B-ED7DFCF15B4D}"},
      {kSubtypeIeeeFloat, L"{00000003-0000-0010-8000-00AA00389B71}"},
      {kEffectClsid, kEffectClsidTextW},
  };
  for (const auto& c : cases) EXPECT_EQ(guidText(c.id), c.text);
}

TEST(ApoModule, GetClassObjectAnswersOnlyOurClass) {
  GetClassObjectFn get = ApoModule::get().getClassObject;
  ASSERT_NE(get, nullptr);
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(get(IID_IUnknown, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(get(IID_IUnknown, IID_IClassFactory, nullptr), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(get(kEffectClsid, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(get(kEffectClsid, IID_IAudioProcessingObject, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);

  IClassFactory* a = nullptr;
  IUnknown* b = nullptr;
  ASSERT_EQ(get(kEffectClsid, IID_IClassFactory, reinterpret_cast<void**>(&a)), S_OK);
  ASSERT_EQ(get(kEffectClsid, IID_IUnknown, reinterpret_cast<void**>(&b)), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(a), b);
  // The static factory does not count.
  EXPECT_EQ(a->AddRef(), 2u);
  EXPECT_EQ(a->Release(), 1u);
  EXPECT_EQ(a->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(a->QueryInterface(IID_IAudioProcessingObject, reinterpret_cast<void**>(&b)),
            E_NOINTERFACE);
  EXPECT_EQ(b, nullptr);
}

TEST(ApoModule, CreateInstanceChecksPointerAndInterface) {
  ComPtr<IClassFactory> factory = apoFactory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IAudioProcessingObject, nullptr), E_POINTER);
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(ApoModule::get().canUnloadNow(), S_OK) << "a failed query destroys the new object";

  const IID* answered[] = {&IID_IUnknown,
                           &IID_IAudioProcessingObject,
                           &IID_IAudioProcessingObjectRT,
                           &IID_IAudioProcessingObjectConfiguration,
                           &IID_IAudioSystemEffects,
                           &IID_IAudioSystemEffects2};
  for (const IID* iid : answered) {
    ComPtr<IUnknown> object;
    EXPECT_EQ(factory->CreateInstance(nullptr, *iid, object.putVoid()), S_OK) << guidText(*iid);
  }
  ComPtr<IUnknown> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.putVoid()), S_OK);
  ComPtr<IUnknown> fx1 = queryAs<IUnknown>(object.get(), IID_IAudioSystemEffects);
  ComPtr<IUnknown> fx2 = queryAs<IUnknown>(object.get(), IID_IAudioSystemEffects2);
  EXPECT_EQ(fx1.get(), fx2.get());
  EXPECT_EQ(object->QueryInterface(IID_IAudioMediaType, reinterpret_cast<void**>(&p)),
            E_NOINTERFACE);
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

// Counts references so the test can see where an aggregated object's
// interfaces send theirs.
class OuterObject : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    ++queries;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
  int queries = 0;
};

TEST(ApoModule, AggregatedObjectForwardsToItsOuterObject) {
  ComPtr<IClassFactory> factory = apoFactory();
  ASSERT_TRUE(factory);
  OuterObject outer;
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IAudioProcessingObject, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);

  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  EXPECT_EQ(ApoModule::get().canUnloadNow(), S_FALSE);
  IAudioProcessingObject* apo = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IAudioProcessingObject, reinterpret_cast<void**>(&apo)),
            S_OK);
  EXPECT_EQ(outer.refs, 2u) << "the inner query adds its reference through the outer object";
  apo->AddRef();
  EXPECT_EQ(outer.refs, 3u);
  apo->Release();
  apo->Release();
  EXPECT_EQ(outer.refs, 1u);
  void* q = nullptr;
  EXPECT_EQ(apo->QueryInterface(IID_IAudioProcessingObjectRT, &q), E_NOINTERFACE);
  EXPECT_EQ(outer.queries, 1);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(ApoModule::get().canUnloadNow(), S_OK);
}

TEST(ApoModule, CanUnloadOnlyWithoutObjectsAndServerLocks) {
  CanUnloadNowFn canUnload = ApoModule::get().canUnloadNow;
  ComPtr<IClassFactory> factory = apoFactory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(canUnload(), S_OK);
  {
    Apo a = Apo::create();
    ASSERT_TRUE(a.apo);
    EXPECT_EQ(canUnload(), S_FALSE);
    ComPtr<IAudioProcessingObjectRT> rt = a.rt;
    a.apo.reset();
    a.config.reset();
    a.rt.reset();
    EXPECT_EQ(canUnload(), S_FALSE) << "one interface still holds the object";
  }
  EXPECT_EQ(canUnload(), S_OK);
  factory->LockServer(TRUE);
  factory->LockServer(TRUE);
  EXPECT_EQ(canUnload(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(canUnload(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(canUnload(), S_OK);
}

TEST(ApoModule, ObjectReleasedWhileLockedLetsTheModuleUnload) {
  ScopedSettings settings;
  // A private copy, so that unloading it leaves the shared module alone.
  const std::wstring copy = binDir() + L"KestruneApo_unload.dll";
  ASSERT_TRUE(::CopyFileW((binDir() + L"KestruneApo.dll").c_str(), copy.c_str(), FALSE));
  HMODULE module = ::LoadLibraryW(copy.c_str());
  ASSERT_NE(module, nullptr);
  auto get = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
  auto canUnload = reinterpret_cast<CanUnloadNowFn>(
      reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(get(kEffectClsid, IID_IClassFactory, factory.putVoid()), S_OK);
    ComPtr<IAudioProcessingObject> created;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IAudioProcessingObject, created.putVoid()),
              S_OK);
    Apo a = Apo::adopt(created);
    created.reset();
    Connections c(floatFormat(2, 48000.0f), 480);
    ASSERT_EQ(c.lock(a.config.get()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
  }  // released without an unlock: the object stops its own watcher
  EXPECT_EQ(canUnload(), S_OK);
  ASSERT_TRUE(::FreeLibrary(module));
  EXPECT_EQ(::GetModuleHandleW(copy.c_str()), nullptr);
  // A watcher left running would wake within a second into unmapped code.
  ::Sleep(1100);
  ::DeleteFileW(copy.c_str());
}

// Calls through raw vtable slots, as the audio engine's compiled code does,
// so a declaration out of order cannot hide behind matching names.
template <typename Fn>
Fn slot(void* object, int index) {
  return reinterpret_cast<Fn>((*static_cast<void***>(object))[index]);
}

TEST(ApoModule, MethodsSitInTheContractsVtableSlots) {
  Apo a = Apo::create(false);
  ASSERT_TRUE(a.apo);
  void* apo = a.apo.get();
  UINT32 channels = 7;
  EXPECT_EQ(slot<HRESULT(__stdcall*)(void*, UINT32*)>(apo, 9)(apo, &channels),
            APOERR_NOT_INITIALIZED);
  EXPECT_EQ(slot<HRESULT(__stdcall*)(void*, UINT32, BYTE*)>(apo, 6)(apo, 0, nullptr), S_OK);
  EXPECT_EQ(slot<HRESULT(__stdcall*)(void*, UINT32*)>(apo, 9)(apo, &channels), S_OK);
  EXPECT_EQ(channels, 0u);
  HNSTIME latency = -1;
  EXPECT_EQ(slot<HRESULT(__stdcall*)(void*, HNSTIME*)>(apo, 4)(apo, &latency), S_OK);
  EXPECT_EQ(latency, 0);
  EXPECT_EQ(slot<HRESULT(__stdcall*)(void*)>(apo, 3)(apo), S_OK);

  void* rt = a.rt.get();
  EXPECT_EQ(slot<UINT32(__stdcall*)(void*, UINT32)>(rt, 4)(rt, 480), 480u);
  EXPECT_EQ(slot<UINT32(__stdcall*)(void*, UINT32)>(rt, 5)(rt, 441), 441u);

  void* config = a.config.get();
  EXPECT_EQ(slot<HRESULT(__stdcall*)(void*)>(config, 4)(config), APOERR_ALREADY_UNLOCKED);

  ComPtr<IAudioSystemEffects2> fx =
      queryAs<IAudioSystemEffects2>(a.apo.get(), IID_IAudioSystemEffects2);
  ASSERT_TRUE(fx);
  GUID* ids = reinterpret_cast<GUID*>(1);
  UINT count = 9;
  void* fxp = fx.get();
  EXPECT_EQ(
      slot<HRESULT(__stdcall*)(void*, GUID**, UINT*, HANDLE)>(fxp, 3)(fxp, &ids, &count, nullptr),
      S_OK);
  EXPECT_EQ(ids, nullptr);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(fx->GetEffectsList(nullptr, &count, nullptr), E_POINTER);
  EXPECT_EQ(fx->GetEffectsList(&ids, nullptr, nullptr), E_POINTER);

  ComPtr<IAudioMediaType> type = mediaType(floatFormat(2, 44100.0f));
  void* tp = type.get();
  auto* wave = slot<const WAVEFORMATEX*(__stdcall*)(void*)>(tp, 5)(tp);
  ASSERT_NE(wave, nullptr);
  EXPECT_EQ(wave->nSamplesPerSec, 44100u);
}

}  // namespace
}  // namespace kestrune::test
