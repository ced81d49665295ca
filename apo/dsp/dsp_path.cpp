#include "apo/dsp/dsp_path.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace kestrune {

namespace {

bool cpuRunsAvx2Fma() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __cpuid(1, eax, ebx, ecx, edx);
  constexpr unsigned kFma = 1u << 12, kOsXsave = 1u << 27, kAvx = 1u << 28;
  if ((ecx & (kFma | kOsXsave | kAvx)) != (kFma | kOsXsave | kAvx)) return false;
  // The CPU having AVX is not enough: the operating system must save the
  // upper halves of the registers on a task switch (XCR0 bits 1 and 2).
  unsigned xcr0Low = 0, xcr0High = 0;
  __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
  if ((xcr0Low & 0x6u) != 0x6u) return false;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  constexpr unsigned kAvx2 = 1u << 5;
  return (ebx & kAvx2) != 0;
#else
  return false;
#endif
}

}  // namespace

bool dspPathSupported(DspPath path) noexcept {
  if (path == DspPath::kBaseline) return true;
  static const bool avx2 = cpuRunsAvx2Fma();
  return avx2;
}

DspPath fastestDspPath() noexcept {
  return dspPathSupported(DspPath::kAvx2) ? DspPath::kAvx2 : DspPath::kBaseline;
}

const char* dspPathName(DspPath path) noexcept {
  return path == DspPath::kAvx2 ? "avx2" : "baseline";
}

}  // namespace kestrune
