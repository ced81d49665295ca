// CBaseAudioProcessingObject: our replacement for the SDK's base class of an
// effect object (the SDK ships it only as MSVC libraries). It carries the
// three APO interfaces, the format rules, the lock checks and the registration
// copy; the subclass supplies IUnknown and APOProcess.
#pragma once

#include "apo/apo_abi_win32.h"

namespace kestrune {

class CBaseAudioProcessingObject : public IAudioProcessingObject,
                                   public IAudioProcessingObjectRT,
                                   public IAudioProcessingObjectConfiguration {
 public:
  // Keeps the pointer; the record must outlive the object. Not initialised,
  // not locked.
  explicit CBaseAudioProcessingObject(const APO_REG_PROPERTIES* regProperties);

  // IAudioProcessingObject [config].
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE GetLatency(HNSTIME* pTime) override;
  // A copy of the record in CoTaskMemAlloc memory; the caller frees it.
  HRESULT STDMETHODCALLTYPE GetRegistrationProperties(APO_REG_PROPERTIES** ppRegProps) override;
  HRESULT STDMETHODCALLTYPE Initialize(UINT32 cbDataSize, BYTE* pbyData) override;
  // S_OK with the request itself, S_FALSE with a suggested MediaType, or
  // APOERR_FORMAT_NOT_SUPPORTED (out pointer untouched) when the opposite
  // format itself breaks the rules.
  HRESULT STDMETHODCALLTYPE
  IsInputFormatSupported(IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedInputFormat,
                         IAudioMediaType** ppSupportedInputFormat) override;
  HRESULT STDMETHODCALLTYPE
  IsOutputFormatSupported(IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedOutputFormat,
                          IAudioMediaType** ppSupportedOutputFormat) override;
  // APOERR_NOT_INITIALIZED before Initialize, else the channels of the last lock.
  HRESULT STDMETHODCALLTYPE GetInputChannelCount(UINT32* pu32ChannelCount) override;

  // Declared here so that they follow GetInputChannelCount in the primary
  // vtable, where the SDK class has them (no COM caller uses those slots).
  virtual ~CBaseAudioProcessingObject();

 protected:
  // Called by the lock after every check passed; a failure fails the lock.
  virtual HRESULT ValidateAndCacheConnectionInfo(UINT32 u32NumInputConnections,
                                                 APO_CONNECTION_DESCRIPTOR** ppInputConnections,
                                                 UINT32 u32NumOutputConnections,
                                                 APO_CONNECTION_DESCRIPTOR** ppOutputConnections);
  // Whether a format is one the object takes (float 4/32 within range).
  virtual bool ValidateDefaultAPOFormat(UNCOMPRESSEDAUDIOFORMAT& format, bool isInput);

 public:
  // IAudioProcessingObjectRT [rt]: one frame in, one frame out.
  UINT32 STDMETHODCALLTYPE CalcInputFrames(UINT32 u32OutputFrameCount) override;
  UINT32 STDMETHODCALLTYPE CalcOutputFrames(UINT32 u32InputFrameCount) override;

  // IAudioProcessingObjectConfiguration [config], under the critical section.
  HRESULT STDMETHODCALLTYPE LockForProcess(
      UINT32 u32NumInputConnections, APO_CONNECTION_DESCRIPTOR** ppInputConnections,
      UINT32 u32NumOutputConnections, APO_CONNECTION_DESCRIPTOR** ppOutputConnections) override;
  HRESULT STDMETHODCALLTYPE UnlockForProcess() override;

 protected:
  HRESULT IsFormatTypeSupported(IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedFormat,
                                IAudioMediaType** ppSupportedFormat, bool isInput);

  bool m_bIsLocked = false;
  bool m_bIsInitialized = false;
  const APO_REG_PROPERTIES* m_pRegProperties;
  CRITICAL_SECTION m_CritSec;
  UINT32 m_u32SamplesPerFrame = 0;  // channels of the last lock

 private:
  HRESULT lockChecks(UINT32 inputCount, APO_CONNECTION_DESCRIPTOR** inputs, UINT32 outputCount,
                     APO_CONNECTION_DESCRIPTOR** outputs);
};

}  // namespace kestrune
