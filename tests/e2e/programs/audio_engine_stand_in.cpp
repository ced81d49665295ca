// The Windows audio engine's part for one render endpoint, as a test program
// (the test prefix has no audio engine). It reads the effect's class id from
// the endpoint's effect slot in FxProperties, creates the effect through its
// COM registration, so the installed DLL is the one loaded, negotiates 48 kHz
// stereo float, locks it and calls APOProcess every 10 ms of wall-clock time
// on the input file, repeated from its start, until the named stop event is
// set. Then it unlocks and releases the effect and writes what came out
// (32-bit float WAV) and one line per call: the call number and its time in
// microseconds of the performance counter.
//
// Usage: audio_engine_stand_in ENDPOINT-ID IN.wav OUT.wav CALLS.txt STOP-EVENT
// Prints "loaded <dll>", "locked ..." and "unlocked after <n> calls"; exit
// code 0, or 1 after "error <reason>".
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
// clang-format on

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "apo/apo_abi_win32.h"
#include "apo/media_type_win32.h"
#include "common/handles_win32.h"
#include "common/utf8_win32.h"
#include "service/endpoints/endpoint_inventory_win32.h"
#include "service/endpoints/endpoint_plan.h"
#include "tests/e2e/clock_win32.h"
#include "tests/e2e/float_wav.h"

namespace kestrune::e2e {
namespace {

constexpr std::uint32_t kChannels = 2;
constexpr float kFramesPerSecond = 48000.0f;
constexpr std::uint32_t kPeriodFrames = 480;
constexpr std::uint64_t kPeriodMicroseconds = 10000;
// Ends on its own after two minutes in case the test cannot stop it.
constexpr std::uint64_t kMaxCalls = 12000;

struct Arguments {
  std::wstring endpointId, input, output, calls, stopEvent;
};

bool parseArguments(Arguments& args) {
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  UniqueLocal owner(argv);
  if (!argv || count != 6) return false;
  args = {argv[1], argv[2], argv[3], argv[4], argv[5]};
  return true;
}

// What the audio engine does first: the effect slot names the class to load.
bool effectClassId(const std::wstring& endpointId, CLSID& clsid, std::string& message) {
  wchar_t text[64] = {};
  DWORD size = sizeof(text);
  const LSTATUS status =
      ::RegGetValueW(HKEY_LOCAL_MACHINE, service::FxPropertiesPath(endpointId).c_str(),
                     service::kPropEndpointEffectClsid, RRF_RT_REG_SZ, nullptr, text, &size);
  if (status != ERROR_SUCCESS) {
    message = "no endpoint effect on " + wideToUtf8(endpointId) + " (error " +
              std::to_string(status) + ")";
    return false;
  }
  if (FAILED(::CLSIDFromString(text, &clsid))) {
    message = "the endpoint effect slot holds no class id: " + wideToUtf8(text);
    return false;
  }
  return true;
}

// The file the object's code came from, found through its vtable.
std::wstring moduleOf(IUnknown* object) {
  HMODULE module = nullptr;
  const auto* vtable = *reinterpret_cast<const wchar_t* const*>(object);
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          vtable, &module)) {
    return L"?";
  }
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, n);
}

std::string hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

