#include "pump/resampler/resampler.h"

#include <algorithm>
#include <iterator>

#include "pump/resampler/rate_table.h"

namespace pump {

bool AllocResampler(std::uint8_t*& block) {
  std::int32_t size = 0;
  block = qvlsFIRStateSize_i16(kResamplerMaxTaps, &size) == QVLS_OK ? qvlsAlloc_u8(size) : nullptr;
  return block != nullptr;
}

void FreeResampler(std::uint8_t*& block) {
  if (block != nullptr) qvlsFree(block);
  block = nullptr;
}

void InitResampler(Resampler& resampler, std::uint8_t* state_block) {
  resampler = Resampler{};
  resampler.state_block = state_block;
}

void ConfigureResampler(Resampler& r, std::int32_t code) {
  std::fill(std::begin(r.upsampled), std::end(r.upsampled), std::int16_t{0});
  std::fill(std::begin(r.filtered), std::end(r.filtered), std::int16_t{0});
  r.phase = 0;
  const ResamplerRate& rate = FindResamplerRate(code);
  r.up = rate.up;
  r.down = rate.down;
  r.input_length = rate.input_length;
  r.output_length = rate.output_length;
  // The same code keeps the filter's history. Only a code with a row of its
  // own is kept: an unknown code can equal the 16 bits left of 72801, 80110
  // or 96110, whose filter is not the default row's.
  if (r.fir != nullptr && r.rate_code == code && rate.code == code) return;
  r.fir = nullptr;
  if (r.state_block == nullptr) return;
  fir_state* fir = nullptr;
  if (qvlsFIRInit_i16(&fir, rate.filter->taps, rate.filter->tap_count, 0, nullptr, r.state_block) !=
      QVLS_OK) {
    return;
  }
  r.fir = fir;
  r.rate_code = static_cast<std::int16_t>(code);
}

qvls_status Resample(Resampler& r, std::span<const std::int16_t> input,
                     std::span<std::int16_t> output, std::int32_t& phase, std::int32_t scale) {
  r.output_length = 0;
  if (r.fir == nullptr) return QVLS_ERR_NULL_POINTER;
  const std::int32_t upsampled = r.input_length * r.up;
  if (r.input_length <= 0 || upsampled > kResamplerBufferSamples ||
      input.size() < static_cast<std::size_t>(r.input_length) ||
      output.size() < static_cast<std::size_t>((upsampled + r.down - 1) / r.down)) {
    return QVLS_ERR_DATA_SIZE;
  }
  // Every block's zeros start at phase 0, so it follows the block before
  // it on the up-sampled grid exactly.
  const std::int32_t up_phase = 0;
  std::int32_t length = 0;
  qvls_status status =
      qvlsUpsample_i16(input.data(), r.input_length, r.upsampled, &length, r.up, &up_phase);
  if (status != QVLS_OK) return status;
  status = qvlsFIRBlock_i16(r.upsampled, r.filtered, length, r.fir, scale + 15);
  if (status != QVLS_OK) return status;
  status = qvlsDownsample_i16(r.filtered, length, output.data(), &length, r.down, &phase);
  if (status == QVLS_OK) r.output_length = length;
  return status;
}

}  // namespace pump
