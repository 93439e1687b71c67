#include "siglib/fir/tests/fir_model.h"

#include <algorithm>

#include "siglib/tests/support/scale_model.h"

namespace qvls_test::fir {
namespace {

// Two's-complement reduction of an exact sum to 32 bits.
std::int32_t Wrap32(__int128 v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

std::int32_t Wrap32Difference(std::int32_t a, std::int32_t b) {
  return Wrap32(static_cast<__int128>(a) - b);
}

}  // namespace

std::int64_t Prepared(std::int32_t v, std::int32_t s) {
  const std::int64_t d = std::int64_t{1} << s;
  std::int64_t q = v / d;
  if (q * d != v && v < 0) --q;
  return q;
}

std::int32_t NormalisingShift(std::span<const std::int32_t> values) {
  for (std::int32_t s = 0;; ++s) {
    const bool fits = std::all_of(values.begin(), values.end(), [s](std::int32_t v) {
      const std::int64_t magnitude = v < 0 ? -std::int64_t{v} : std::int64_t{v};
      return (magnitude >> s) <= 32766;
    });
    if (fits) return s;
  }
}

std::int16_t ScaleOutput(std::int32_t sum, std::int32_t taps_factor, std::int32_t sf,
                         LargeShifts large) {
  std::int64_t d = Wrap32Difference(taps_factor, sf);
  if (large == LargeShifts::kClampTo31) {
    d = std::clamp<std::int64_t>(d, -31, 31);
  } else if (d >= 32) {
    return 0;
  } else if (d <= -32) {
    return sum < 0 ? -1 : 0;
  }
  if (d >= 0) return Saturate<std::int16_t>(Wrap32(static_cast<__int128>(sum) << d));
  return ScaleSaturate<std::int16_t>(sum, -d, Rounding::kHalfEven);
}

RealModel::RealModel(std::span<const std::int32_t> taps, std::int32_t taps_factor,
                     std::span<const std::int16_t> delay, LargeShifts large)
    : shift_(NormalisingShift(taps)), taps_factor_(taps_factor), large_(large) {
  for (std::int32_t t : taps) h_.push_back(Prepared(t, shift_));
  history_.assign(taps.size(), 0);
  std::copy(delay.begin(), delay.end(), history_.begin());
}

std::int16_t RealModel::Next(std::int16_t x, std::int32_t sf) {
  history_.push_front(x);
  history_.pop_back();
  __int128 sum = 0;
  for (std::size_t k = 0; k < h_.size(); ++k) sum += static_cast<__int128>(h_[k]) * history_[k];
  const std::int32_t factor = Wrap32(static_cast<__int128>(taps_factor_) + shift_);
  return ScaleOutput(Wrap32(sum), factor, sf, large_);
}

std::vector<std::int16_t> RealModel::Run(std::span<const std::int16_t> xs, std::int32_t sf) {
  std::vector<std::int16_t> ys;
  for (std::int16_t x : xs) ys.push_back(Next(x, sf));
  return ys;
}

std::vector<std::int16_t> RealModel::DelayLine() const {
  return {history_.begin(), history_.end()};
}

ComplexModel::ComplexModel(std::span<const qvls_ci32> taps, std::int32_t taps_factor,
                           std::span<const qvls_ci16> delay, LargeShifts large)
    : large_(large) {
  std::vector<std::int32_t> parts;
  for (const qvls_ci32& t : taps) {
    parts.push_back(t.re);
    parts.push_back(t.im);
  }
  const std::int32_t shift = NormalisingShift(parts);
  for (const qvls_ci32& t : taps) {
    re_.push_back(Prepared(t.re, shift));
    im_.push_back(Prepared(t.im, shift));
  }
  taps_factor_ = Wrap32(static_cast<__int128>(taps_factor) + shift);
  history_.assign(taps.size(), qvls_ci16{0, 0});
  std::copy(delay.begin(), delay.end(), history_.begin());
}

qvls_ci16 ComplexModel::Next(qvls_ci16 x, std::int32_t sf) {
  history_.push_front(x);
  history_.pop_back();
  __int128 re = 0, im = 0;
  for (std::size_t k = 0; k < re_.size(); ++k) {
    re += static_cast<__int128>(re_[k]) * history_[k].re -
          static_cast<__int128>(im_[k]) * history_[k].im;
    im += static_cast<__int128>(re_[k]) * history_[k].im +
          static_cast<__int128>(im_[k]) * history_[k].re;
  }
  return {ScaleOutput(Wrap32(re), taps_factor_, sf, large_),
          ScaleOutput(Wrap32(im), taps_factor_, sf, large_)};
}

std::vector<qvls_ci16> ComplexModel::Run(std::span<const qvls_ci16> xs, std::int32_t sf) {
  std::vector<qvls_ci16> ys;
  for (const qvls_ci16& x : xs) ys.push_back(Next(x, sf));
  return ys;
}

std::vector<qvls_ci16> ComplexModel::DelayLine() const {
  return {history_.begin(), history_.end()};
}

}  // namespace qvls_test::fir
