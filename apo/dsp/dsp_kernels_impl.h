// The body of the sound engine's per-frame loops (dsp_kernels.h), compiled
// once per code path: dsp_kernels_baseline.cpp includes it as it is,
// dsp_kernels_avx2.cpp inside an AVX2+FMA target region with
// KESTRUNE_DSP_KERNELS_AVX2 set. Everything here has internal linkage, so
// the two never meet at link time: no AVX2 instruction can reach the
// baseline path through a shared inline function.
//
// Quad is four lanes of doubles: one AVX register, or two SSE2 registers on
// the baseline. Each loop repeats the processor stages' operations per lane
// (see there for why they are ordered as they are); madd and nmadd are the
// only operations that differ between the paths.
#ifndef KESTRUNE_DSP_KERNELS_PASS
#error "include this file only from dsp_kernels_<path>.cpp"
#endif

#include <emmintrin.h>

#include <cstring>

#include "apo/dsp/dsp_kernels.h"
#include "apo/dsp/footstep_processor.h"

namespace kestrune {
namespace {

#define KESTRUNE_INLINE [[gnu::always_inline]] inline

using V2 = double __attribute__((vector_size(16)));

KESTRUNE_INLINE V2 load2(const double* at) {
  V2 v;
  std::memcpy(&v, at, sizeof v);
  return v;
}
KESTRUNE_INLINE void store2(double* at, V2 v) { std::memcpy(at, &v, sizeof v); }
KESTRUNE_INLINE V2 larger(V2 a, V2 b) { return _mm_max_pd(a, b); }  // a > b ? a : b
KESTRUNE_INLINE V2 magnitude(V2 x) { return _mm_andnot_pd(V2{-0.0, -0.0}, x); }

#if defined(KESTRUNE_DSP_KERNELS_AVX2)

using V4 = double __attribute__((vector_size(32)));

KESTRUNE_INLINE V2 madd(V2 a, V2 b, V2 c) { return _mm_fmadd_pd(a, b, c); }
KESTRUNE_INLINE V2 nmadd(V2 a, V2 b, V2 c) { return _mm_fnmadd_pd(a, b, c); }

struct Quad {
  V4 v;

  KESTRUNE_INLINE static Quad load(const double* at) { return {_mm256_loadu_pd(at)}; }
  KESTRUNE_INLINE void store(double* at) const { _mm256_storeu_pd(at, v); }
  KESTRUNE_INLINE static Quad all(double x) { return {_mm256_set1_pd(x)}; }
  KESTRUNE_INLINE static Quad of(double a, double b, double c, double d) {
    return {V4{a, b, c, d}};
  }
  KESTRUNE_INLINE static Quad join(V2 low, V2 high) {
    return {_mm256_insertf128_pd(_mm256_castpd128_pd256(low), high, 1)};
  }
  KESTRUNE_INLINE V2 low() const { return _mm256_castpd256_pd128(v); }
  KESTRUNE_INLINE V2 high() const { return _mm256_extractf128_pd(v, 1); }
  // Four floats to four doubles, and back.
  KESTRUNE_INLINE static Quad fromFloats(const float* at) {
    return {_mm256_cvtps_pd(_mm_loadu_ps(at))};
  }
  KESTRUNE_INLINE void storeFloats(float* at) const { _mm_storeu_ps(at, _mm256_cvtpd_ps(v)); }
};

KESTRUNE_INLINE Quad operator+(Quad a, Quad b) { return {a.v + b.v}; }
KESTRUNE_INLINE Quad operator-(Quad a, Quad b) { return {a.v - b.v}; }
KESTRUNE_INLINE Quad operator*(Quad a, Quad b) { return {a.v * b.v}; }
KESTRUNE_INLINE Quad madd(Quad a, Quad b, Quad c) { return {_mm256_fmadd_pd(a.v, b.v, c.v)}; }
KESTRUNE_INLINE Quad nmadd(Quad a, Quad b, Quad c) { return {_mm256_fnmadd_pd(a.v, b.v, c.v)}; }
KESTRUNE_INLINE Quad larger(Quad a, Quad b) { return {_mm256_max_pd(a.v, b.v)}; }
KESTRUNE_INLINE Quad smaller(Quad a, Quad b) { return {_mm256_min_pd(a.v, b.v)}; }
KESTRUNE_INLINE Quad magnitude(Quad x) { return {_mm256_andnot_pd(_mm256_set1_pd(-0.0), x.v)}; }
KESTRUNE_INLINE Quad flipSigns(Quad x, Quad signs) { return {_mm256_xor_pd(x.v, signs.v)}; }
// value, with 0 in the lanes where x is NaN or infinite (x - x is not 0).
KESTRUNE_INLINE Quad zeroWhereNotFinite(Quad x, Quad value) {
  return {_mm256_and_pd(value.v, _mm256_cmp_pd(x.v - x.v, _mm256_setzero_pd(), _CMP_EQ_OQ))};
}
// Lane r of the result is lane r of the four frames' quads, frame by frame:
// rows (frames) in, columns (lanes) out.
KESTRUNE_INLINE void storeColumns(double* at, std::size_t stride, Quad f0, Quad f1, Quad f2,
                                  Quad f3) {
  const V4 t0 = _mm256_unpacklo_pd(f0.v, f1.v);  // f0[0] f1[0] f0[2] f1[2]
  const V4 t1 = _mm256_unpackhi_pd(f0.v, f1.v);
  const V4 t2 = _mm256_unpacklo_pd(f2.v, f3.v);
  const V4 t3 = _mm256_unpackhi_pd(f2.v, f3.v);
  _mm256_storeu_pd(at, _mm256_permute2f128_pd(t0, t2, 0x20));
  _mm256_storeu_pd(at + stride, _mm256_permute2f128_pd(t1, t3, 0x20));
  _mm256_storeu_pd(at + 2 * stride, _mm256_permute2f128_pd(t0, t2, 0x31));
  _mm256_storeu_pd(at + 3 * stride, _mm256_permute2f128_pd(t1, t3, 0x31));
}

#else  // baseline x86-64: SSE2

KESTRUNE_INLINE V2 madd(V2 a, V2 b, V2 c) { return a * b + c; }
KESTRUNE_INLINE V2 nmadd(V2 a, V2 b, V2 c) { return c - a * b; }

struct Quad {
  V2 lo, hi;

