// Bit reversal, generic variant: the swap-list builder and both
// permutations, moving every element as two 32-bit words.
#include <cstdint>

#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/bitrev/bitrev_lists.h"
#include "siglib/transforms/bitrev/permute.h"

std::int32_t* qvlsFFTSwapList_i32_px(std::int32_t order) {
  return qvls::bitrev::BuildSwapList(order);
}

void qvlsBitReverse_cf32_ip_px(void* data, std::int32_t n, const std::int32_t* list) {
  auto* base = static_cast<std::uint8_t*>(data);
  qvls::bitrev::PermuteInPlace(
      n, list, [=](std::int32_t i, std::int32_t j) { qvls::bitrev::ExchangeWords(base, i, j); });
}

void qvlsBitReverse_cf32_px(const void* src, void* dst, std::int32_t n, const std::int32_t* list) {
  const auto* from = static_cast<const std::uint8_t*>(src);
  auto* to = static_cast<std::uint8_t*>(dst);
  qvls::bitrev::PermuteOutOfPlace(
      n, list, [=](std::int32_t i, std::int32_t j) { qvls::bitrev::CopyWords(to, i, from, j); });
}
