// What the LMS tests share: the entries of each kind, a filter that owns a
// state made by one variant and calls that variant's entries (checking the
// status and the floating-point settings of every call), and an independent
// model of the filter.
//
// The model keeps the history in time order (oldest first) and the taps in
// the caller's order and computes in 64 bits before it wraps to 32; it knows
// nothing of the doubled line, the stored order or the windows' positions.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "siglib/frame/slots.h"
#include "siglib/lms/lms_state.h"
#include "siglib/tests/support/fp_env.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

inline bool operator==(qvls_ci16 a, qvls_ci16 b) { return a.re == b.re && a.im == b.im; }
inline bool operator==(qvls_ci32 a, qvls_ci32 b) { return a.re == b.re && a.im == b.im; }
inline std::ostream& operator<<(std::ostream& os, qvls_ci16 z) {
  return os << "(" << z.re << ", " << z.im << ")";
}
inline std::ostream& operator<<(std::ostream& os, qvls_ci32 z) {
  return os << "(" << z.re << ", " << z.im << ")";
}

namespace qvls_test::lms {

using Records = qvls_variant_records;

inline constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
inline constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct Real {
  using Tap = std::int32_t;
  using Sample = std::int16_t;
  using Out = std::int32_t;
  using Error = std::int32_t;
  static constexpr const char* kName = "real";
  static constexpr auto kCreate = &Records::qvlsLMSCreate_i16;
  static constexpr auto kDestroy = &Records::qvlsLMSDestroy_i16;
  static constexpr auto kSetTaps = &Records::qvlsLMSSetTaps_i16;
  static constexpr auto kGetTaps = &Records::qvlsLMSGetTaps_i16;
  static constexpr auto kTapsPtr = &Records::qvlsLMSTapsPtr_i16;
  static constexpr auto kSetDelayLine = &Records::qvlsLMSSetDelayLine_i16;
  static constexpr auto kGetDelayLine = &Records::qvlsLMSGetDelayLine_i16;
  static constexpr auto kGetDelayValue = &Records::qvlsLMSGetDelayValue_i16;
  static constexpr auto kSetStep = &Records::qvlsLMSSetStep_i16;
  static constexpr auto kPush = &Records::qvlsLMSPush_i16;
  static constexpr auto kOutput = &Records::qvlsLMSOutput_i16;
  static constexpr auto kPushOutput = &Records::qvlsLMSPushOutput_i16;
  static constexpr auto kUpdate = &Records::qvlsLMSUpdate_i16;
};

struct Complex {
  using Tap = qvls_ci32;
  using Sample = qvls_ci16;
  using Out = qvls_ci32;
  using Error = qvls_ci32;
  static constexpr const char* kName = "complex";
  static constexpr auto kCreate = &Records::qvlsLMSCreate_ci16;
  static constexpr auto kDestroy = &Records::qvlsLMSDestroy_ci16;
  static constexpr auto kSetTaps = &Records::qvlsLMSSetTaps_ci16;
  static constexpr auto kGetTaps = &Records::qvlsLMSGetTaps_ci16;
  static constexpr auto kTapsPtr = &Records::qvlsLMSTapsPtr_ci16;
  static constexpr auto kSetDelayLine = &Records::qvlsLMSSetDelayLine_ci16;
  static constexpr auto kGetDelayLine = &Records::qvlsLMSGetDelayLine_ci16;
  static constexpr auto kGetDelayValue = &Records::qvlsLMSGetDelayValue_ci16;
  static constexpr auto kSetStep = &Records::qvlsLMSSetStep_ci16;
  static constexpr auto kPush = &Records::qvlsLMSPush_ci16;
  static constexpr auto kOutput = &Records::qvlsLMSOutput_ci16;
  static constexpr auto kPushOutput = &Records::qvlsLMSPushOutput_ci16;
  static constexpr auto kUpdate = &Records::qvlsLMSUpdate_ci16;
};

template <class K>
constexpr bool kIsComplex = std::is_same_v<K, Complex>;

// The variant's entry of one operation: EntryOf<Real::kPush>(v).
template <auto kRecord>
auto* EntryOf(Variant v) {
  return (qvls_variant_table.*kRecord).entry[v];
}

// The shape of a filter and what it starts with.
template <class K>
struct FilterSpec {
  std::int32_t tapsLen = 1;
  std::int32_t delayStep = 1;
  std::int32_t updateDelay = 0;
  std::int32_t index = 0;
  std::int32_t mu = 0;
  std::vector<typename K::Tap> taps{};     // caller's order; empty: null (all 0)
  std::vector<typename K::Sample> line{};  // slot order; empty: null (all 0)

