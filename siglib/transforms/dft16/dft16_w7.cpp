// The 16-bit DFT operations, w7 variant: its float engine and work-size queries, float conversions
// and rounding-shift twin.
#include "siglib/convert/convert.h"
#include "siglib/transforms/dft16/dft16_engine.h"
#include "siglib/transforms/fixed_fft/fixed_fft.h"

namespace {

struct W7 {
  static constexpr qvls::dft16::FloatEngine kEngine = {qvlsDFTCreate_cf32_w7,
                                                       qvlsDFTDestroy_cf32_w7,
                                                       qvlsDFTWorkSize_cf32_w7,
                                                       {qvlsDFTFwd_cf32_w7, qvlsDFTInv_cf32_w7}};
  static constexpr auto* ToFloat = qvlsConvert_i16tof32_w7;
  static constexpr auto* ToInt16 = qvlsConvert_f32toi16_sc_w7;
  static constexpr auto* RoundShift = qvlsConvertScaled_i32toi16_w7;
};

}  // namespace

QVLS_DEFINE_DFT16_ENTRIES(w7, W7)
QVLS_DEFINE_DFT16_WORK_SIZE(w7)