// The effect as the audio engine holds it between lock and unlock.
class LockedEffect {
 public:
  bool create(const CLSID& clsid, std::string& message) {
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IAudioProcessingObject, apo_.putVoid());
    if (FAILED(hr)) {
      message = "CoCreateInstance failed " + hex(hr);
      return false;
    }
    apo_->QueryInterface(IID_IAudioProcessingObjectRT, rt_.putVoid());
    apo_->QueryInterface(IID_IAudioProcessingObjectConfiguration, config_.putVoid());
    if (!rt_ || !config_) {
      message = "the effect lacks its processing interfaces";
      return false;
    }
    hr = apo_->Initialize(0, nullptr);
    if (FAILED(hr)) message = "Initialize failed " + hex(hr);
    return SUCCEEDED(hr);
  }

  // Negotiates one format for both sides and locks with it.
  bool lock(std::string& message) {
    AudioFormat wanted;
    wanted.channels = kChannels;
    wanted.framesPerSecond = kFramesPerSecond;
    if (FAILED(MediaType::create(toUncompressed(wanted), format_.put()))) {
      message = "out of memory";
      return false;
    }
    ComPtr<IAudioMediaType> suggested;
    HRESULT hr = apo_->IsInputFormatSupported(nullptr, format_.get(), suggested.put());
    if (hr == S_OK)
      hr = apo_->IsOutputFormatSupported(format_.get(), format_.get(), suggested.put());
    if (hr != S_OK) {
      message = "48 kHz stereo float refused " + hex(hr);
      return false;
    }
    APO_CONNECTION_DESCRIPTOR in{APO_CONNECTION_BUFFER_TYPE_EXTERNAL,
                                 reinterpret_cast<UINT_PTR>(input_), kPeriodFrames, format_.get(),
                                 APO_CONNECTION_DESCRIPTOR_SIGNATURE};
    APO_CONNECTION_DESCRIPTOR out{APO_CONNECTION_BUFFER_TYPE_EXTERNAL,
                                  reinterpret_cast<UINT_PTR>(output_), kPeriodFrames, format_.get(),
                                  APO_CONNECTION_DESCRIPTOR_SIGNATURE};
    APO_CONNECTION_DESCRIPTOR* inList[1] = {&in};
    APO_CONNECTION_DESCRIPTOR* outList[1] = {&out};
    hr = config_->LockForProcess(1, inList, 1, outList);
    if (FAILED(hr)) {
      message = "LockForProcess failed " + hex(hr);
      return false;
    }
    locked_ = true;
    return true;
  }

  // One period: input_ in, output_ out. False when the effect did not hand
  // back the whole period.
  bool process() {
    APO_CONNECTION_PROPERTY in{reinterpret_cast<UINT_PTR>(input_), kPeriodFrames, BUFFER_VALID,
                               APO_CONNECTION_PROPERTY_SIGNATURE};
    APO_CONNECTION_PROPERTY out{reinterpret_cast<UINT_PTR>(output_), 0, BUFFER_INVALID,
                                APO_CONNECTION_PROPERTY_SIGNATURE};
    APO_CONNECTION_PROPERTY* inList[1] = {&in};
    APO_CONNECTION_PROPERTY* outList[1] = {&out};
    rt_->APOProcess(1, inList, 1, outList);
    return out.u32ValidFrameCount == kPeriodFrames && out.u32BufferFlags == BUFFER_VALID;
  }

  std::int64_t latencyFrames() const {
    HNSTIME latency = 0;
    apo_->GetLatency(&latency);
    return latency * static_cast<std::int64_t>(kFramesPerSecond) / 10000000;
  }

  // Unlocks and lets go of every reference, as the engine does at stream end.
  HRESULT release() {
    const HRESULT hr = locked_ ? config_->UnlockForProcess() : S_OK;
    locked_ = false;
    config_.reset();
    rt_.reset();
    apo_.reset();
    format_.reset();
    return hr;
  }
  ~LockedEffect() { release(); }

  IUnknown* object() const { return apo_.get(); }
  float* input() { return input_; }
  const float* output() const { return output_; }

 private:
  ComPtr<IAudioProcessingObject> apo_;
  ComPtr<IAudioProcessingObjectRT> rt_;
  ComPtr<IAudioProcessingObjectConfiguration> config_;
  ComPtr<IAudioMediaType> format_;
  bool locked_ = false;
  float input_[kPeriodFrames * kChannels] = {};
  float output_[kPeriodFrames * kChannels] = {};
};

