// The FIR filter as a direct convolution, independent of the library's
// layouts and kernels: the caller's taps divided by 2^s and rounded down (s
// the normalising shift), each output the exact sum of taps times samples
// reduced modulo 2^32, then times 2^(tapsFactor + s - sf) by the scale-factor
// model of the test support (exact rounding, ties to even) and saturated.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "siglib/frame/types.h"

namespace qvls_test::fir {

// How a variant treats |d| >= 32: px and m6 clamp d to 31, a6 and w7 shift
// every bit out (0, or -1 for a negative sum to the right).
enum class LargeShifts { kClampTo31, kShiftOut };

// The smallest s for which every value divided by 2^s, rounded down, has a
// magnitude of at most 32766.
std::int32_t NormalisingShift(std::span<const std::int32_t> values);

// floor(v / 2^s)
std::int64_t Prepared(std::int32_t v, std::int32_t s);

// The output rule for a sum already reduced to 32 bits.
std::int16_t ScaleOutput(std::int32_t sum, std::int32_t taps_factor, std::int32_t sf,
                         LargeShifts large);

class RealModel {
 public:
  // delay: the initial delay line, newest first; empty for silence.
  RealModel(std::span<const std::int32_t> taps, std::int32_t taps_factor,
            std::span<const std::int16_t> delay, LargeShifts large);

  std::int16_t Next(std::int16_t x, std::int32_t sf);
  std::vector<std::int16_t> Run(std::span<const std::int16_t> xs, std::int32_t sf);
  std::vector<std::int16_t> DelayLine() const;  // newest first

  std::int32_t shift() const { return shift_; }

 private:
  std::vector<std::int64_t> h_;  // prepared, natural order
  std::int32_t shift_;
  std::int32_t taps_factor_;
  std::deque<std::int16_t> history_;  // newest first, len samples
  LargeShifts large_;
};

class ComplexModel {
 public:
  ComplexModel(std::span<const qvls_ci32> taps, std::int32_t taps_factor,
               std::span<const qvls_ci16> delay, LargeShifts large);

  qvls_ci16 Next(qvls_ci16 x, std::int32_t sf);
  std::vector<qvls_ci16> Run(std::span<const qvls_ci16> xs, std::int32_t sf);
  std::vector<qvls_ci16> DelayLine() const;

 private:
  std::vector<std::int64_t> re_, im_;
  std::int32_t taps_factor_;
  std::deque<qvls_ci16> history_;
  LargeShifts large_;
};

}  // namespace qvls_test::fir
