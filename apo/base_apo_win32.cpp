#include "apo/base_apo_win32.h"

#include <cstring>

#include "apo/dsp/format_negotiation.h"
#include "apo/media_type_win32.h"
#include "common/handles_win32.h"

namespace kestrune {

namespace {

class CriticalSectionGuard {
 public:
  explicit CriticalSectionGuard(CRITICAL_SECTION& cs) : cs_(cs) { ::EnterCriticalSection(&cs_); }
  ~CriticalSectionGuard() { ::LeaveCriticalSection(&cs_); }
  CriticalSectionGuard(const CriticalSectionGuard&) = delete;
  CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

 private:
  CRITICAL_SECTION& cs_;
};

HRESULT formatOf(const APO_CONNECTION_DESCRIPTOR* d, AudioFormat& out) {
  UNCOMPRESSEDAUDIOFORMAT f{};
  const HRESULT hr = d->pFormat->GetUncompressedAudioFormat(&f);
  if (FAILED(hr)) return hr;
  out = toAudioFormat(f);
  return S_OK;
}

}  // namespace

CBaseAudioProcessingObject::CBaseAudioProcessingObject(const APO_REG_PROPERTIES* regProperties)
    : m_pRegProperties(regProperties) {
  ::InitializeCriticalSection(&m_CritSec);
}

CBaseAudioProcessingObject::~CBaseAudioProcessingObject() { ::DeleteCriticalSection(&m_CritSec); }

HRESULT CBaseAudioProcessingObject::Reset() { return S_OK; }

HRESULT CBaseAudioProcessingObject::GetLatency(HNSTIME* pTime) {
  if (!pTime) return E_POINTER;
  *pTime = 0;
  return S_OK;
}

HRESULT CBaseAudioProcessingObject::GetRegistrationProperties(APO_REG_PROPERTIES** ppRegProps) {
  if (!ppRegProps) return E_POINTER;
  *ppRegProps = nullptr;
  const std::size_t bytes = regPropertiesBytes(m_pRegProperties->u32NumAPOInterfaces);
  auto* copy = static_cast<APO_REG_PROPERTIES*>(::CoTaskMemAlloc(bytes));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, m_pRegProperties, bytes);
  *ppRegProps = copy;
  return S_OK;
}

HRESULT CBaseAudioProcessingObject::Initialize(UINT32 cbDataSize, BYTE* pbyData) {
  if (cbDataSize != 0 && !pbyData) return E_POINTER;
  m_bIsInitialized = true;
  return S_OK;
}

HRESULT CBaseAudioProcessingObject::IsInputFormatSupported(IAudioMediaType* opposite,
                                                           IAudioMediaType* requested,
                                                           IAudioMediaType** supported) {
  return IsFormatTypeSupported(opposite, requested, supported, true);
}

HRESULT CBaseAudioProcessingObject::IsOutputFormatSupported(IAudioMediaType* opposite,
                                                            IAudioMediaType* requested,
                                                            IAudioMediaType** supported) {
  return IsFormatTypeSupported(opposite, requested, supported, false);
}

HRESULT CBaseAudioProcessingObject::IsFormatTypeSupported(IAudioMediaType* opposite,
                                                          IAudioMediaType* requested,
                                                          IAudioMediaType** supported,
                                                          bool isInput) {
  if (!supported || !requested) return E_POINTER;

  UNCOMPRESSEDAUDIOFORMAT requestedFormat{};
  HRESULT hr = requested->GetUncompressedAudioFormat(&requestedFormat);
  if (FAILED(hr)) return hr;
  UNCOMPRESSEDAUDIOFORMAT oppositeFormat{};
  if (opposite) {
    hr = opposite->GetUncompressedAudioFormat(&oppositeFormat);
    if (FAILED(hr)) return hr;
    if (!ValidateDefaultAPOFormat(oppositeFormat, !isInput)) return APOERR_FORMAT_NOT_SUPPORTED;
  }

  const AudioFormat oppositeRules = toAudioFormat(oppositeFormat);
  AudioFormat suggestion;
  const FormatVerdict verdict =
      negotiateFormat(toAudioFormat(requestedFormat), opposite ? &oppositeRules : nullptr,
                      static_cast<std::uint32_t>(m_pRegProperties->Flags), suggestion);
  if (verdict == FormatVerdict::kOppositeInvalid) return APOERR_FORMAT_NOT_SUPPORTED;
  if (verdict == FormatVerdict::kAccepted) {
    requested->AddRef();
    *supported = requested;
    return S_OK;
  }
  hr = MediaType::create(toUncompressed(suggestion), supported);
  return FAILED(hr) ? hr : S_FALSE;
}