// Calls the effect on schedule until the stop event is set; returns the
// output and the time of every call.
bool play(LockedEffect& effect, const SoundBuffer& scene, HANDLE stop, SoundBuffer& played,
          std::vector<std::uint64_t>& callTimes, std::string& message) {
  const std::size_t sceneSamples = scene.samples.size();
  std::size_t position = 0;
  const std::uint64_t start = performanceMicroseconds();
  for (std::uint64_t call = 0; call < kMaxCalls; ++call) {
    // Calls run on a fixed grid; one that comes late does not shift the rest.
    const std::uint64_t due = start + call * kPeriodMicroseconds;
    const std::uint64_t now = performanceMicroseconds();
    const DWORD waitMs = due > now ? static_cast<DWORD>((due - now + 999) / 1000) : 0;
    if (::WaitForSingleObject(stop, waitMs) == WAIT_OBJECT_0) return true;
    for (std::size_t i = 0; i < kPeriodFrames * kChannels; ++i) {
      effect.input()[i] = scene.samples[position];
      position = (position + 1) % sceneSamples;
    }
    callTimes.push_back(performanceMicroseconds());
    if (!effect.process()) {
      message = "APOProcess did not return a whole valid period at call " + std::to_string(call);
      return false;
    }
    played.samples.insert(played.samples.end(), effect.output(),
                          effect.output() + kPeriodFrames * kChannels);
  }
  return true;
}

bool writeCalls(const std::wstring& path, const std::vector<std::uint64_t>& times) {
  std::ofstream out(std::filesystem::path(path), std::ios::trunc);
  for (std::size_t k = 0; k < times.size(); ++k) out << k << ' ' << times[k] << '\n';
  out.close();
  return static_cast<bool>(out);
}

bool run(const Arguments& args, std::string& message) {
  SoundBuffer scene;
  if (!loadFloatWav(args.input, scene, message)) return false;
  if (scene.channels != kChannels || scene.sampleRate != kFramesPerSecond || scene.frames() == 0) {
    message = "the input must be 48 kHz stereo";
    return false;
  }
  UniqueHandle stop(::OpenEventW(SYNCHRONIZE, FALSE, args.stopEvent.c_str()));
  if (!stop) {
    message = "no stop event " + wideToUtf8(args.stopEvent);
    return false;
  }
  CLSID clsid{};
  if (!effectClassId(args.endpointId, clsid, message)) return false;

  LockedEffect effect;
  if (!effect.create(clsid, message)) return false;
  std::printf("loaded %s\n", wideToUtf8(moduleOf(effect.object())).c_str());
  if (!effect.lock(message)) return false;
  std::printf("locked 48000 Hz, 2 channels, float, %u frames per call, latency %lld frames\n",
              kPeriodFrames, static_cast<long long>(effect.latencyFrames()));
  std::fflush(stdout);

  SoundBuffer played{kChannels, kFramesPerSecond, {}};
  std::vector<std::uint64_t> callTimes;
  const bool playedOk = play(effect, scene, stop.get(), played, callTimes, message);
  const HRESULT unlock = effect.release();
  if (!playedOk) return false;
  if (FAILED(unlock)) {
    message = "UnlockForProcess failed " + hex(unlock);
    return false;
  }
  std::printf("unlocked after %zu calls\n", callTimes.size());
  if (!saveFloatWav(args.output, played, message)) return false;
  if (!writeCalls(args.calls, callTimes)) {
    message = "cannot write " + wideToUtf8(args.calls);
    return false;
  }
  return true;
}

}  // namespace
}  // namespace kestrune::e2e

int main() {
  kestrune::e2e::Arguments args;
  if (!kestrune::e2e::parseArguments(args)) {
    std::printf(
        "error usage: audio_engine_stand_in ENDPOINT-ID IN.wav OUT.wav CALLS.txt "
        "STOP-EVENT\n");
    return 1;
  }
  if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    std::printf("error COM could not be initialised\n");
    return 1;
  }
  std::string message;
  const bool ok = kestrune::e2e::run(args, message);
  ::CoUninitialize();
  if (!ok) std::printf("error %s\n", message.c_str());
  return ok ? 0 : 1;
}