  KESTRUNE_INLINE static Quad load(const double* at) { return {load2(at), load2(at + 2)}; }
  KESTRUNE_INLINE void store(double* at) const {
    store2(at, lo);
    store2(at + 2, hi);
  }
  KESTRUNE_INLINE static Quad all(double x) { return {V2{x, x}, V2{x, x}}; }
  KESTRUNE_INLINE static Quad of(double a, double b, double c, double d) {
    return {V2{a, b}, V2{c, d}};
  }
  KESTRUNE_INLINE static Quad join(V2 low, V2 high) { return {low, high}; }
  KESTRUNE_INLINE V2 low() const { return lo; }
  KESTRUNE_INLINE V2 high() const { return hi; }
  KESTRUNE_INLINE static Quad fromFloats(const float* at) {
    const __m128 f = _mm_loadu_ps(at);
    return {_mm_cvtps_pd(f), _mm_cvtps_pd(_mm_movehl_ps(f, f))};
  }
  KESTRUNE_INLINE void storeFloats(float* at) const {
    _mm_storeu_ps(at, _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)));
  }
};

KESTRUNE_INLINE Quad operator+(Quad a, Quad b) { return {a.lo + b.lo, a.hi + b.hi}; }
KESTRUNE_INLINE Quad operator-(Quad a, Quad b) { return {a.lo - b.lo, a.hi - b.hi}; }
KESTRUNE_INLINE Quad operator*(Quad a, Quad b) { return {a.lo * b.lo, a.hi * b.hi}; }
KESTRUNE_INLINE Quad madd(Quad a, Quad b, Quad c) {
  return {madd(a.lo, b.lo, c.lo), madd(a.hi, b.hi, c.hi)};
}
KESTRUNE_INLINE Quad nmadd(Quad a, Quad b, Quad c) {
  return {nmadd(a.lo, b.lo, c.lo), nmadd(a.hi, b.hi, c.hi)};
}
KESTRUNE_INLINE Quad larger(Quad a, Quad b) { return {larger(a.lo, b.lo), larger(a.hi, b.hi)}; }
KESTRUNE_INLINE Quad smaller(Quad a, Quad b) {
  return {_mm_min_pd(a.lo, b.lo), _mm_min_pd(a.hi, b.hi)};
}
KESTRUNE_INLINE Quad magnitude(Quad x) { return {magnitude(x.lo), magnitude(x.hi)}; }
KESTRUNE_INLINE Quad flipSigns(Quad x, Quad signs) {
  return {_mm_xor_pd(x.lo, signs.lo), _mm_xor_pd(x.hi, signs.hi)};
}
KESTRUNE_INLINE Quad zeroWhereNotFinite(Quad x, Quad value) {
  const V2 zero = {0.0, 0.0};
  return {_mm_and_pd(value.lo, _mm_cmpeq_pd(x.lo - x.lo, zero)),
          _mm_and_pd(value.hi, _mm_cmpeq_pd(x.hi - x.hi, zero))};
}
KESTRUNE_INLINE void storeColumns(double* at, std::size_t stride, Quad f0, Quad f1, Quad f2,
                                  Quad f3) {
  store2(at, _mm_unpacklo_pd(f0.lo, f1.lo));
  store2(at + 2, _mm_unpacklo_pd(f2.lo, f3.lo));
  store2(at + stride, _mm_unpackhi_pd(f0.lo, f1.lo));
  store2(at + stride + 2, _mm_unpackhi_pd(f2.lo, f3.lo));
  store2(at + 2 * stride, _mm_unpacklo_pd(f0.hi, f1.hi));
  store2(at + 2 * stride + 2, _mm_unpacklo_pd(f2.hi, f3.hi));
  store2(at + 3 * stride, _mm_unpackhi_pd(f0.hi, f1.hi));
  store2(at + 3 * stride + 2, _mm_unpackhi_pd(f2.hi, f3.hi));
}

