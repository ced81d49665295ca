// The sound engine's per-frame loops for any x86-64 CPU, and the choice of
// a path's loops.
#define KESTRUNE_DSP_KERNELS_PASS
#include "apo/dsp/dsp_kernels_impl.h"

namespace kestrune {

const DspKernels& avx2DspKernels() noexcept;  // dsp_kernels_avx2.cpp

const DspKernels& dspKernels(DspPath path) noexcept {
  if (path == DspPath::kAvx2 && dspPathSupported(path)) return avx2DspKernels();
  return kDspKernels;
}

}  // namespace kestrune
