// The trellis kernels, px variant: the 2D metrics in one straight line, the
// 4D metrics and add-compare-select as plain loops. m6 runs this
// add-compare-select.
#include "siglib/trellis/trellis_define_entries.h"

QVLS_DEFINE_TRELLIS_2D_ENTRY(px, QVLS_VARIANT_PX)
QVLS_DEFINE_TRELLIS_4D_LOOP_ENTRY(px, QVLS_VARIANT_PX)

qvls_status qvlsTrellisACS_u16_px(const std::uint16_t* oldMetrics, const std::uint8_t* nextState,
                                  std::uint16_t* newMetrics, const trellis_metric4d* metrics,
                                  trellis_survivor* survivors, std::int32_t states,
                                  std::int32_t offset) {
  if (const auto answer = qvls::trellis::AcsEarlyAnswer(oldMetrics, nextState, newMetrics, metrics,
                                                        survivors, states)) {
    return *answer;
  }
  qvls::trellis::AcsLoop<QVLS_VARIANT_PX>(oldMetrics, nextState, newMetrics, metrics, survivors,
                                          states, offset, 0);
  return QVLS_OK;
}
