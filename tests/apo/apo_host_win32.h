// Test host for the effect module: plays the audio engine's side. Loads the
// built KestruneApo.dll beside the test, hands it media types and connection
// descriptors, and offers the shared fixtures of the effect's tests (log
// file, settings key, meter section).
#pragma once

// clang-format off
#include <windows.h>
#include <objbase.h>
#include <sddl.h>
// clang-format on

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "apo/apo_abi_win32.h"
#include "apo/dsp/effect_engine.h"
#include "apo/dsp/format_negotiation.h"
#include "apo/media_type_win32.h"
#include "common/handles_win32.h"
#include "common/meter_layout.h"
#include "common/names.h"
#include "tests/support/child_process_win32.h"
#include "tests/support/scoped_registry_win32.h"

namespace kestrune::test {

using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(__stdcall*)();

// The DLL stays loaded for the whole test run, as in the audio engine.
struct ApoModule {
  HMODULE module = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  CanUnloadNowFn canUnloadNow = nullptr;

  static ApoModule& get() {
    static ApoModule m = [] {
      ApoModule r;
      r.module = ::LoadLibraryW((binDir() + L"KestruneApo.dll").c_str());
      if (r.module) {
        r.getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(::GetProcAddress(r.module, "DllGetClassObject")));
        r.canUnloadNow = reinterpret_cast<CanUnloadNowFn>(
            reinterpret_cast<void*>(::GetProcAddress(r.module, "DllCanUnloadNow")));
      }
      return r;
    }();
    return m;
  }
};

inline ComPtr<IClassFactory> apoFactory() {
  ComPtr<IClassFactory> factory;
  ApoModule& m = ApoModule::get();
  if (m.getClassObject) m.getClassObject(kEffectClsid, IID_IClassFactory, factory.putVoid());
  return factory;
}

template <typename T>
ComPtr<T> queryAs(IUnknown* unknown, REFIID iid) {
  ComPtr<T> out;
  if (unknown) unknown->QueryInterface(iid, out.putVoid());
  return out;
}

// One effect object as the audio engine holds it, initialised.
struct Apo {
  ComPtr<IAudioProcessingObject> apo;
  ComPtr<IAudioProcessingObjectRT> rt;
  ComPtr<IAudioProcessingObjectConfiguration> config;

  static Apo create(bool initialize = true) {
    ComPtr<IAudioProcessingObject> apo;
    ComPtr<IClassFactory> factory = apoFactory();
    if (factory) factory->CreateInstance(nullptr, IID_IAudioProcessingObject, apo.putVoid());
    return adopt(apo, initialize);
  }
  // Wraps an object created some other way (CoCreateInstance).
  static Apo adopt(const ComPtr<IAudioProcessingObject>& apo, bool initialize = true) {
    Apo a;
    a.apo = apo;
    a.rt = queryAs<IAudioProcessingObjectRT>(apo.get(), IID_IAudioProcessingObjectRT);
    a.config = queryAs<IAudioProcessingObjectConfiguration>(
        apo.get(), IID_IAudioProcessingObjectConfiguration);
    if (initialize && apo) apo->Initialize(0, nullptr);
    return a;
  }
};

inline AudioFormat floatFormat(std::uint32_t channels, float rate) {
  AudioFormat f;
  f.channels = channels;
  f.framesPerSecond = rate;
  return f;
}

inline AudioFormat pcm16Format(std::uint32_t channels, float rate) {
  AudioFormat f = floatFormat(channels, rate);
  f.isFloat = false;
  f.containerBytes = 2;
  f.validBits = 16;
  return f;
}

inline ComPtr<IAudioMediaType> mediaType(const AudioFormat& f) {
  ComPtr<IAudioMediaType> t;
  MediaType::create(toUncompressed(f), t.put());
  return t;
}

// The two descriptors of one lock, pointing at the host's own buffers.
struct Connections {
  ComPtr<IAudioMediaType> inFormat, outFormat;
  APO_CONNECTION_DESCRIPTOR in{}, out{};
  APO_CONNECTION_DESCRIPTOR* inList[1] = {&in};
  APO_CONNECTION_DESCRIPTOR* outList[1] = {&out};

  Connections(const AudioFormat& inF, const AudioFormat& outF, UINT32 maxFrames,
              UINT32 outMaxFrames) {
    inFormat = mediaType(inF);
    outFormat = mediaType(outF);
    in = {APO_CONNECTION_BUFFER_TYPE_EXTERNAL, 0, maxFrames, inFormat.get(),
          APO_CONNECTION_DESCRIPTOR_SIGNATURE};
    out = {APO_CONNECTION_BUFFER_TYPE_EXTERNAL, 0, outMaxFrames, outFormat.get(),
           APO_CONNECTION_DESCRIPTOR_SIGNATURE};
  }
  Connections(const AudioFormat& f, UINT32 maxFrames) : Connections(f, f, maxFrames, maxFrames) {}

  HRESULT lock(IAudioProcessingObjectConfiguration* config) {
    return config->LockForProcess(1, inList, 1, outList);
  }
};

