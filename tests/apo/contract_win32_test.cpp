// The effect object's contract with the audio engine: initialisation, format
// negotiation, the lock checks and their codes, latency, unlock.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/apo/apo_host_win32.h"

namespace kestrune::test {
namespace {

TEST(ApoContract, RegistrationPropertiesAreACopyInTaskMemory) {
  Apo a = Apo::create();
  ASSERT_TRUE(a.apo);
  EXPECT_EQ(a.apo->GetRegistrationProperties(nullptr), E_POINTER);
  APO_REG_PROPERTIES* props = nullptr;
  ASSERT_EQ(a.apo->GetRegistrationProperties(&props), S_OK);
  ComPtr<IMalloc> malloc;
  ASSERT_EQ(::CoGetMalloc(1, malloc.put()), S_OK);
  EXPECT_EQ(malloc->DidAlloc(props), 1);
  EXPECT_TRUE(IsEqualCLSID(props->clsid, kEffectClsid));
  EXPECT_EQ(props->Flags, 0xF);
  EXPECT_STREQ(props->szFriendlyName, L"Kestrune");
  EXPECT_EQ(props->u32MajorVersion, 1u);
  EXPECT_EQ(props->u32MinorVersion, 0u);
  EXPECT_EQ(props->u32MinInputConnections, 1u);
  EXPECT_EQ(props->u32MaxInputConnections, 1u);
  EXPECT_EQ(props->u32MinOutputConnections, 1u);
  EXPECT_EQ(props->u32MaxOutputConnections, 1u);
  EXPECT_EQ(props->u32MaxInstances, 0xFFFFFFFFu);
  ASSERT_EQ(props->u32NumAPOInterfaces, 1u);
  EXPECT_TRUE(IsEqualIID(props->iidAPOInterfaceList[0], IID_IAudioProcessingObject));
  ::CoTaskMemFree(props);
}

TEST(ApoContract, InitializeChecksDataPointerOnly) {
  Apo a = Apo::create(false);
  ASSERT_TRUE(a.apo);
  UINT32 channels = 0;
  EXPECT_EQ(a.apo->GetInputChannelCount(nullptr), E_POINTER);
  EXPECT_EQ(a.apo->GetInputChannelCount(&channels), APOERR_NOT_INITIALIZED);
  EXPECT_EQ(a.apo->Initialize(56, nullptr), E_POINTER);
  EXPECT_EQ(a.apo->GetInputChannelCount(&channels), APOERR_NOT_INITIALIZED);
  BYTE data[88] = {};
  EXPECT_EQ(a.apo->Initialize(sizeof(data), data), S_OK);
  EXPECT_EQ(a.apo->Initialize(0, nullptr), S_OK);
  EXPECT_EQ(a.apo->GetInputChannelCount(&channels), S_OK);
  EXPECT_EQ(channels, 0u);
}

struct NegotiationCase {
  const char* name;
  AudioFormat requested;
  bool withOpposite;
  AudioFormat opposite;
  HRESULT expected;
  AudioFormat suggested;  // when S_FALSE
};

TEST(ApoContract, FormatNegotiationAcceptsSuggestsOrRefuses) {
  const AudioFormat stereo48 = floatFormat(2, 48000.0f);
  const NegotiationCase cases[] = {
      {"float stereo, any other side", stereo48, false, {}, S_OK, {}},
      {"float stereo, same other side", stereo48, true, stereo48, S_OK, {}},
      {"4096 channels at 384000 Hz", floatFormat(4096, 384000.0f), false, {}, S_OK, {}},
      {"16-bit request", pcm16Format(2, 48000.0f), false, {}, S_FALSE, stereo48},
      {"too many channels",
       floatFormat(5000, 48000.0f),
       false,
       {},
       S_FALSE,
       floatFormat(4096, 48000.0f)},
      {"rate too high", floatFormat(2, 400000.0f), false, {}, S_FALSE, floatFormat(2, 384000.0f)},
      {"rate too low", floatFormat(2, 5.0f), false, {}, S_FALSE, floatFormat(2, 10.0f)},
      {"channels differ from other side", floatFormat(6, 48000.0f), true, stereo48, S_FALSE,
       stereo48},
      {"rate differs from other side", floatFormat(2, 44100.0f), true, stereo48, S_FALSE, stereo48},
      {"other side is 16-bit",
       stereo48,
       true,
       pcm16Format(2, 48000.0f),
       APOERR_FORMAT_NOT_SUPPORTED,
       {}},
      {"other side has no channels",
       stereo48,
       true,
       floatFormat(0, 48000.0f),
       APOERR_FORMAT_NOT_SUPPORTED,
       {}},
  };
  Apo a = Apo::create();
  ASSERT_TRUE(a.apo);
  for (const NegotiationCase& c : cases) {
    for (bool input : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (input ? " (input)" : " (output)"));
      ComPtr<IAudioMediaType> requested = mediaType(c.requested);
      ComPtr<IAudioMediaType> opposite = c.withOpposite ? mediaType(c.opposite) : nullptr;
      IAudioMediaType* answer = reinterpret_cast<IAudioMediaType*>(1);
      const HRESULT hr =
          input ? a.apo->IsInputFormatSupported(opposite.get(), requested.get(), &answer)
                : a.apo->IsOutputFormatSupported(opposite.get(), requested.get(), &answer);
      ASSERT_EQ(hr, c.expected);
      if (hr == APOERR_FORMAT_NOT_SUPPORTED) {
        EXPECT_EQ(answer, reinterpret_cast<IAudioMediaType*>(1)) << "left untouched";
        continue;
      }
      ComPtr<IAudioMediaType> owned = ComPtr<IAudioMediaType>::attach(answer);
      if (hr == S_OK) {
        EXPECT_EQ(answer, requested.get());
        continue;
      }
      UNCOMPRESSEDAUDIOFORMAT got{};
      ASSERT_EQ(answer->GetUncompressedAudioFormat(&got), S_OK);
      const AudioFormat s = toAudioFormat(got);
      EXPECT_TRUE(s.isFloat);
      EXPECT_EQ(s.containerBytes, 4u);
      EXPECT_EQ(s.validBits, 32u);
      EXPECT_EQ(s.channels, c.suggested.channels);
      EXPECT_EQ(s.framesPerSecond, c.suggested.framesPerSecond);
      // An engine that takes the suggestion succeeds.
      IAudioMediaType* again = nullptr;
      EXPECT_EQ(a.apo->IsInputFormatSupported(opposite.get(), answer, &again), S_OK);
      if (again) again->Release();
    }
  }
  IAudioMediaType* answer = nullptr;
  ComPtr<IAudioMediaType> requested = mediaType(stereo48);
  EXPECT_EQ(a.apo->IsInputFormatSupported(nullptr, requested.get(), nullptr), E_POINTER);
  EXPECT_EQ(a.apo->IsOutputFormatSupported(nullptr, nullptr, &answer), E_POINTER);
}

TEST(ApoContract, SuggestedMediaTypeDescribesItsFormat) {
  ComPtr<IAudioMediaType> a = mediaType(floatFormat(6, 44100.0f));
  ComPtr<IAudioMediaType> b = mediaType(floatFormat(6, 44100.0f));
  ComPtr<IAudioMediaType> c = mediaType(floatFormat(2, 44100.0f));
  const WAVEFORMATEX* wave = a->GetAudioFormat();
  ASSERT_NE(wave, nullptr);
  const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(wave);
  EXPECT_EQ(wave->wFormatTag, 0xFFFE);
  EXPECT_EQ(wave->nChannels, 6);
  EXPECT_EQ(wave->nSamplesPerSec, 44100u);
  EXPECT_EQ(wave->nBlockAlign, 24);
  EXPECT_EQ(wave->nAvgBytesPerSec, 44100u * 24);
  EXPECT_EQ(wave->wBitsPerSample, 32);
  EXPECT_EQ(wave->cbSize, 22);
  EXPECT_EQ(ext->Samples.wValidBitsPerSample, 32);
  EXPECT_TRUE(IsEqualGUID(ext->SubFormat, kSubtypeIeeeFloat));

  DWORD flags = 0;
  EXPECT_EQ(a->IsEqual(b.get(), &flags), S_OK);
  EXPECT_EQ(flags, 14u);
  EXPECT_EQ(a->IsEqual(c.get(), &flags), S_FALSE);
  EXPECT_EQ(flags, 0u);
  BOOL compressed = TRUE;
  EXPECT_EQ(a->IsCompressedFormat(&compressed), S_OK);
  EXPECT_FALSE(compressed);
  EXPECT_EQ(a->IsEqual(b.get(), nullptr), E_POINTER);
}

struct LockCase {
  const char* name;
  HRESULT expected;
  void (*spoil)(Connections&, UINT32& inCount, UINT32& outCount, bool& nullLists);
};

TEST(ApoContract, LockChecksConnectionsAndReportsEachFault) {
  const AudioFormat stereo48 = floatFormat(2, 48000.0f);
  const LockCase cases[] = {
      {"valid", S_OK, [](Connections&, UINT32&, UINT32&, bool&) {}},
      {"no descriptor lists", E_POINTER, [](Connections&, UINT32&, UINT32&, bool& n) { n = true; }},
      {"no input connection", APOERR_NUM_CONNECTIONS_INVALID,
       [](Connections&, UINT32& i, UINT32&, bool&) { i = 0; }},
      {"two output connections", APOERR_NUM_CONNECTIONS_INVALID,
       [](Connections&, UINT32&, UINT32& o, bool&) { o = 2; }},
      {"null descriptor", E_POINTER,
       [](Connections& c, UINT32&, UINT32&, bool&) { c.outList[0] = nullptr; }},
      {"bad signature", E_INVALIDARG,
       [](Connections& c, UINT32&, UINT32&, bool&) { c.in.u32Signature = 0x41435053; }},
      {"channels differ", APOERR_INVALID_CONNECTION_FORMAT,
       [](Connections& c, UINT32&, UINT32&, bool&) {
         c.outFormat = mediaType(floatFormat(6, 48000.0f));
         c.out.pFormat = c.outFormat.get();
       }},
      {"16-bit both sides", APOERR_FORMAT_NOT_SUPPORTED,
       [](Connections& c, UINT32&, UINT32&, bool&) {
         c.inFormat = mediaType(pcm16Format(2, 48000.0f));
         c.outFormat = mediaType(pcm16Format(2, 48000.0f));
         c.in.pFormat = c.inFormat.get();
         c.out.pFormat = c.outFormat.get();
       }},
      {"output smaller than input", APOERR_INVALID_OUTPUT_MAXFRAMECOUNT,
       [](Connections& c, UINT32&, UINT32&, bool&) { c.out.u32MaxFrameCount = 479; }},
  };
  ScopedSettings settings;
  for (const LockCase& lc : cases) {
    SCOPED_TRACE(lc.name);
    Apo a = Apo::create();
    ASSERT_TRUE(a.config);
    Connections c(stereo48, 480);
    UINT32 inCount = 1, outCount = 1;
    bool nullLists = false;
    lc.spoil(c, inCount, outCount, nullLists);
    APO_CONNECTION_DESCRIPTOR* twoOut[2] = {&c.out, &c.out};
    const HRESULT hr =
        a.config->LockForProcess(inCount, nullLists ? nullptr : c.inList, outCount,
                                 nullLists ? nullptr : (outCount == 2 ? twoOut : c.outList));
    EXPECT_EQ(hr, lc.expected);
    EXPECT_EQ(a.config->UnlockForProcess(), lc.expected == S_OK ? S_OK : APOERR_ALREADY_UNLOCKED);
  }
}

TEST(ApoContract, SecondLockAndSecondUnlockAreRefused) {
  ScopedSettings settings;
  Apo a = Apo::create();
  ASSERT_TRUE(a.config);
  Connections c(floatFormat(2, 48000.0f), 480);
  ASSERT_EQ(c.lock(a.config.get()), S_OK);
  EXPECT_EQ(c.lock(a.config.get()), APOERR_APO_LOCKED);
  UINT32 channels = 0;
  EXPECT_EQ(a.apo->GetInputChannelCount(&channels), S_OK);
  EXPECT_EQ(channels, 2u);
  EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
  EXPECT_EQ(a.config->UnlockForProcess(), APOERR_ALREADY_UNLOCKED);
  EXPECT_EQ(a.apo->GetInputChannelCount(&channels), S_OK);
  EXPECT_EQ(channels, 2u) << "kept from the last lock";
}

TEST(ApoContract, LatencyIsReportedOnlyWhileActive) {
  ScopedSettings settings;
  Apo a = Apo::create();
  ASSERT_TRUE(a.apo);
  HNSTIME latency = -1;
  EXPECT_EQ(a.apo->GetLatency(nullptr), E_POINTER);
  EXPECT_EQ(a.apo->GetLatency(&latency), S_OK);
  EXPECT_EQ(latency, 0);

  Connections c(floatFormat(2, 48000.0f), 480);
  ASSERT_EQ(c.lock(a.config.get()), S_OK);
  ASSERT_EQ(a.apo->GetLatency(&latency), S_OK);
  EffectEngine oracle;
  ASSERT_TRUE(oracle.setup(StreamFormat{2, 48000.0, 4, true}, 480, 2));
  EXPECT_EQ(latency, static_cast<HNSTIME>(oracle.latencyFrames()) * 10000000 / 48000);
  if (oracle.latencyFrames() == 336) {
    EXPECT_EQ(latency, 70000);
  }
  ASSERT_EQ(a.config->UnlockForProcess(), S_OK);
  EXPECT_EQ(a.apo->GetLatency(&latency), S_OK);
  EXPECT_EQ(latency, 0);

  Connections wide(floatFormat(48, 48000.0f), 480);
  ASSERT_EQ(wide.lock(a.config.get()), S_OK);
  EXPECT_EQ(a.apo->GetLatency(&latency), S_OK);
  EXPECT_EQ(latency, 0) << "pass-through";
  EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
}

TEST(ApoContract, UnusualStreamsLockAndPlayUnchanged) {
  ScopedSettings settings;
  const AudioFormat formats[] = {floatFormat(48, 48000.0f), floatFormat(2, 384000.0f),
                                 floatFormat(2, 4000.0f)};
  for (const AudioFormat& f : formats) {
    SCOPED_TRACE(f.channels);
    Apo a = Apo::create();
    ASSERT_TRUE(a.config);
    Connections c(f, 256);
    ASSERT_EQ(c.lock(a.config.get()), S_OK);
    for (int call = 0; call < 20; ++call) {
      const std::vector<float> in = testSignal(256, f.channels, call);
      std::vector<float> out(in.size(), 9.0f);
      EXPECT_EQ(processBuffer(a.rt.get(), in.data(), out.data(), 256, BUFFER_SILENT),
                BUFFER_SILENT);
      EXPECT_EQ(out, in);
    }
    // A call longer than the lock's maximum copies only what the buffers hold.
    const std::vector<float> in = testSignal(257, f.channels, 99);
    std::vector<float> out(in.size(), 9.0f);
    processBuffer(a.rt.get(), in.data(), out.data(), 257, BUFFER_VALID, 256);
    const auto lockedEnd = static_cast<std::ptrdiff_t>(256 * f.channels);
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + lockedEnd, out.begin()));
    EXPECT_TRUE(std::all_of(out.begin() + lockedEnd, out.end(), [](float v) { return v == 9.0f; }));
    EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
  }
}

}  // namespace
}  // namespace kestrune::test
