// Which code path runs the processor bank's per-frame loops: the baseline
// x86-64 one (SSE2, any CPU) or the AVX2+FMA one. Chosen once at set-up from
// what the CPU and the operating system support; tests force each one.
#pragma once

namespace kestrune {

enum class DspPath {
  kBaseline,
  kAvx2,
};

// Whether this CPU can run the path: AVX2 and FMA present and the operating
// system saving the 256-bit registers (XGETBV). The baseline always can.
bool dspPathSupported(DspPath path) noexcept;

// The fastest supported path.
DspPath fastestDspPath() noexcept;

// "baseline" or "avx2", for logs and test names.
const char* dspPathName(DspPath path) noexcept;

}  // namespace kestrune
