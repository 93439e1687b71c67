#include "pump/handshake/front_end.h"

#include <algorithm>

#include "pump/afe_access/afe_access.h"
#include "pump/detect/coefficients.h"
#include "pump/detect/preprocess.h"

namespace pump {

void InitHandshakeFrontEnd(DspContext& context) {
  BandFilter& filter = context.handshake.rejection;
  filter = BandFilter{};
  filter.coefficients = context.call.direction == 1 ? &rejection::k1300 : &rejection::k2100;
}

FrontEndBlock RunHandshakeFrontEnd(DspContext& context, unsigned flags) {
  HandshakeArea& h = context.handshake;
  const std::size_t n = std::min<std::size_t>(context.afe->samples_per_block, kHandshakeBlock);
  const std::span samples(h.samples, n);
  const std::span filtered(h.filtered, n);
  const std::span levelled(h.levelled, n);
  PreprocessRx(flags, std::span<const std::int16_t>(context.input_block, n), context.dc_removal,
               samples, h.rejection.coefficients != nullptr ? &h.rejection : nullptr, filtered,
               &context.detectors.agc, levelled);
  return {samples, filtered, levelled};
}

}  // namespace pump
