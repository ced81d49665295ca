#include "apo/kestrune_apo_win32.h"

#include <new>

#include "apo/apo_log_win32.h"
#include "apo/media_type_win32.h"
#include "apo/module_win32.h"

namespace kestrune {

namespace {

constexpr APO_REG_PROPERTIES makeRegProperties() {
  APO_REG_PROPERTIES r{};
  r.clsid = kEffectClsid;
  r.Flags = static_cast<APO_FLAG>(APO_FLAG_INPLACE | APO_FLAG_DEFAULT);
  const wchar_t name[] = L"Kestrune";
  for (std::size_t i = 0; i < sizeof(name) / sizeof(name[0]); ++i) r.szFriendlyName[i] = name[i];
  const wchar_t info[] = L"Orvantis footstep enhancement";
  for (std::size_t i = 0; i < sizeof(info) / sizeof(info[0]); ++i) r.szCopyrightInfo[i] = info[i];
  r.u32MajorVersion = 1;
  r.u32MinorVersion = 0;
  r.u32MinInputConnections = 1;
  r.u32MaxInputConnections = 1;
  r.u32MinOutputConnections = 1;
  r.u32MaxOutputConnections = 1;
  r.u32MaxInstances = 0xFFFFFFFF;
  r.u32NumAPOInterfaces = 1;
  r.iidAPOInterfaceList[0] = IID_IAudioProcessingObject;
  return r;
}

constexpr APO_REG_PROPERTIES kRegProperties = makeRegProperties();

}  // namespace

const APO_REG_PROPERTIES& effectRegProperties() { return kRegProperties; }

HRESULT KestruneApo::Inner::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  IUnknown* answer = nullptr;
  if (IsEqualIID(riid, IID_IUnknown)) {
    *ppv = this;
    AddRef();
    return S_OK;
  }
  if (IsEqualIID(riid, IID_IAudioProcessingObject))
    answer = static_cast<IAudioProcessingObject*>(owner_);
  else if (IsEqualIID(riid, IID_IAudioProcessingObjectRT))
    answer = static_cast<IAudioProcessingObjectRT*>(owner_);
  else if (IsEqualIID(riid, IID_IAudioProcessingObjectConfiguration))
    answer = static_cast<IAudioProcessingObjectConfiguration*>(owner_);
  else if (IsEqualIID(riid, IID_IAudioSystemEffects) || IsEqualIID(riid, IID_IAudioSystemEffects2))
    answer = static_cast<IAudioSystemEffects2*>(owner_);
  if (!answer) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  *ppv = answer;
  // Through the interface, so an aggregated object counts on its outer one.
  answer->AddRef();
  return S_OK;
}

ULONG KestruneApo::Inner::AddRef() { return ++refs_; }

ULONG KestruneApo::Inner::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete owner_;
  return left;
}

KestruneApo::KestruneApo(IUnknown* outer)
    : CBaseAudioProcessingObject(&kRegProperties),
      inner_(this),
      controlling_(outer ? outer : &inner_),
      watcher_(engine_) {
  moduleObjectCreated();
}

KestruneApo::~KestruneApo() {
  watcher_.stop();
  watcher_.releaseViews();
  moduleObjectDestroyed();
}

HRESULT KestruneApo::QueryInterface(REFIID riid, void** ppv) {
  return controlling_->QueryInterface(riid, ppv);
}
ULONG KestruneApo::AddRef() { return controlling_->AddRef(); }
ULONG KestruneApo::Release() { return controlling_->Release(); }

HRESULT KestruneApo::GetLatency(HNSTIME* pTime) {
  if (!pTime) return E_POINTER;
  *pTime = 0;
  if (engine_.active()) {
    const LONGLONG rate = static_cast<int>(engine_.sampleRate());
    if (rate > 0) *pTime = static_cast<LONGLONG>(engine_.latencyFrames()) * 10000000 / rate;
  }
  return S_OK;
}

HRESULT KestruneApo::Initialize(UINT32 cbDataSize, BYTE* pbyData) {
  if (cbDataSize != 0 && !pbyData) return E_POINTER;
  apoLog("Initialize cb=%u", cbDataSize);
  m_bIsInitialized = true;
  return S_OK;
}

