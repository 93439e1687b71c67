// Sum, mean and norms, generic variant. The sum and the mean take chunks of
// 65536 elements, each summed in two 32-bit accumulators (even and odd
// elements), twelve per step while at least twenty remain, then four per
// step, then the rest.
#include "siglib/reduce/reduce_entries.h"
#include "siglib/reduce/reduce_rules.h"

namespace {

using namespace qvls::reduce;
using qvls::LoadAt;

std::int32_t ChunkSum(const std::int16_t* p, std::int32_t len) {
  std::int32_t even = 0;
  std::int32_t odd = 0;
  std::int32_t i = 0;
  auto pairs = [&](std::int32_t count) {
    for (std::int32_t k = 0; k < count; k += 2) {
      even += LoadAt(p, i + k);
      odd += LoadAt(p, i + k + 1);
    }
    i += count;
  };
  while (len - i >= 20) pairs(12);
  while (len - i >= 4) pairs(4);
  for (; i < len; ++i) even += LoadAt(p, i);
  return even + odd;
}

std::int64_t ExactSum(const std::int16_t* p, std::int32_t len) {
  std::int64_t total = 0;
  for (std::int32_t done = 0; done < len; done += kChunk) {
    total += ChunkSum(p + done, len - done < kChunk ? len - done : kChunk);
  }
  return total;
}

// |s| * 2^-sf / len, rounded to nearest with ties to even by an explicit rule
// (not by the rounding mode in force), then given the sign of s, saturated.
std::int16_t GenericMean(std::int64_t s, std::int32_t len, std::int32_t sf) {
  const double q = MeanQuotient(static_cast<double>(s < 0 ? -s : s), len, sf);
  if (q >= 32768.0) return s < 0 ? INT16_MIN : INT16_MAX;
  const auto magnitude = static_cast<std::int32_t>(qvls::RoundHalfEven(q));
  return qvls::Saturate16(s < 0 ? -magnitude : magnitude);
}

std::uint32_t LargestAbs(const std::int16_t* p, std::int32_t len) {
  std::uint32_t even = AbsAt(p, 0);
  std::uint32_t odd = 0;
  std::int32_t i = 1;
  for (; len - i >= 2; i += 2) {
    odd = AbsAt(p, i) > odd ? AbsAt(p, i) : odd;
    even = AbsAt(p, i + 1) > even ? AbsAt(p, i + 1) : even;
  }
  if (i < len) odd = AbsAt(p, i) > odd ? AbsAt(p, i) : odd;
  return even > odd ? even : odd;
}

std::uint32_t AbsSum(const std::int16_t* p, std::int32_t len) {
  return SumOver<std::uint32_t>(0, len, [p](std::int32_t i) { return AbsAt(p, i); });
}

std::uint64_t Squares(const std::int16_t* p, std::int32_t len) {
  std::uint64_t even = 0;
  std::uint64_t odd = 0;
  std::int32_t i = 0;
  for (; len - i >= 6; i += 6) {
    even += SquareAt(p, i) + SquareAt(p, i + 2) + SquareAt(p, i + 4);
    odd += SquareAt(p, i + 1) + SquareAt(p, i + 3) + SquareAt(p, i + 5);
  }
  return even + odd +
         SumOver<std::uint64_t>(i, len, [p](std::int32_t k) { return SquareAt(p, k); });
}

std::uint32_t AbsDiffSum(const std::int16_t* a, const std::int16_t* b, std::int32_t len) {
  return SumOver<std::uint32_t>(0, len, [a, b](std::int32_t i) { return AbsDiffAt(a, b, i); });
}

}  // namespace

qvls_status qvlsSum_i16toi32_sc_px(const std::int16_t* src, std::int32_t len, std::int32_t* result,
                                   std::int32_t sf) {
  return Sum<ExactSum>(src, len, result, sf);
}

qvls_status qvlsMean_i16_sc_px(const std::int16_t* src, std::int32_t len, std::int16_t* result,
                               std::int32_t sf) {
  if (const qvls_status status = Check(src, len, result); status != QVLS_OK) return status;
  *result = GenericMean(ExactSum(src, len), len, sf);
  return QVLS_OK;
}

QVLS_DEFINE_NORM_ENTRIES(px, LargestAbs, AbsSum, Squares, AbsDiffSum)
