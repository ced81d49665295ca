// MediaType: the IAudioMediaType that format negotiation hands back as its
// suggestion, and that tests use to play the audio engine's side.
#pragma once

#include <atomic>

#include "apo/apo_abi_win32.h"
#include "apo/dsp/format_negotiation.h"

namespace kestrune {

class MediaType final : public IAudioMediaType {
 public:
  // Creates an object with one reference; E_POINTER for a null out pointer,
  // E_OUTOFMEMORY when allocation fails. Any thread but the real-time one.
  static HRESULT create(const UNCOMPRESSEDAUDIOFORMAT& format, IAudioMediaType** out);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL* pfCompressed) override;
  HRESULT STDMETHODCALLTYPE IsEqual(IAudioMediaType* pIAudioType, DWORD* pdwFlags) override;
  const WAVEFORMATEX* STDMETHODCALLTYPE GetAudioFormat() override;
  HRESULT STDMETHODCALLTYPE GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT* out) override;

 private:
  explicit MediaType(const UNCOMPRESSEDAUDIOFORMAT& format);
  ~MediaType() = default;

  std::atomic<ULONG> refs_{1};
  UNCOMPRESSEDAUDIOFORMAT format_;
  WAVEFORMATEXTENSIBLE wave_;
};

// Conversions between the contract's structure and the platform-free rules.
AudioFormat toAudioFormat(const UNCOMPRESSEDAUDIOFORMAT& format);
UNCOMPRESSEDAUDIOFORMAT toUncompressed(const AudioFormat& format);

}  // namespace kestrune
