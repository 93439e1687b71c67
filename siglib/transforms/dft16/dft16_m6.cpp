// The 16-bit DFT operations, m6 variant: its float engine (px's work-size query), float conversions
// and rounding-shift twin.
#include "siglib/convert/convert.h"
#include "siglib/transforms/dft16/dft16_engine.h"
#include "siglib/transforms/fixed_fft/fixed_fft.h"

namespace {

struct M6 {
  static constexpr qvls::dft16::FloatEngine kEngine = {qvlsDFTCreate_cf32_m6,
                                                       qvlsDFTDestroy_cf32_m6,
                                                       qvlsDFTWorkSize_cf32_px,
                                                       {qvlsDFTFwd_cf32_m6, qvlsDFTInv_cf32_m6}};
  static constexpr auto* ToFloat = qvlsConvert_i16tof32_m6;
  static constexpr auto* ToInt16 = qvlsConvert_f32toi16_sc_m6;
  static constexpr auto* RoundShift = qvlsConvertScaled_i32toi16_m6;
};

}  // namespace

QVLS_DEFINE_DFT16_ENTRIES(m6, M6)
