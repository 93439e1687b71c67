#include "pump/fax/fax_rx_silence.h"

#include <algorithm>

#include "pump/afe_access/afe_access.h"
#include "pump/core/comram.h"
#include "pump/core/dp_status.h"
#include "pump/fax/fax_rx_front_end.h"

namespace pump {

int FaxAttenuationDb(std::uint32_t mean_square) {
  mean_square = std::clamp<std::uint32_t>(mean_square, 1, 0x7FFFFFFF);
  // Normalised: k left shifts bring the top bit to bit 30; the 9 bits
  // below it (512 to 1023) read the logarithm off a line per octave.
  int k = 0;
  while ((mean_square & 0x40000000u) == 0) {
    mean_square <<= 1;
    ++k;
  }
  const std::int32_t e = static_cast<std::int32_t>(mean_square / 0x1FFFFF);
  std::int32_t h = 32 * e;
  if (e >= 768) {
    h = 16 * e;
    --k;
  }
  return (((474800 - 16 * h) >> 15) + 6 * k) / 2 - 5;
}

namespace {

void FaxRxSilence(DspContext& context) {
  const std::size_t n = std::min<std::size_t>(context.afe->samples_per_block, kBlockSamples);
  if (n == 0) return;
  std::uint64_t sum = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const std::int64_t x = FaxDcRemove(context.fax.rx.dc, context.input_block[k]);
    sum += static_cast<std::uint64_t>(x * x);
  }
  const auto mean_square = static_cast<std::uint32_t>(std::min<std::uint64_t>(sum / n, 0x7FFFFFFF));
  SetDpStatus(*context.host, kStatusCarrier, FaxAttenuationDb(mean_square) < kFaxSignalPresentDb);
}

constexpr StateEntry<DspContext> kFaxRxSilenceEntries[] = {{FaxRxSilence, -1, "FaxRxSilence"}};

}  // namespace

StateTable<DspContext> FaxRxSilenceTable() { return kFaxRxSilenceEntries; }

}  // namespace pump
