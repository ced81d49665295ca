// Flushes denormal results and inputs to zero for one scope and restores the
// caller's floating-point mode afterwards, so decaying filter and smoother
// states never fall onto the slow denormal path. A no-op where the processor
// has no such switch we know how to set.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#define KESTRUNE_HAS_MXCSR 1
#endif

namespace kestrune {

class ScopedDenormalFlush {
 public:
#if defined(KESTRUNE_HAS_MXCSR)
  ScopedDenormalFlush() noexcept : saved_(_mm_getcsr()) {
    _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero);
  }
  ~ScopedDenormalFlush() { _mm_setcsr(saved_); }
#else
  ScopedDenormalFlush() noexcept = default;
#endif
  ScopedDenormalFlush(const ScopedDenormalFlush&) = delete;
  ScopedDenormalFlush& operator=(const ScopedDenormalFlush&) = delete;

#if defined(KESTRUNE_HAS_MXCSR)
  static constexpr unsigned kFlushToZero = 0x8000;       // MXCSR.FTZ
  static constexpr unsigned kDenormalsAreZero = 0x0040;  // MXCSR.DAZ

 private:
  unsigned saved_;
#endif
};

}  // namespace kestrune