#endif

// One section per lane with its state in registers for a block.
template <class V>
struct Section {
  V b0, b1, b2, a1, a2, z1, z2;

  KESTRUNE_INLINE V biquad(V x) {
    const V y = madd(b0, x, z1);
    z1 = nmadd(a1, y, madd(b1, x, z2));
    z2 = nmadd(a2, y, b2 * x);
    return y;
  }
  KESTRUNE_INLINE V firstOrder(V x) {
    const V y = madd(b0, x, z1);
    z1 = nmadd(a1, y, b1 * x);
    return y;
  }
};

KESTRUNE_INLINE Section<V2> loadSection(const SectionLanes<2>& s) {
  return {load2(s.b0), load2(s.b1), load2(s.b2), load2(s.a1),
          load2(s.a2), load2(s.z1), load2(s.z2)};
}
KESTRUNE_INLINE void saveSection(SectionLanes<2>& s, const Section<V2>& r) {
  store2(s.z1, r.z1);
  store2(s.z2, r.z2);
}
KESTRUNE_INLINE Section<Quad> loadSection(const SectionLanes<4>& s) {
  return {Quad::load(s.b0), Quad::load(s.b1), Quad::load(s.b2), Quad::load(s.a1),
          Quad::load(s.a2), Quad::load(s.z1), Quad::load(s.z2)};
}
KESTRUNE_INLINE void saveSection(SectionLanes<4>& s, const Section<Quad>& r) {
  r.z1.store(s.z1);
  r.z2.store(s.z2);
}

