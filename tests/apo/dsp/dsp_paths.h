// Runs a parametrised test once per code path of the processor bank; a path
// this CPU cannot run is skipped.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "apo/dsp/dsp_path.h"

namespace kestrune {

// Failure messages name the path.
inline void PrintTo(DspPath path, std::ostream* out) { *out << dspPathName(path); }

}  // namespace kestrune

namespace kestrune::testing_paths {

class OnEachPath : public testing::TestWithParam<DspPath> {
 protected:
  void SetUp() override {
    if (!dspPathSupported(GetParam())) {
      GTEST_SKIP() << "this CPU cannot run the " << dspPathName(GetParam()) << " path";
    }
  }

  DspPath path() const { return GetParam(); }

  // How far an output sample may be from the straightforward arithmetic:
  // nothing on the baseline path, which does the same operations; the
  // rounding of fused multiply-adds on the AVX2 path.
  float tolerance() const { return GetParam() == DspPath::kBaseline ? 0.0f : 1e-6f; }
};

inline std::string pathName(const testing::TestParamInfo<DspPath>& info) {
  return dspPathName(info.param);
}

}  // namespace kestrune::testing_paths

#define KESTRUNE_ON_EACH_PATH(suite)                                                         \
  INSTANTIATE_TEST_SUITE_P(                                                                  \
      Paths, suite, testing::Values(kestrune::DspPath::kBaseline, kestrune::DspPath::kAvx2), \
      kestrune::testing_paths::pathName)