  std::int32_t delayLen() const { return tapsLen * delayStep + updateDelay; }
};

// Any 16-bit value, -32768 drawn often.
inline std::int16_t RandomWord(Rng& rng) {
  return rng.Chance(1, 4) ? std::int16_t{-32768} : rng.WithEdges<std::int16_t>(6);
}

template <class K>
typename K::Sample RandomSample(Rng& rng) {
  if constexpr (kIsComplex<K>) {
    return {RandomWord(rng), RandomWord(rng)};
  } else {
    return RandomWord(rng);
  }
}

// A tap whose high half is -32768 one time in four, any low half.
inline std::int32_t RandomTapWord(Rng& rng) {
  const std::int32_t high = rng.Chance(1, 4) ? -32768 : rng.WithEdges<std::int16_t>(6);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(high) << 16 |
                                   rng.Any<std::uint16_t>());
}

template <class K>
typename K::Tap RandomTap(Rng& rng) {
  if constexpr (kIsComplex<K>) {
    return {RandomTapWord(rng), RandomTapWord(rng)};
  } else {
    return RandomTapWord(rng);
  }
}

template <class K>
std::vector<typename K::Sample> RandomSamples(Rng& rng, std::size_t n) {
  std::vector<typename K::Sample> v(n);
  for (auto& x : v) x = RandomSample<K>(rng);
  return v;
}

template <class K>
std::vector<typename K::Tap> RandomTaps(Rng& rng, std::size_t n) {
  std::vector<typename K::Tap> v(n);
  for (auto& t : v) t = RandomTap<K>(rng);
  return v;
}

// A state made by one variant's create, destroyed with the scope; every
// other call goes through the same variant's entries and must succeed.
template <class K>
class Filter {
 public:
  using Tap = typename K::Tap;
  using Sample = typename K::Sample;
  using Out = typename K::Out;

  Filter(Variant v, const FilterSpec<K>& setup) : variant_(v) {
    const qvls_status status = CallKeepingFpSettings(
        EntryOf<K::kCreate>(v), &state_, setup.taps.empty() ? nullptr : setup.taps.data(),
        setup.tapsLen, setup.line.empty() ? nullptr : setup.line.data(), setup.index,
        setup.delayStep, setup.updateDelay, setup.mu);
    EXPECT_EQ(status, QVLS_OK) << VariantTag(v) << " " << K::kName << " create";
  }
  ~Filter() {
    if (state_ != nullptr) {
      EXPECT_EQ(EntryOf<K::kDestroy>(variant_)(state_), QVLS_OK);
    }
  }
  Filter(const Filter&) = delete;
  Filter& operator=(const Filter&) = delete;

  bool ok() const { return state_ != nullptr; }
  lms_state* state() const { return state_; }
  Variant variant() const { return variant_; }

  void Push(Sample x) { Expect(EntryOf<K::kPush>(variant_), Word(x), state_); }
  Out Output() {
    Out out{};
    Expect(EntryOf<K::kOutput>(variant_), &out, state_);
    return out;
  }
  Out PushOutput(Sample x) {
    Out out{};
    Expect(EntryOf<K::kPushOutput>(variant_), Word(x), &out, state_);
    return out;
  }
  void Update(typename K::Error e) {
    if constexpr (kIsComplex<K>) {
      Expect(EntryOf<K::kUpdate>(variant_), e.re, e.im, state_);
    } else {
      Expect(EntryOf<K::kUpdate>(variant_), e, state_);
    }
  }
  void SetStep(std::int32_t mu) { Expect(EntryOf<K::kSetStep>(variant_), state_, mu); }
  void SetTaps(const std::vector<Tap>& taps) {
    Expect(EntryOf<K::kSetTaps>(variant_), state_, taps.empty() ? nullptr : taps.data());
  }
  void SetDelayLine(const std::vector<Sample>& line, std::int32_t index) {
    Expect(EntryOf<K::kSetDelayLine>(variant_), state_, line.empty() ? nullptr : line.data(),
           index);
  }
  std::vector<Tap> Taps() {
    std::vector<Tap> taps(state_->tapsLen);
    Expect(EntryOf<K::kGetTaps>(variant_), state_, taps.data());
    return taps;
  }
  // The delayLen samples in slot order and the index.
  std::vector<Sample> Line(std::int32_t* index) {
    std::vector<Sample> line(state_->delayLen);
    Expect(EntryOf<K::kGetDelayLine>(variant_), state_, line.data(), index);
    return line;
  }
  Sample DelayValue(std::int32_t offset) {
    Sample x{};
    Expect(EntryOf<K::kGetDelayValue>(variant_), state_, &x, offset);
    return x;
  }

 private:
  // The by-value sample argument: the real one widened to 32 bits.
  static auto Word(Sample x) {
    if constexpr (kIsComplex<K>) {
      return x;
    } else {
      return std::int32_t{x};
    }
  }
  template <class Fn, class... Args>
  void Expect(Fn* entry, Args... args) {
    EXPECT_EQ(CallKeepingFpSettings(entry, args...), QVLS_OK) << VariantTag(variant_);
  }

