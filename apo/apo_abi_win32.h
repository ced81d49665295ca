// Our own declarations of the audio engine's effect-object (APO) contract:
// interfaces in vtable slot order, the structures the engine passes, their
// IIDs and error codes. The SDK headers that carry them are not available to
// mingw, and mingw's audioapotypes.h is never included, so everything lives
// in our namespace. Sizes and offsets are checked at compile time (x64).
#pragma once

// windows.h first: the others build on its types.
// clang-format off
#include <windows.h>
#include <mmreg.h>
#include <unknwn.h>
// clang-format on

#include <cstddef>

namespace kestrune {

// 100-nanosecond units.
using HNSTIME = LONGLONG;

inline constexpr IID IID_IAudioProcessingObject = {
    0xFD7F2B29, 0x24D0, 0x4B5C, {0xB1, 0x77, 0x59, 0x2C, 0x39, 0xF9, 0xCA, 0x10}};
inline constexpr IID IID_IAudioProcessingObjectRT = {
    0x9E1D6A6D, 0xDDBC, 0x4E95, {0xA4, 0xC7, 0xAD, 0x64, 0xBA, 0x37, 0x84, 0x6C}};
inline constexpr IID IID_IAudioProcessingObjectConfiguration = {
    0x0E5ED805, 0xABA6, 0x49C3, {0x8F, 0x9A, 0x2B, 0x8C, 0x88, 0x9C, 0x4F, 0xA8}};
inline constexpr IID IID_IAudioSystemEffects = {
    0x5FA00F27, 0xADD6, 0x499A, {0x8A, 0x9D, 0x6B, 0x98, 0x52, 0x1F, 0xA7, 0x5B}};
inline constexpr IID IID_IAudioSystemEffects2 = {
    0xBAFE99D2, 0x7436, 0x44CE, {0x9E, 0x0E, 0x4D, 0x89, 0xAF, 0xBF, 0xFF, 0x56}};
inline constexpr IID IID_IAudioMediaType = {
    0x4E997F73, 0xB71F, 0x4798, {0x87, 0x3B, 0xED, 0x7D, 0xFC, 0xF1, 0x5B, 0x4D}};

inline constexpr GUID kSubtypeIeeeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// The effect's class id, {B3C1F6A2-5D4E-4F8A-9C7B-2E1D0A9F8C64}.
inline constexpr CLSID kEffectClsid = {
    0xB3C1F6A2, 0x5D4E, 0x4F8A, {0x9C, 0x7B, 0x2E, 0x1D, 0x0A, 0x9F, 0x8C, 0x64}};

// Facility 0x87D errors of the contract.
inline constexpr HRESULT APOERR_NOT_INITIALIZED = static_cast<HRESULT>(0x887D0002);
inline constexpr HRESULT APOERR_FORMAT_NOT_SUPPORTED = static_cast<HRESULT>(0x887D0003);
inline constexpr HRESULT APOERR_ALREADY_UNLOCKED = static_cast<HRESULT>(0x887D0006);
inline constexpr HRESULT APOERR_NUM_CONNECTIONS_INVALID = static_cast<HRESULT>(0x887D0007);
inline constexpr HRESULT APOERR_INVALID_OUTPUT_MAXFRAMECOUNT = static_cast<HRESULT>(0x887D0008);
inline constexpr HRESULT APOERR_INVALID_CONNECTION_FORMAT = static_cast<HRESULT>(0x887D0009);
inline constexpr HRESULT APOERR_APO_LOCKED = static_cast<HRESULT>(0x887D000A);

// 'ACDS' and 'ACPS', first character in the highest byte.
inline constexpr UINT32 APO_CONNECTION_DESCRIPTOR_SIGNATURE = 0x41434453;
inline constexpr UINT32 APO_CONNECTION_PROPERTY_SIGNATURE = 0x41435053;

enum APO_CONNECTION_BUFFER_TYPE : int {
  APO_CONNECTION_BUFFER_TYPE_ALLOCATED = 0,
  APO_CONNECTION_BUFFER_TYPE_EXTERNAL = 1,
  APO_CONNECTION_BUFFER_TYPE_DEPENDANT = 2,
};

enum APO_BUFFER_FLAGS : int {
  BUFFER_INVALID = 0,
  BUFFER_VALID = 1,
  BUFFER_SILENT = 2,
};

enum APO_FLAG : int {
  APO_FLAG_NONE = 0x0,
  APO_FLAG_INPLACE = 0x1,
  APO_FLAG_SAMPLESPERFRAME_MUST_MATCH = 0x2,
  APO_FLAG_FRAMESPERSECOND_MUST_MATCH = 0x4,
  APO_FLAG_BITSPERSAMPLE_MUST_MATCH = 0x8,
  APO_FLAG_DEFAULT = 0xE,
};

// IAudioMediaType::IsEqual flags; all three together mean "equal".
inline constexpr DWORD AUDIOMEDIATYPE_EQUAL_FORMAT_TYPES = 0x2;
inline constexpr DWORD AUDIOMEDIATYPE_EQUAL_FORMAT_DATA = 0x4;
inline constexpr DWORD AUDIOMEDIATYPE_EQUAL_FORMAT_USER_DATA = 0x8;

struct UNCOMPRESSEDAUDIOFORMAT {
  GUID guidFormatType;
  DWORD dwSamplesPerFrame;
  DWORD dwBytesPerSampleContainer;
  DWORD dwValidBitsPerSample;
  FLOAT fFramesPerSecond;
  DWORD dwChannelMask;
};

struct IAudioMediaType;

struct APO_CONNECTION_DESCRIPTOR {
  APO_CONNECTION_BUFFER_TYPE Type;
  UINT_PTR pBuffer;
  UINT32 u32MaxFrameCount;
  IAudioMediaType* pFormat;
  UINT32 u32Signature;
};

struct APO_CONNECTION_PROPERTY {
  UINT_PTR pBuffer;
  UINT32 u32ValidFrameCount;
  APO_BUFFER_FLAGS u32BufferFlags;
  UINT32 u32Signature;
};

// Declared with one list entry; u32NumAPOInterfaces entries actually follow.
struct APO_REG_PROPERTIES {
  CLSID clsid;
  APO_FLAG Flags;
  WCHAR szFriendlyName[256];
  WCHAR szCopyrightInfo[256];
  UINT32 u32MajorVersion;
  UINT32 u32MinorVersion;
  UINT32 u32MinInputConnections;
  UINT32 u32MaxInputConnections;
  UINT32 u32MinOutputConnections;
  UINT32 u32MaxOutputConnections;
  UINT32 u32MaxInstances;
  UINT32 u32NumAPOInterfaces;
  IID iidAPOInterfaceList[1];
};

// Interfaces: only the pure virtuals, in slot order after IUnknown's three.
struct IAudioMediaType : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL* pfCompressed) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsEqual(IAudioMediaType* pIAudioType, DWORD* pdwFlags) = 0;
  virtual const WAVEFORMATEX* STDMETHODCALLTYPE GetAudioFormat() = 0;
  virtual HRESULT STDMETHODCALLTYPE
  GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT* pUncompressedAudioFormat) = 0;
};

