// The sound engine's per-frame loops with AVX2 and FMA. Only the functions
// defined inside the target region below use those instructions; the
// project's flags stay baseline x86-64, so the module loads on any CPU, and
// dspKernels hands these out only where the CPU and the system run them.
#include <immintrin.h>

#include <cstring>

#include "apo/dsp/dsp_kernels.h"
#include "apo/dsp/footstep_processor.h"

#pragma GCC push_options
#pragma GCC target("avx2,fma")
#define KESTRUNE_DSP_KERNELS_PASS
#define KESTRUNE_DSP_KERNELS_AVX2
#include "apo/dsp/dsp_kernels_impl.h"
#pragma GCC pop_options

namespace kestrune {

const DspKernels& avx2DspKernels() noexcept { return kDspKernels; }

}  // namespace kestrune
