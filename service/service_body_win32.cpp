#include "service/service_body_win32.h"

#include <sddl.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "common/meter_layout.h"
#include "common/names.h"
#include "service/dispatcher_host_win32.h"
#include "service/endpoints/effect_attach_win32.h"
#include "service/game_watcher_win32.h"
#include "service/pipe_server_win32.h"
#include "service/service_state_win32.h"
#include "service/settings_store.h"

namespace kestrune::service {

UniqueHandle createMeterSection() {
  PSECURITY_DESCRIPTOR sd = nullptr;
  UniqueLocal descriptor;
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kMeterSectionSddl, SDDL_REVISION_1,
                                                             &sd, nullptr)) {
    descriptor.reset(sd);
  }
  SECURITY_ATTRIBUTES sa{sizeof(sa), descriptor.get(), FALSE};
  // An existing section (the effect still holds one from an earlier run) opens
  // here as well and gets a new instance id, which the effect notices.
  UniqueHandle section(::CreateFileMappingW(INVALID_HANDLE_VALUE, descriptor ? &sa : nullptr,
                                            PAGE_READWRITE, 0, kMeterSectionBytes,
                                            kMeterSectionName));
  descriptor.reset();
  if (!section) return section;
  UniqueView view(::MapViewOfFile(section.get(), FILE_MAP_WRITE, 0, 0, kMeterSectionBytes));
  if (view) {
    auto* header = static_cast<MeterSection*>(view.get());
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    const std::uint64_t instanceId =
        static_cast<std::uint64_t>(counter.QuadPart) ^ ::GetCurrentProcessId();
    std::memcpy(&header->instanceId, &instanceId, sizeof(instanceId));
    // Readers check the magic first; it goes in after the id.
    std::atomic_thread_fence(std::memory_order_release);
    std::memcpy(header->magic, kMeterMagic, sizeof(kMeterMagic));
  }
  return section;
}

void recoverInterruptedChange() {
  std::lock_guard<std::mutex> held(serviceState().lock);
  const std::uint32_t phase = readNumber(kJournalKeyPath, L"_Phase", 0);
  if (phase == 1 || phase == 3) {
    std::string discarded;
    RestoreEndpoint(true, discarded);
  }
}

bool runServiceBody(StartFailure& failure) {
  HANDLE stopEvent = serviceState().stopEvent;
  if (!stopEvent) {
    switchEffectOff();
    failure = {ERROR_INVALID_HANDLE, "cannot create the stop event"};
    return false;
  }
  UniqueHandle section = createMeterSection();
  recoverInterruptedChange();
  PipeServer server(stopEvent, serviceCommandHost());
  // Without its pipe the service cannot be reached; end rather than run blind.
  if (!server.start(failure.message)) {
    switchEffectOff();  // as at a normal stop
    failure.error = ERROR_PIPE_BUSY;
    return false;
  }
  runGameWatcher();
  server.join();
  return true;
}

}  // namespace kestrune::service