struct IAudioProcessingObject : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLatency(HNSTIME* pTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRegistrationProperties(APO_REG_PROPERTIES** ppRegProps) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(UINT32 cbDataSize, BYTE* pbyData) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  IsInputFormatSupported(IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedInputFormat,
                         IAudioMediaType** ppSupportedInputFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  IsOutputFormatSupported(IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedOutputFormat,
                          IAudioMediaType** ppSupportedOutputFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInputChannelCount(UINT32* pu32ChannelCount) = 0;
};

struct IAudioProcessingObjectRT : public IUnknown {
  virtual void STDMETHODCALLTYPE APOProcess(UINT32 u32NumInputConnections,
                                            APO_CONNECTION_PROPERTY** ppInputConnections,
                                            UINT32 u32NumOutputConnections,
                                            APO_CONNECTION_PROPERTY** ppOutputConnections) = 0;
  virtual UINT32 STDMETHODCALLTYPE CalcInputFrames(UINT32 u32OutputFrameCount) = 0;
  virtual UINT32 STDMETHODCALLTYPE CalcOutputFrames(UINT32 u32InputFrameCount) = 0;
};

struct IAudioProcessingObjectConfiguration : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE LockForProcess(
      UINT32 u32NumInputConnections, APO_CONNECTION_DESCRIPTOR** ppInputConnections,
      UINT32 u32NumOutputConnections, APO_CONNECTION_DESCRIPTOR** ppOutputConnections) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnlockForProcess() = 0;
};

// Marks the object as a system-effects APO; no methods of its own.
struct IAudioSystemEffects : public IUnknown {};

struct IAudioSystemEffects2 : public IAudioSystemEffects {
  virtual HRESULT STDMETHODCALLTYPE GetEffectsList(LPGUID* ppEffectsIds, UINT* pcEffects,
                                                   HANDLE Event) = 0;
};

static_assert(sizeof(void*) == 8, "the layouts below are the x64 ones");

static_assert(sizeof(UNCOMPRESSEDAUDIOFORMAT) == 36);
static_assert(alignof(UNCOMPRESSEDAUDIOFORMAT) == 4);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, dwSamplesPerFrame) == 16);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, dwBytesPerSampleContainer) == 20);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, dwValidBitsPerSample) == 24);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, fFramesPerSecond) == 28);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, dwChannelMask) == 32);

