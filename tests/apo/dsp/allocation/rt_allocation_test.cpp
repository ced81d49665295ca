// Proves the real-time rule: after set-up, the engine's process call never
// touches the heap. Every global operator new (and, outside sanitizer builds,
// malloc and friends) is replaced by a counting version; the count must not
// move across many process calls of every shape.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "apo/dsp/effect_engine.h"

namespace {
std::atomic<long> g_allocations{0};
std::atomic<bool> g_counting{false};

void noteAllocation() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
}
}  // namespace

#if defined(KESTRUNE_COUNT_MALLOC)
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);

void* malloc(std::size_t size) {
  noteAllocation();
  return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
  noteAllocation();
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
  noteAllocation();
  return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  noteAllocation();
  return __libc_memalign(alignment, size);
}
}
#endif

void* operator new(std::size_t size) {
  noteAllocation();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  noteAllocation();
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void* operator new(std::size_t size, std::align_val_t align) {
  noteAllocation();
  const std::size_t a = static_cast<std::size_t>(align);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) { return operator new(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace kestrune {
namespace {

long countDuring(void (*body)(void*), void* context) {
  g_allocations = 0;
  g_counting = true;
  body(context);
  g_counting = false;
  return g_allocations.load();
}

TEST(RealTimeAllocation, TheCounterSeesAllocations) {
  EXPECT_GE(countDuring([](void*) { delete new std::vector<int>(1000); }, nullptr), 1);
#if defined(KESTRUNE_COUNT_MALLOC)
  EXPECT_EQ(countDuring(
                [](void*) {
                  void* volatile p = std::malloc(16);
                  std::free(p);
                },
                nullptr),
            1);
#endif
}

struct Scenario {
  StreamFormat format;
  std::uint32_t maxFrames;
  EffectEngine engine;
  std::vector<float> in;
  std::vector<float> out;
  std::unique_ptr<MeterSection> section = std::make_unique<MeterSection>();
};

TEST(RealTimeAllocation, ProcessNeverAllocates) {
  const StreamFormat formats[] = {
      {2, 48000.0, 4, true}, {1, 44100.0, 4, true}, {8, 96000.0, 4, true}, {33, 48000.0, 4, true}};
  for (const DspPath path : {DspPath::kBaseline, DspPath::kAvx2}) {
    if (!dspPathSupported(path)) continue;
    for (const StreamFormat& format : formats) {
      Scenario s{format, 1056, {}, {}, {}};
      std::memset(s.section.get(), 0, sizeof(MeterSection));
      ASSERT_TRUE(s.engine.setup(format, s.maxFrames, 0, path));
      s.in.assign(std::size_t{s.maxFrames + 1} * format.channels, 0.0f);
      for (std::size_t i = 0; i < s.in.size(); ++i)
        s.in[i] = static_cast<float>((i * 7919) % 2001) / 1000.0f - 1.0f;
      s.out.assign(s.in.size(), 0.0f);
      s.in[5] = std::numeric_limits<float>::infinity();

      const long seen = countDuring(
          [](void* context) {
            auto& sc = *static_cast<Scenario*>(context);
            for (int call = 0; call < 700; ++call) {
              // Every selector, fades, meter on and off, attach and detach,
              // silent buffers, odd sizes and an oversized call.
              if (call % 97 == 0) sc.engine.setTargetSelector(call / 97 % 4);
              if (call % 50 == 0) sc.engine.setMeterEnabled(call % 100 == 0);
              if (call % 300 == 0)
                sc.engine.attachMeter(call % 600 == 0 ? sc.section.get() : nullptr);
              const std::uint32_t frames =
                  call % 13 == 0 ? sc.maxFrames + 1 : (call * 131) % (sc.maxFrames + 1);
              sc.engine.process(sc.in.data(), sc.out.data(), frames, call % 11 == 0);
            }
          },
          &s);
      EXPECT_EQ(seen, 0) << format.channels << " channels at " << format.sampleRate << " on "
                         << dspPathName(path);
    }
  }
}

}  // namespace
}  // namespace kestrune