bool CBaseAudioProcessingObject::ValidateDefaultAPOFormat(UNCOMPRESSEDAUDIOFORMAT& format, bool) {
  return formatAllowed(toAudioFormat(format));
}

HRESULT CBaseAudioProcessingObject::GetInputChannelCount(UINT32* pu32ChannelCount) {
  if (!pu32ChannelCount) return E_POINTER;
  if (!m_bIsInitialized) return APOERR_NOT_INITIALIZED;
  *pu32ChannelCount = m_u32SamplesPerFrame;
  return S_OK;
}

UINT32 CBaseAudioProcessingObject::CalcInputFrames(UINT32 u32OutputFrameCount) {
  return u32OutputFrameCount;
}

UINT32 CBaseAudioProcessingObject::CalcOutputFrames(UINT32 u32InputFrameCount) {
  return u32InputFrameCount;
}

HRESULT CBaseAudioProcessingObject::ValidateAndCacheConnectionInfo(UINT32,
                                                                   APO_CONNECTION_DESCRIPTOR**,
                                                                   UINT32,
                                                                   APO_CONNECTION_DESCRIPTOR**) {
  return S_OK;
}

HRESULT CBaseAudioProcessingObject::lockChecks(UINT32 inputCount,
                                               APO_CONNECTION_DESCRIPTOR** inputs,
                                               UINT32 outputCount,
                                               APO_CONNECTION_DESCRIPTOR** outputs) {
  if (!inputs || !outputs) return E_POINTER;
  const APO_REG_PROPERTIES& reg = *m_pRegProperties;
  if (inputCount < reg.u32MinInputConnections || inputCount > reg.u32MaxInputConnections ||
      outputCount < reg.u32MinOutputConnections || outputCount > reg.u32MaxOutputConnections)
    return APOERR_NUM_CONNECTIONS_INVALID;
  // Each descriptor is looked at only once the counts are known to be sane,
  // so a wild count cannot walk off the caller's arrays.
  for (UINT32 i = 0; i < inputCount; ++i)
    if (!inputs[i] || !inputs[i]->pFormat) return E_POINTER;
  for (UINT32 i = 0; i < outputCount; ++i)
    if (!outputs[i] || !outputs[i]->pFormat) return E_POINTER;
  for (UINT32 i = 0; i < inputCount; ++i)
    if (inputs[i]->u32Signature != APO_CONNECTION_DESCRIPTOR_SIGNATURE) return E_INVALIDARG;
  for (UINT32 i = 0; i < outputCount; ++i)
    if (outputs[i]->u32Signature != APO_CONNECTION_DESCRIPTOR_SIGNATURE) return E_INVALIDARG;

  const std::uint32_t flags = static_cast<std::uint32_t>(reg.Flags);
  for (UINT32 i = 0; i < inputCount; ++i) {
    AudioFormat in;
    HRESULT hr = formatOf(inputs[i], in);
    if (FAILED(hr)) return hr;
    for (UINT32 o = 0; o < outputCount; ++o) {
      AudioFormat out;
      hr = formatOf(outputs[o], out);
      if (FAILED(hr)) return hr;
      if (!formatsMatch(in, out, flags)) return APOERR_INVALID_CONNECTION_FORMAT;
      if (!formatAllowed(in) || !formatAllowed(out)) return APOERR_FORMAT_NOT_SUPPORTED;
      if (outputs[o]->u32MaxFrameCount < inputs[i]->u32MaxFrameCount)
        return APOERR_INVALID_OUTPUT_MAXFRAMECOUNT;
    }
  }
  return S_OK;
}

HRESULT CBaseAudioProcessingObject::LockForProcess(UINT32 inputCount,
                                                   APO_CONNECTION_DESCRIPTOR** inputs,
                                                   UINT32 outputCount,
                                                   APO_CONNECTION_DESCRIPTOR** outputs) {
  CriticalSectionGuard guard(m_CritSec);
  if (m_bIsLocked) return APOERR_APO_LOCKED;
  HRESULT hr = lockChecks(inputCount, inputs, outputCount, outputs);
  if (FAILED(hr)) return hr;
  hr = ValidateAndCacheConnectionInfo(inputCount, inputs, outputCount, outputs);
  if (FAILED(hr)) return hr;
  AudioFormat first;
  if (inputCount > 0 && SUCCEEDED(formatOf(inputs[0], first)))
    m_u32SamplesPerFrame = first.channels;
  m_bIsLocked = true;
  return S_OK;
}

HRESULT CBaseAudioProcessingObject::UnlockForProcess() {
  CriticalSectionGuard guard(m_CritSec);
  if (!m_bIsLocked) return APOERR_ALREADY_UNLOCKED;
  m_bIsLocked = false;
  return S_OK;
}

}  // namespace kestrune