// The gains of a GainRamp, four frames at a time, as fillGains gives them.
class RampQuads {
 public:
  KESTRUNE_INLINE RampQuads(const GainRamp& ramp, std::int32_t frames) {
    // The last four: frames past the end get 0, the last frame toGain
    // (x * 1 + t * 0 and x * 0 + t * 1 are exact).
    static constexpr double kBefore[4][4] = {
        {0, 0, 0, 0}, {1, 0, 0, 0}, {1, 1, 0, 0}, {1, 1, 1, 0}};
    static constexpr double kAt[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    const int last = (frames - 1) % 4;
    keepLast_ = Quad::load(kBefore[last]);
    endLast_ = Quad::load(kAt[last]) * Quad::all(ramp.toGain);
    if (ramp.flat) {
      next_ = Quad::all(ramp.toGain);
      stepFour_ = Quad::all(1.0);
      return;
    }
    double four[4];
    ramp.firstFour(four);
    next_ = Quad::load(four);
    stepFour_ = Quad::all(ramp.stepFour());
  }

  KESTRUNE_INLINE Quad take() {
    const Quad gains = next_;
    next_ = next_ * stepFour_;
    return gains;
  }
  KESTRUNE_INLINE Quad takeLast() const { return madd(next_, keepLast_, endLast_); }

 private:
  Quad next_, stepFour_, keepLast_, endLast_;
};

void conditionFrames(const float* input, double* out, std::uint32_t frames) noexcept {
  const Quad high = Quad::all(4.0);
  const Quad low = Quad::all(-4.0);
  std::uint32_t i = 0;
  for (; i + 2 <= frames; i += 2) {
    const Quad x = Quad::fromFloats(input + 2 * i);
    zeroWhereNotFinite(x, larger(smaller(x, high), low)).store(out + 2 * i);
  }
  if (i < frames) conditionInput(input + 2 * i, out + 2 * i, 1);
}

#if defined(KESTRUNE_DSP_KERNELS_AVX2)

// The measuring sections run skewed in one register: the first on frame i
// in the low lanes, the second on frame i - 1 in the high ones. The first
// and last step of a block run one section alone.
StereoPair measureFrames(MeasureFilters& filters, const double* block, double* midSide,
                         std::int32_t frames) noexcept {
  Section<V2> pre = loadSection(filters.input);
  Section<V2> first = loadSection(filters.measuring[0]);
  Section<V2> second = loadSection(filters.measuring[1]);
  const V2 half = {0.5, 0.5};
  const V2 negateSide = {0.0, -0.0};
  auto midSideOf = [&](std::int32_t i) {
    const V2 lr = pre.firstOrder(load2(block + 2 * i));
    const V2 ms =
        (_mm_unpacklo_pd(lr, lr) + _mm_xor_pd(_mm_unpackhi_pd(lr, lr), negateSide)) * half;
    store2(midSide + 2 * i, ms);
    return ms;
  };
  V2 measured = first.biquad(midSideOf(0));
  Section<Quad> both = {Quad::join(first.b0, second.b0), Quad::join(first.b1, second.b1),
                        Quad::join(first.b2, second.b2), Quad::join(first.a1, second.a1),
                        Quad::join(first.a2, second.a2), Quad::join(first.z1, second.z1),
                        Quad::join(first.z2, second.z2)};
  Quad sums = Quad::all(0.0);
  for (std::int32_t i = 1; i < frames; ++i) {
    const Quad y = both.biquad(Quad::join(midSideOf(i), measured));
    sums = madd(y, y, sums);  // the low lanes' sums go unused
    measured = y.low();
  }
  first.z1 = both.z1.low();
  first.z2 = both.z2.low();
  second.z1 = both.z1.high();
  second.z2 = both.z2.high();
  const V2 last = second.biquad(measured);
  saveSection(filters.input, pre);
  saveSection(filters.measuring[0], first);
  saveSection(filters.measuring[1], second);
  return madd(last, last, sums.high());
}

#else

StereoPair measureFrames(MeasureFilters& filters, const double* block, double* midSide,
                         std::int32_t frames) noexcept {
  Section<V2> pre = loadSection(filters.input);
  Section<V2> first = loadSection(filters.measuring[0]);
  Section<V2> second = loadSection(filters.measuring[1]);
  V2 sums = {0.0, 0.0};
  for (std::int32_t i = 0; i < frames; ++i) {
    const V2 lr = pre.firstOrder(load2(block + 2 * i));
    const V2 ms = (V2{lr[0], lr[0]} + V2{lr[1], -lr[1]}) * 0.5;
    store2(midSide + 2 * i, ms);
    const V2 measured = second.biquad(first.biquad(ms));
    sums = madd(measured, measured, sums);
  }
  saveSection(filters.input, pre);
  saveSection(filters.measuring[0], first);
  saveSection(filters.measuring[1], second);
  return sums;
}

#endif

struct ToneChain {
  Section<Quad> s0, s1, s2, s3;
  Quad gain;

