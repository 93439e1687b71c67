// The 16-bit DFT operations, generic variant: the generic float engine, float conversions and
// rounding shift; its work-size query serves m6 and a6.
#include "siglib/convert/convert.h"
#include "siglib/transforms/dft16/dft16_engine.h"
#include "siglib/transforms/fixed_fft/fixed_fft.h"

namespace {

struct Px {
  static constexpr qvls::dft16::FloatEngine kEngine = {qvlsDFTCreate_cf32_px,
                                                       qvlsDFTDestroy_cf32_px,
                                                       qvlsDFTWorkSize_cf32_px,
                                                       {qvlsDFTFwd_cf32_px, qvlsDFTInv_cf32_px}};
  static constexpr auto* ToFloat = qvlsConvert_i16tof32_px;
  static constexpr auto* ToInt16 = qvlsConvert_f32toi16_sc_px;
  static constexpr auto* RoundShift = qvlsConvertScaled_i32toi16;
};

}  // namespace

QVLS_DEFINE_DFT16_ENTRIES(px, Px)
QVLS_DEFINE_DFT16_WORK_SIZE(px)