static_assert(sizeof(APO_CONNECTION_DESCRIPTOR) == 40);
static_assert(alignof(APO_CONNECTION_DESCRIPTOR) == 8);
static_assert(offsetof(APO_CONNECTION_DESCRIPTOR, pBuffer) == 8);
static_assert(offsetof(APO_CONNECTION_DESCRIPTOR, u32MaxFrameCount) == 16);
static_assert(offsetof(APO_CONNECTION_DESCRIPTOR, pFormat) == 24);
static_assert(offsetof(APO_CONNECTION_DESCRIPTOR, u32Signature) == 32);

static_assert(sizeof(APO_CONNECTION_PROPERTY) == 24);
static_assert(offsetof(APO_CONNECTION_PROPERTY, u32ValidFrameCount) == 8);
static_assert(offsetof(APO_CONNECTION_PROPERTY, u32BufferFlags) == 12);
static_assert(offsetof(APO_CONNECTION_PROPERTY, u32Signature) == 16);

static_assert(sizeof(APO_REG_PROPERTIES) == 1092);
static_assert(alignof(APO_REG_PROPERTIES) == 4);
static_assert(offsetof(APO_REG_PROPERTIES, Flags) == 16);
static_assert(offsetof(APO_REG_PROPERTIES, szFriendlyName) == 20);
static_assert(offsetof(APO_REG_PROPERTIES, szCopyrightInfo) == 532);
static_assert(offsetof(APO_REG_PROPERTIES, u32MajorVersion) == 1044);
static_assert(offsetof(APO_REG_PROPERTIES, u32MinInputConnections) == 1052);
static_assert(offsetof(APO_REG_PROPERTIES, u32MaxOutputConnections) == 1064);
static_assert(offsetof(APO_REG_PROPERTIES, u32MaxInstances) == 1068);
static_assert(offsetof(APO_REG_PROPERTIES, u32NumAPOInterfaces) == 1072);
static_assert(offsetof(APO_REG_PROPERTIES, iidAPOInterfaceList) == 1076);

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);

// Bytes of a registration record holding `interfaces` IIDs.
constexpr std::size_t regPropertiesBytes(UINT32 interfaces) {
  return offsetof(APO_REG_PROPERTIES, iidAPOInterfaceList) +
         sizeof(IID) * (interfaces ? interfaces : 1);
}

}  // namespace kestrune