  KESTRUNE_INLINE Quad shape(Quad x) {
    return s3.biquad(s2.biquad(s1.biquad(s0.biquad(x)))) * gain;
  }
};

// ducked = duck gain * mid + (side, -side, side, -side), per lane.
template <bool kRamped>
void shapeLoop(ToneChain& chain, const double* midSide, const double* lightGains,
               const double* sharedGains, Quad flatGains, double* wet, double* base,
               std::int32_t frames) {
  const Quad negateRight = Quad::of(0.0, -0.0, 0.0, -0.0);
  auto frame = [&](std::int32_t i, Quad& ducked) {
    Quad gains = flatGains;
    if constexpr (kRamped) {
      gains = Quad::of(lightGains[i], lightGains[i], sharedGains[i], sharedGains[i]);
    }
    const Quad side = flipSigns(Quad::all(midSide[2 * i + 1]), negateRight);
    ducked = madd(gains, Quad::all(midSide[2 * i]), side);
    return chain.shape(ducked);
  };
  std::int32_t i = 0;
  for (; i + 4 <= frames; i += 4) {
    Quad d0, d1, d2, d3;
    const Quad w0 = frame(i, d0);
    const Quad w1 = frame(i + 1, d1);
    const Quad w2 = frame(i + 2, d2);
    const Quad w3 = frame(i + 3, d3);
    storeColumns(wet + i, kPlanarFrames, w0, w1, w2, w3);
    storeColumns(base + i, kPlanarFrames, d0, d1, d2, d3);
  }
  for (; i < frames; ++i) {
    Quad d;
    const Quad w = frame(i, d);
    double wv[4], dv[4];
    w.store(wv);
    d.store(dv);
    for (int lane = 0; lane < kShapedLanes; ++lane) {
      wet[lane * kPlanarFrames + i] = wv[lane];
      base[lane * kPlanarFrames + i] = dv[lane];
    }
  }
}

void shapeFrames(ToneFilters& tone, const double* midSide, const GainRamp duck[2], double* scratch,
                 double* wet, double* base, std::int32_t frames) noexcept {
  ToneChain chain{loadSection(tone.sections[0]), loadSection(tone.sections[1]),
                  loadSection(tone.sections[2]), loadSection(tone.sections[3]),
                  Quad::load(tone.outputGain)};
  if (duck[0].flat && duck[1].flat) {
    const Quad gains = Quad::of(duck[0].toGain, duck[0].toGain, duck[1].toGain, duck[1].toGain);
    shapeLoop<false>(chain, midSide, nullptr, nullptr, gains, wet, base, frames);
  } else {
    fillGains(duck[0], frames, scratch);
    fillGains(duck[1], frames, scratch + kPlanarFrames);
    shapeLoop<true>(chain, midSide, scratch, scratch + kPlanarFrames, Quad::all(0.0), wet, base,
                    frames);
  }
  saveSection(tone.sections[0], chain.s0);
  saveSection(tone.sections[1], chain.s1);
  saveSection(tone.sections[2], chain.s2);
  saveSection(tone.sections[3], chain.s3);
}

// Per lane, pairs of consecutive frames: lane 0 of the sums holds the even
// frames, lane 1 the odd ones, each added in order, as the scene lift does.
// The AVX2 path, exact to rounding only anyway, adds four frames at a time.
void meanSquaresOf(const double* shaped, std::int32_t frames, double out[2]) noexcept {
  double lanes[kShapedLanes];
  for (int lane = 0; lane < kShapedLanes; ++lane) {
    const double* x = shaped + lane * kPlanarFrames;
    std::int32_t i = 0;
#if defined(KESTRUNE_DSP_KERNELS_AVX2)
    Quad fours = Quad::all(0.0);
    for (; i + 4 <= frames; i += 4) {
      const Quad v = Quad::load(x + i);
      fours = madd(v, v, fours);
    }
    V2 sums = fours.low() + fours.high();
#else
    V2 sums = {0.0, 0.0};
#endif
    for (; i + 2 <= frames; i += 2) {
      const V2 v = load2(x + i);
      sums = madd(v, v, sums);
    }
    if (i < frames) sums = madd(V2{x[i], 0.0}, V2{x[i], 0.0}, sums);
    lanes[lane] = sums[0] + sums[1];
  }
  for (int shape = 0; shape < 2; ++shape) {
    out[shape] = (lanes[2 * shape] + lanes[2 * shape + 1]) / (2 * frames);
  }
}

// The presets run side by side within each four frames, so that their
// gain series and running peaks (chains of dependent operations) overlap.
void liftFrames(const double* wet, const double* base, const LiftRamps ramps[kBankPresets],
                double* lifted, std::int32_t frames, double peaks[kBankPresets]) noexcept {
  const std::int32_t groups = (frames + 3) / 4;
  RampQuads light(ramps[0].gain, frames), normal(ramps[1].gain, frames),
      strong(ramps[2].gain, frames);
  Quad lightPeak = Quad::all(0.0), normalPeak = lightPeak, strongPeak = lightPeak;
  Quad position = Quad::of(1.0, 2.0, 3.0, 4.0);  // i + 1
  auto preset = [&](int p, Quad gain, std::int32_t i, Quad& peak) {
    const Quad x = madd(position, Quad::all(ramps[p].mix.mixStep), Quad::all(ramps[p].mix.mixFrom));
    Quad out[2];
    for (int ch = 0; ch < 2; ++ch) {
      const std::int32_t shaped = (2 * kShapeOfPreset[p] + ch) * kPlanarFrames + i;
      const Quad w = Quad::load(wet + shaped);
      const Quad b = Quad::load(base + shaped);
      out[ch] = madd(w - b, x, b) * gain;
      out[ch].store(lifted + (2 * p + ch) * kPlanarFrames + i);
    }
    peak = larger(larger(magnitude(out[0]), magnitude(out[1])), peak);
  };
  std::int32_t g = 0;
  for (; g + 1 < groups; ++g) {
    preset(0, light.take(), 4 * g, lightPeak);
    preset(1, normal.take(), 4 * g, normalPeak);
    preset(2, strong.take(), 4 * g, strongPeak);
    position = position + Quad::all(4.0);
  }
  preset(0, light.takeLast(), 4 * g, lightPeak);
  preset(1, normal.takeLast(), 4 * g, normalPeak);
  preset(2, strong.takeLast(), 4 * g, strongPeak);
  const Quad all[kBankPresets] = {lightPeak, normalPeak, strongPeak};
  for (int p = 0; p < kBankPresets; ++p) {
    const V2 pair = larger(all[p].low(), all[p].high());
    peaks[p] = pair[0] > pair[1] ? pair[0] : pair[1];
  }
}

void limitFrames(const double* lifted, const GainRamp gains[kBankPresets], double ceiling,
                 std::int32_t frames, float* out, std::size_t laneStride) noexcept {
  const std::int32_t groups = (frames + 3) / 4;
  const Quad high = Quad::all(ceiling);
  const Quad low = Quad::all(-ceiling);
  RampQuads light(gains[0], frames), normal(gains[1], frames), strong(gains[2], frames);
  auto preset = [&](int p, Quad gain, std::int32_t i) {
    for (int lane = 2 * p; lane < 2 * p + 2; ++lane) {
      const Quad y = gain * Quad::load(lifted + lane * kPlanarFrames + i);
      larger(smaller(y, high), low).storeFloats(out + lane * laneStride + i);
    }
  };
  std::int32_t g = 0;
  for (; g + 1 < groups; ++g) {
    preset(0, light.take(), 4 * g);
    preset(1, normal.take(), 4 * g);
    preset(2, strong.take(), 4 * g);
  }
  preset(0, light.takeLast(), 4 * g);
  preset(1, normal.takeLast(), 4 * g);
  preset(2, strong.takeLast(), 4 * g);
}

float peakOfFloats(const float* values, std::uint32_t count) noexcept {
#if defined(KESTRUNE_DSP_KERNELS_AVX2)
  __m256 peaks = _mm256_setzero_ps();
  const __m256 sign = _mm256_set1_ps(-0.0f);
  std::uint32_t k = 0;
  for (; k + 8 <= count; k += 8) {
    peaks = _mm256_max_ps(_mm256_andnot_ps(sign, _mm256_loadu_ps(values + k)), peaks);
  }
  __m128 four = _mm_max_ps(_mm256_castps256_ps128(peaks), _mm256_extractf128_ps(peaks, 1));
#else
  __m128 four = _mm_setzero_ps();
  std::uint32_t k = 0;
#endif
  const __m128 sign4 = _mm_set1_ps(-0.0f);
  for (; k + 4 <= count; k += 4)
    four = _mm_max_ps(_mm_andnot_ps(sign4, _mm_loadu_ps(values + k)), four);
  for (; k < count; ++k) {
    four = _mm_max_ss(_mm_andnot_ps(sign4, _mm_load_ss(values + k)), four);
  }
  four = _mm_max_ps(four, _mm_movehl_ps(four, four));
  four = _mm_max_ss(four, _mm_shuffle_ps(four, four, 1));
  return _mm_cvtss_f32(four);
}

constexpr DspKernels kDspKernels = {conditionFrames, measureFrames, shapeFrames, meanSquaresOf,
                                    liftFrames,      limitFrames,   peakOfFloats};

#undef KESTRUNE_INLINE

}  // namespace
}  // namespace kestrune