// One APOProcess call on interleaved float frames; returns the output flags.
// The output's valid frame count must be `validFrames` (by default `frames`).
inline APO_BUFFER_FLAGS processBuffer(IAudioProcessingObjectRT* rt, const float* input,
                                      float* output, UINT32 frames,
                                      APO_BUFFER_FLAGS inFlags = BUFFER_VALID,
                                      UINT32 validFrames = UINT32_MAX) {
  APO_CONNECTION_PROPERTY in{reinterpret_cast<UINT_PTR>(input), frames, inFlags,
                             APO_CONNECTION_PROPERTY_SIGNATURE};
  APO_CONNECTION_PROPERTY out{reinterpret_cast<UINT_PTR>(output), 0, BUFFER_INVALID,
                              APO_CONNECTION_PROPERTY_SIGNATURE};
  APO_CONNECTION_PROPERTY* inList[1] = {&in};
  APO_CONNECTION_PROPERTY* outList[1] = {&out};
  rt->APOProcess(1, inList, 1, outList);
  EXPECT_EQ(out.u32ValidFrameCount, validFrames == UINT32_MAX ? frames : validFrames);
  return out.u32BufferFlags;
}

// Fixed-seed noise with quiet sharp clicks, frames x channels interleaved.
inline std::vector<float> testSignal(std::uint32_t frames, std::uint32_t channels,
                                     std::uint32_t seed) {
  std::vector<float> s(static_cast<std::size_t>(frames) * channels);
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < s.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    float noise = (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) * 0.2f;
    if ((i / channels) % 997 < 3) noise += 0.5f;
    s[i] = noise;
  }
  return s;
}

template <typename Pred>
bool waitUntil(Pred pred, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    ::Sleep(10);
  }
  return true;
}

// The effect's settings key, restored after the test. Starts with the given
// values only (or without the key).
class ScopedSettings {
 public:
  ScopedSettings() : saved_(HKEY_LOCAL_MACHINE, kSettingsKeyPath) { saved_.erase(); }
  void set(const wchar_t* name, DWORD value) const {
    setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, name, value);
  }
  void erase() const { saved_.erase(); }

 private:
  ScopedRegistryKey saved_;
};

// The log file inside the prefix. The folder is created for the test (or
// removed, for the missing-folder case) and put back as it was afterwards.
class ScopedLogFolder {
 public:
  explicit ScopedLogFolder(bool present = true) {
    existed_ = ::GetFileAttributesW(kLogFolder) != INVALID_FILE_ATTRIBUTES;
    if (existed_) {
      std::vector<char> old = contents();
      savedLog_ = std::string(old.begin(), old.end());
      hadLog_ = ::GetFileAttributesW(kLogPath) != INVALID_FILE_ATTRIBUTES;
    }
    ::DeleteFileW(kLogPath);
    if (present)
      ::CreateDirectoryW(kLogFolder, nullptr);
    else
      ::RemoveDirectoryW(kLogFolder);
  }
  ~ScopedLogFolder() {
    ::DeleteFileW(kLogPath);
    if (!existed_) {
      ::RemoveDirectoryW(kLogFolder);
      return;
    }
    ::CreateDirectoryW(kLogFolder, nullptr);
    if (hadLog_) {
      UniqueFileHandle f(
          ::CreateFileW(kLogPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      DWORD n = 0;
      ::WriteFile(f.get(), savedLog_.data(), static_cast<DWORD>(savedLog_.size()), &n, nullptr);
    }
  }
  static std::vector<char> contents() {
    std::vector<char> out;
    UniqueFileHandle f(::CreateFileW(kLogPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return out;
    char buf[65536];
    DWORD n = 0;
    while (::ReadFile(f.get(), buf, sizeof(buf), &n, nullptr) && n > 0)
      out.insert(out.end(), buf, buf + n);
    return out;
  }
  static std::string text() {
    std::vector<char> c = contents();
    return std::string(c.begin(), c.end());
  }
  // The messages (text after the prefix) of every CR LF line, in order.
  static std::vector<std::string> messages() {
    std::vector<std::string> out;
    const std::string all = text();
    std::size_t start = 0;
    for (std::size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = all.substr(start, end - start);
      const std::size_t gap = line.find("  ");
      out.push_back(gap == std::string::npos ? line : line.substr(gap + 2));
    }
    return out;
  }
  static int count(const std::string& message) {
    int n = 0;
    for (const std::string& m : messages()) n += m == message;
    return n;
  }

 private:
  bool existed_ = false;
  bool hadLog_ = false;
  std::string savedLog_;
};

// The meter section as the service creates it: name, size, security,
// instance id, then magic. Closing the handle ends this creation.
inline UniqueHandle createMeterSection(std::uint64_t instanceId) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;LS)(A;;GR;;;AU)", SDDL_REVISION_1, &sd, nullptr);
  UniqueLocal sdOwner(sd);
  SECURITY_ATTRIBUTES sa{sizeof(sa), sd, FALSE};
  UniqueHandle section(::CreateFileMappingW(INVALID_HANDLE_VALUE, &sa, PAGE_READWRITE, 0,
                                            kMeterSectionBytes, kMeterSectionName));
  if (!section) return section;
  UniqueView view(::MapViewOfFile(section.get(), FILE_MAP_WRITE, 0, 0, kMeterSectionBytes));
  if (!view) return {};
  auto* m = static_cast<MeterSection*>(view.get());
  m->instanceId = instanceId;
  std::memcpy(m->magic, kMeterMagic, sizeof(kMeterMagic));
  return section;
}

// A read-write view of the current section, for the test to inspect.
inline UniqueView mapMeterSection() {
  UniqueHandle section(
      ::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kMeterSectionName));
  if (!section) return {};
  return UniqueView(
      ::MapViewOfFile(section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kMeterSectionBytes));
}

inline volatile MeterSection* meterOf(const UniqueView& v) {
  return static_cast<volatile MeterSection*>(v.get());
}

}  // namespace kestrune::test
