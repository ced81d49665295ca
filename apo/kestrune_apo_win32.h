// KestruneApo: the effect object the audio engine creates, negotiates with,
// locks, calls on its real-time thread and unlocks. It wraps one EffectEngine
// and one SettingsWatcher and can be aggregated (Inner is its
// non-delegating IUnknown).
#pragma once

#include <atomic>

#include "apo/apo_abi_win32.h"
#include "apo/base_apo_win32.h"
#include "apo/dsp/effect_engine.h"
#include "apo/settings_watcher_win32.h"

namespace kestrune {

// The one registration record of the class.
const APO_REG_PROPERTIES& effectRegProperties();

class KestruneApo final : public CBaseAudioProcessingObject, public IAudioSystemEffects2 {
 public:
  // Non-delegating IUnknown: owns the object's reference count (starts at 1)
  // and answers the object's interfaces.
  class Inner final : public IUnknown {
   public:
    explicit Inner(KestruneApo* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    KestruneApo* owner_;
    std::atomic<ULONG> refs_{1};
  };

  // `outer` aggregates the object when given. Counts as a live object until
  // destroyed by the last Inner::Release.
  explicit KestruneApo(IUnknown* outer);

  IUnknown* inner() { return &inner_; }

  // Every interface but Inner forwards to the controlling unknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetLatency(HNSTIME* pTime) override;
  HRESULT STDMETHODCALLTYPE Initialize(UINT32 cbDataSize, BYTE* pbyData) override;
  HRESULT STDMETHODCALLTYPE LockForProcess(
      UINT32 u32NumInputConnections, APO_CONNECTION_DESCRIPTOR** ppInputConnections,
      UINT32 u32NumOutputConnections, APO_CONNECTION_DESCRIPTOR** ppOutputConnections) override;
  HRESULT STDMETHODCALLTYPE UnlockForProcess() override;
  // [rt] Allocates nothing, takes no lock, logs nothing. A call is cut to
  // the frames the lock's buffers hold, and input marked invalid plays as
  // silence.
  void STDMETHODCALLTYPE APOProcess(UINT32 u32NumInputConnections,
                                    APO_CONNECTION_PROPERTY** ppInputConnections,
                                    UINT32 u32NumOutputConnections,
                                    APO_CONNECTION_PROPERTY** ppOutputConnections) override;
  HRESULT STDMETHODCALLTYPE GetEffectsList(LPGUID* ppEffectsIds, UINT* pcEffects,
                                           HANDLE Event) override;

  ~KestruneApo() override;

 private:
  Inner inner_;
  IUnknown* controlling_;  // the outer object, or inner_
  EffectEngine engine_;
  SettingsWatcher watcher_;
  // The connection buffers' frame capacity, 0 while unlocked. [config]
  // writes it at lock and unlock, while no processing call runs; [rt] reads.
  UINT32 lockedMaxFrames_ = 0;
};

}  // namespace kestrune