HRESULT KestruneApo::LockForProcess(UINT32 inputCount, APO_CONNECTION_DESCRIPTOR** inputs,
                                    UINT32 outputCount, APO_CONNECTION_DESCRIPTOR** outputs) {
  HRESULT hr = CBaseAudioProcessingObject::LockForProcess(inputCount, inputs, outputCount, outputs);
  if (FAILED(hr)) {
    apoLog("LockForProcess base failed 0x%08lx", static_cast<unsigned long>(hr));
    return hr;
  }
  UNCOMPRESSEDAUDIOFORMAT format{};
  hr = inputs[0]->pFormat->GetUncompressedAudioFormat(&format);
  if (FAILED(hr)) {
    // Leave the object lockable again, as if the lock had never started.
    CBaseAudioProcessingObject::UnlockForProcess();
    return hr;
  }
  StreamFormat stream;
  stream.channels = format.dwSamplesPerFrame;
  stream.sampleRate = format.fFramesPerSecond;
  stream.bytesPerSample = format.dwBytesPerSampleContainer;
  stream.isFloat = IsEqualGUID(format.guidFormatType, kSubtypeIeeeFloat) != 0;
  const UINT32 maxFrames = inputs[0]->u32MaxFrameCount;

  const std::int32_t initialSelector = readSelectorNow();
  bool built = false;
  try {
    built = engine_.setup(stream, maxFrames, initialSelector);
  } catch (...) {
    // Nothing may escape into the audio engine; running out of memory is
    // the only way set-up can fail.
    built = false;
  }
  apoLog("LockForProcess ch=%u rate=%.0f bytes=%u float=%d maxFrames=%u -> %s",
         static_cast<unsigned>(stream.channels), stream.sampleRate,
         static_cast<unsigned>(stream.bytesPerSample), stream.isFloat ? 1 : 0,
         static_cast<unsigned>(maxFrames), built && !engine_.active() ? "pass-through" : "ACTIVE");
  if (!built) {
    engine_.tearDown();
    // The audio engine does not start a stream whose lock failed; an object
    // left marked locked could never be locked again.
    CBaseAudioProcessingObject::UnlockForProcess();
    return E_OUTOFMEMORY;
  }
  lockedMaxFrames_ = maxFrames;
  watcher_.start();
  if (engine_.active())
    apoLog("locked: latency %d frames, source %d", static_cast<int>(engine_.latencyFrames()),
           static_cast<int>(engine_.currentSelector()));
  return S_OK;
}

void KestruneApo::APOProcess(UINT32 inputCount, APO_CONNECTION_PROPERTY** inputs,
                             UINT32 outputCount, APO_CONNECTION_PROPERTY** outputs) {
  if (inputCount < 1 || outputCount < 1 || !inputs || !outputs || !inputs[0] || !outputs[0]) return;
  const APO_CONNECTION_PROPERTY& in = *inputs[0];
  APO_CONNECTION_PROPERTY& out = *outputs[0];
  // The buffers hold the lock's maximum; more frames than that are the
  // caller's mistake, and reading or writing them would run past the buffers.
  const UINT32 frames =
      in.u32ValidFrameCount < lockedMaxFrames_ ? in.u32ValidFrameCount : lockedMaxFrames_;
  // Invalid input holds no sound (possibly not even numbers).
  const bool silent = in.u32BufferFlags == BUFFER_SILENT || in.u32BufferFlags == BUFFER_INVALID;
  out.u32ValidFrameCount = frames;
  const bool processed = engine_.process(reinterpret_cast<const float*>(in.pBuffer),
                                         reinterpret_cast<float*>(out.pBuffer), frames, silent);
  out.u32BufferFlags = processed ? BUFFER_VALID : in.u32BufferFlags;
}

HRESULT KestruneApo::UnlockForProcess() {
  apoLog("UnlockForProcess");
  watcher_.stop();
  watcher_.markIdleAndReleaseViews();
  engine_.tearDown();
  lockedMaxFrames_ = 0;
  return CBaseAudioProcessingObject::UnlockForProcess();
}

HRESULT KestruneApo::GetEffectsList(LPGUID* ppEffectsIds, UINT* pcEffects, HANDLE) {
  if (!ppEffectsIds || !pcEffects) return E_POINTER;
  *ppEffectsIds = nullptr;
  *pcEffects = 0;
  return S_OK;
}

}  // namespace kestrune