  Variant variant_;
  lms_state* state_ = nullptr;
};

// The raw contents of a state: the record's fields, the stored taps and the
// whole doubled line, for checks that an operation changed nothing.
struct Snapshot {
  std::uint32_t marker;
  std::int32_t fields[7];
  std::vector<std::int32_t> taps;
  std::vector<std::int16_t> delay;
  bool operator==(const Snapshot&) const = default;
};

template <class K>
Snapshot Snap(const lms_state& s) {
  constexpr int kWords = kIsComplex<K> ? 2 : 1;
  return {s.marker,
          {s.tapsLen, s.delayStep, s.delayLen, s.updateDelay, s.index, s.mu, s.shift},
          std::vector<std::int32_t>(s.taps, s.taps + kWords * s.tapsLen),
          std::vector<std::int16_t>(s.delay, s.delay + 2 * kWords * s.delayLen)};
}

// The scaled error, from the definition: mu * error wrapped to 32 bits, plus
// 16384 wrapped again, divided by 2^15 rounding toward minus infinity.
inline std::int32_t ModelScaledError(std::int32_t mu, std::int32_t error) {
  const auto e = static_cast<std::int32_t>(std::int64_t{mu} * error);
  const auto biased = static_cast<std::int32_t>(std::int64_t{e} + 16384);
  const std::int64_t q = biased / 32768;
  return static_cast<std::int32_t>(biased % 32768 < 0 ? q - 1 : q);
}

template <class K>
class Model {
 public:
  using Tap = typename K::Tap;
  using Sample = typename K::Sample;
  using Out = typename K::Out;

  explicit Model(const FilterSpec<K>& setup)
      : step_(setup.delayStep),
        update_delay_(setup.updateDelay),
        mu_(setup.mu),
        index_(setup.index),
        taps_(setup.taps) {
    const std::int32_t n = setup.delayLen();
    if (taps_.empty()) taps_.assign(setup.tapsLen, Tap{});
    history_.assign(n, Sample{});
    if (!setup.line.empty()) {
      for (std::int32_t j = 0; j < n; ++j) history_[j] = setup.line[(setup.index + j) % n];
    }
  }

  void Push(Sample x) {
    history_.erase(history_.begin());
    history_.push_back(x);
    index_ = (index_ + 1) % static_cast<std::int32_t>(history_.size());
  }
  // x[n - age], age 0 the newest.
  Sample Back(std::int32_t age) const { return history_[history_.size() - 1 - age]; }

  Out Output() const {
    if constexpr (kIsComplex<K>) {
      std::int64_t re = 0;
      std::int64_t im = 0;
      for (std::size_t k = 0; k < taps_.size(); ++k) {
        const Sample x = Back(static_cast<std::int32_t>(k) * step_);
        const std::int64_t hr = taps_[k].re >> 16;
        const std::int64_t hi = taps_[k].im >> 16;
        re += hr * x.re - hi * x.im;
        im += hi * x.re + hr * x.im;
      }
      return {static_cast<std::int32_t>(re), static_cast<std::int32_t>(im)};
    } else {
      std::int64_t sum = 0;
      for (std::size_t k = 0; k < taps_.size(); ++k) {
        sum += std::int64_t{taps_[k] >> 16} * Back(static_cast<std::int32_t>(k) * step_);
      }
      return static_cast<std::int32_t>(sum);
    }
  }

  void Update(typename K::Error error) {
    for (std::size_t k = 0; k < taps_.size(); ++k) {
      const Sample x = Back(update_delay_ + static_cast<std::int32_t>(k) * step_);
      if constexpr (kIsComplex<K>) {
        const std::int64_t a = ModelScaledError(mu_, error.re);
        const std::int64_t b = ModelScaledError(mu_, error.im);
        taps_[k].re = static_cast<std::int32_t>(taps_[k].re + a * x.re + b * x.im);
        taps_[k].im = static_cast<std::int32_t>(taps_[k].im + b * x.re - a * x.im);
      } else {
        const std::int64_t s = ModelScaledError(mu_, error);
        taps_[k] = static_cast<std::int32_t>(taps_[k] + s * x);
      }
    }
  }

  void SetStep(std::int32_t mu) { mu_ = mu; }
  const std::vector<Tap>& taps() const { return taps_; }
  std::int32_t index() const { return index_; }
  // The history in slot order: slot index holds the oldest sample.
  std::vector<Sample> Line() const {
    const auto n = static_cast<std::int32_t>(history_.size());
    std::vector<Sample> line(n);
    for (std::int32_t j = 0; j < n; ++j) line[(index_ + j) % n] = history_[j];
    return line;
  }

 private:
  std::int32_t step_;
  std::int32_t update_delay_;
  std::int32_t mu_;
  std::int32_t index_;
  std::vector<Tap> taps_;
  std::vector<Sample> history_;
};

}  // namespace qvls_test::lms
