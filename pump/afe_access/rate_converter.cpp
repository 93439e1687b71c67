#include "pump/afe_access/rate_converter.h"

#include <algorithm>

namespace pump {
namespace {

constexpr std::int32_t kOne = 1 << 15;  // Q15
constexpr std::int64_t kMaxStep = std::int64_t{1} << 30;

}  // namespace

std::int32_t ConverterStep(std::int32_t rate, std::int32_t target) {
  if (rate <= 0 || target <= 0) return kOne;
  // 0 would never leave a block; the cap keeps phase + step within 32 bits.
  const std::int64_t step = (std::int64_t{rate} << 15) / target;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(step, 1, kMaxStep));
}

int InitRateConverter(RateConverter& converter, std::int32_t rate, std::int32_t target) {
  converter.step = ConverterStep(rate, target);
  converter.phase = 0;
  converter.start_index = 0;
  return rate <= 0 || target <= 0 ? -1 : 0;
}

std::size_t ConvertBlock(RateConverter& converter, std::span<const std::int16_t> in,
                         std::span<std::int16_t> out) {
  const auto n = static_cast<std::int32_t>(in.size());
  if (n == 0) return 0;
  std::int32_t c = converter.phase;
  std::int32_t j = 1 - converter.start_index;
  std::size_t i = 0;
  const auto emit = [&](std::int32_t left, std::int32_t right) {
    if (i < out.size()) out[i] = static_cast<std::int16_t>((left * (kOne - c) + right * c) >> 15);
    ++i;
    c += converter.step;
    j += c >> 15;
    c &= kOne - 1;
  };
  // Positions between the previous block's last sample and this one's first.
  while (j == 0) emit(converter.last_sample, in[0]);
  while (j < n) emit(in[j - 1], in[j]);
  converter.phase = c;
  converter.start_index = n - j + 1;
  converter.last_sample = in[n - 1];
  return i < out.size() ? i : out.size();
}

}  // namespace pump
