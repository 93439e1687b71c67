// Filter states for the benchmarks, each built by one variant's own entries:
// FIR states in a block of the library's allocator with low-pass taps, and
// LMS states with random taps and history. Random samples to feed them.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "siglib/frame/slots.h"

namespace qvls_bench {

inline std::vector<std::int32_t> LowPassTaps(std::int64_t len) {
  std::vector<std::int32_t> taps(len);
  for (std::int64_t k = 0; k < len; ++k) {
    const double x = (k - (len - 1) / 2.0) / 4.0;
    taps[k] = static_cast<std::int32_t>(std::lround(30000.0 * (x == 0 ? 1.0 : std::sin(x) / x)));
  }
  return taps;
}

// n samples uniform in [-20000, 20000], the same for a seed on every run.
inline std::vector<std::int16_t> RandomSamples(std::size_t n, unsigned seed = 14) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<int> pick(-20000, 20000);
  std::vector<std::int16_t> xs(n);
  for (auto& x : xs) x = static_cast<std::int16_t>(pick(engine));
  return xs;
}

// A FIR state of `column` in an aligned block, freed at the end of its scope.
class FirState {
 public:
  FirState(std::int32_t column, std::int64_t taps, bool complex) {
    const auto len = static_cast<std::int32_t>(taps);
    std::int32_t size = 0;
    const auto& t = qvls_variant_table;
    (complex ? t.qvlsFIRStateSize_ci16 : t.qvlsFIRStateSize_i16).entry[column](len, &size);
    buffer_ = t.qvlsAlloc_u8.entry[column](size);
    const std::vector<std::int32_t> real = LowPassTaps(len);
    if (complex) {
      std::vector<qvls_ci32> pairs(len);
      for (std::int32_t k = 0; k < len; ++k) pairs[k] = {real[k], real[len - 1 - k] / 3};
      t.qvlsFIRInit_ci16.entry[column](&state_, pairs.data(), len, 0, nullptr, buffer_);
    } else {
      t.qvlsFIRInit_i16.entry[column](&state_, real.data(), len, 0, nullptr, buffer_);
    }
  }
  ~FirState() { qvls_variant_table.qvlsFree.entry[0](buffer_); }
  FirState(const FirState&) = delete;
  FirState& operator=(const FirState&) = delete;

  fir_state* get() const { return state_; }

 private:
  std::uint8_t* buffer_ = nullptr;
  fir_state* state_ = nullptr;
};

// An LMS state of `column` (real or complex) with random taps and history
// and step size 1000, taken down by that column's destroy.
class LmsState {
 public:
  LmsState(std::int32_t column, bool complex, std::int32_t taps, std::int32_t delay_step,
           std::int32_t update_delay) {
    std::mt19937 engine(static_cast<unsigned>(taps * 31 + delay_step));
    std::uniform_int_distribution<std::int32_t> tap(-(1 << 26), 1 << 26), sample(-20000, 20000);
    const auto line_len = static_cast<std::size_t>(taps * delay_step + update_delay);
    const auto& t = qvls_variant_table;
    if (complex) {
      std::vector<qvls_ci32> h(taps);
      for (auto& x : h) x = {tap(engine), tap(engine)};
      std::vector<qvls_ci16> line(line_len);
      for (auto& x : line) {
        x = {static_cast<std::int16_t>(sample(engine)), static_cast<std::int16_t>(sample(engine))};
      }
      t.qvlsLMSCreate_ci16.entry[column](&state_, h.data(), taps, line.data(), 0, delay_step,
                                         update_delay, 1000);
    } else {
      std::vector<std::int32_t> h(taps);
      for (auto& x : h) x = tap(engine);
      std::vector<std::int16_t> line(line_len);
      for (auto& x : line) x = static_cast<std::int16_t>(sample(engine));
      t.qvlsLMSCreate_i16.entry[column](&state_, h.data(), taps, line.data(), 0, delay_step,
                                        update_delay, 1000);
    }
    destroy_ = t.qvlsLMSDestroy_i16.entry[column];
  }
  ~LmsState() { destroy_(state_); }
  LmsState(const LmsState&) = delete;
  LmsState& operator=(const LmsState&) = delete;

  lms_state* get() const { return state_; }

 private:
  lms_state* state_ = nullptr;
  qvlsLMSDestroy_i16_fn* destroy_ = nullptr;
};

}  // namespace qvls_bench
