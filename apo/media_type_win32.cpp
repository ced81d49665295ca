#include "apo/media_type_win32.h"

#include <new>

namespace kestrune {

namespace {

bool sameFormat(const UNCOMPRESSEDAUDIOFORMAT& a, const UNCOMPRESSEDAUDIOFORMAT& b) {
  return IsEqualGUID(a.guidFormatType, b.guidFormatType) &&
         a.dwSamplesPerFrame == b.dwSamplesPerFrame &&
         a.dwBytesPerSampleContainer == b.dwBytesPerSampleContainer &&
         a.dwValidBitsPerSample == b.dwValidBitsPerSample &&
         a.fFramesPerSecond == b.fFramesPerSecond && a.dwChannelMask == b.dwChannelMask;
}

}  // namespace

AudioFormat toAudioFormat(const UNCOMPRESSEDAUDIOFORMAT& f) {
  AudioFormat out;
  out.isFloat = IsEqualGUID(f.guidFormatType, kSubtypeIeeeFloat) != 0;
  out.channels = f.dwSamplesPerFrame;
  out.containerBytes = f.dwBytesPerSampleContainer;
  out.validBits = f.dwValidBitsPerSample;
  out.framesPerSecond = f.fFramesPerSecond;
  out.channelMask = f.dwChannelMask;
  return out;
}

UNCOMPRESSEDAUDIOFORMAT toUncompressed(const AudioFormat& f) {
  UNCOMPRESSEDAUDIOFORMAT out{};
  out.guidFormatType = f.isFloat ? kSubtypeIeeeFloat : kSubtypePcm;
  out.dwSamplesPerFrame = f.channels;
  out.dwBytesPerSampleContainer = f.containerBytes;
  out.dwValidBitsPerSample = f.validBits;
  out.fFramesPerSecond = f.framesPerSecond;
  out.dwChannelMask = f.channelMask;
  return out;
}

MediaType::MediaType(const UNCOMPRESSEDAUDIOFORMAT& format) : format_(format), wave_{} {
  const DWORD rate = static_cast<DWORD>(static_cast<int>(format.fFramesPerSecond));
  const WORD blockAlign =
      static_cast<WORD>(format.dwSamplesPerFrame * format.dwBytesPerSampleContainer);
  wave_.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  wave_.Format.nChannels = static_cast<WORD>(format.dwSamplesPerFrame);
  wave_.Format.nSamplesPerSec = rate;
  wave_.Format.nBlockAlign = blockAlign;
  wave_.Format.nAvgBytesPerSec = rate * blockAlign;
  wave_.Format.wBitsPerSample = static_cast<WORD>(format.dwBytesPerSampleContainer * 8);
  wave_.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
  wave_.Samples.wValidBitsPerSample = static_cast<WORD>(format.dwValidBitsPerSample);
  wave_.dwChannelMask = format.dwChannelMask;
  wave_.SubFormat = format.guidFormatType;
}

HRESULT MediaType::create(const UNCOMPRESSEDAUDIOFORMAT& format, IAudioMediaType** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) MediaType(format);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT MediaType::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IAudioMediaType)) {
    *ppv = static_cast<IAudioMediaType*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG MediaType::AddRef() { return ++refs_; }

ULONG MediaType::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT MediaType::IsCompressedFormat(BOOL* pfCompressed) {
  if (!pfCompressed) return E_POINTER;
  *pfCompressed = FALSE;
  return S_OK;
}

HRESULT MediaType::IsEqual(IAudioMediaType* other, DWORD* pdwFlags) {
  if (!pdwFlags) return E_POINTER;
  *pdwFlags = 0;
  if (!other) return E_POINTER;
  UNCOMPRESSEDAUDIOFORMAT theirs{};
  const HRESULT hr = other->GetUncompressedAudioFormat(&theirs);
  if (FAILED(hr)) return hr;
  if (!sameFormat(format_, theirs)) return S_FALSE;
  *pdwFlags = AUDIOMEDIATYPE_EQUAL_FORMAT_TYPES | AUDIOMEDIATYPE_EQUAL_FORMAT_DATA |
              AUDIOMEDIATYPE_EQUAL_FORMAT_USER_DATA;
  return S_OK;
}

const WAVEFORMATEX* MediaType::GetAudioFormat() { return &wave_.Format; }

HRESULT MediaType::GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT* out) {
  if (!out) return E_POINTER;
  *out = format_;
  return S_OK;
}

}  // namespace kestrune
