// What the FIR tests share: states built by one variant's set-up in blocks
// of the library's aligned allocator, and the variant's filtering entries
// called with the floating-point settings checked around every call.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "siglib/fir/fir_state.h"
#include "siglib/fir/tests/fir_model.h"
#include "siglib/frame/slots.h"
#include "siglib/tests/support/fp_env.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test::fir {

inline LargeShifts LargeShiftsOf(Variant v) {
  return v == px || v == m6 ? LargeShifts::kClampTo31 : LargeShifts::kShiftOut;
}

// Blocks on a 32-byte boundary, as the library's allocator gives them, but
// of exactly the size asked, so that the sanitizer build sees any access
// beyond their end.
struct FreeAligned {
  void operator()(std::uint8_t* p) const { ::operator delete (p, std::align_val_t{32}); }
};
using AlignedBlock = std::unique_ptr<std::uint8_t, FreeAligned>;

inline AlignedBlock Allocate(std::int32_t bytes) {
  return AlignedBlock(static_cast<std::uint8_t*>(::operator new (bytes, std::align_val_t{32})));
}

// A state made by `builder`'s init (real when the taps are 32-bit values,
// complex for pairs) in a block of the size its size operation asks less
// the 16 bytes that a state never uses.
template <class Tap>
using SampleOf = std::conditional_t<sizeof(Tap) == 4, std::int16_t, qvls_ci16>;

class State {
 public:
  template <class Taps,
            class Tap = std::remove_cvref_t<decltype(*std::data(std::declval<Taps&>()))>>
  State(Variant builder, const Taps& taps, std::int32_t taps_factor,
        const SampleOf<Tap>* delay = nullptr) {
    constexpr bool kComplex = sizeof(Tap) == 8;
    const auto len = static_cast<std::int32_t>(std::size(taps));
    const auto& t = qvls_variant_table;
    std::int32_t size = 0;
    EXPECT_EQ(
        (kComplex ? t.qvlsFIRStateSize_ci16 : t.qvlsFIRStateSize_i16).entry[builder](len, &size),
        QVLS_OK);
    block_ = Allocate(size - 16);
    const auto& init = [&t] {
      if constexpr (kComplex) {
        return t.qvlsFIRInit_ci16;
      } else {
        return t.qvlsFIRInit_i16;
      }
    }();
    EXPECT_EQ(CallKeepingFpSettings(init.entry[builder], &state_, std::data(taps), len, taps_factor,
                                    delay, block_.get()),
              QVLS_OK);
  }

  fir_state* get() const { return state_; }
  fir_state header() const { return qvls::fir::ReadHeader(state_); }

 private:
  AlignedBlock block_;
  fir_state* state_ = nullptr;
};

// ---- the variant's operations, each with its status checked ------------

inline std::vector<std::int16_t> Block(Variant v, fir_state* state,
                                       std::span<const std::int16_t> xs, std::int32_t sf) {
  std::vector<std::int16_t> ys(xs.size());
  EXPECT_EQ(CallKeepingFpSettings(qvls_variant_table.qvlsFIRBlock_i16.entry[v], xs.data(),
                                  ys.data(), static_cast<std::int32_t>(xs.size()), state, sf),
            QVLS_OK);
  return ys;
}

inline std::vector<qvls_ci16> Block(Variant v, fir_state* state, std::span<const qvls_ci16> xs,
                                    std::int32_t sf) {
  std::vector<qvls_ci16> ys(xs.size());
  EXPECT_EQ(CallKeepingFpSettings(qvls_variant_table.qvlsFIRBlock_ci16.entry[v], xs.data(),
                                  ys.data(), static_cast<std::int32_t>(xs.size()), state, sf),
            QVLS_OK);
  return ys;
}

inline std::vector<std::int16_t> InPlace(Variant v, fir_state* state,
                                         std::span<const std::int16_t> xs, std::int32_t sf) {
  std::vector<std::int16_t> ys(xs.begin(), xs.end());
  EXPECT_EQ(CallKeepingFpSettings(qvls_variant_table.qvlsFIRBlock_i16_ip.entry[v], ys.data(),
                                  static_cast<std::int32_t>(ys.size()), state, sf),
            QVLS_OK);
  return ys;
}

inline std::vector<qvls_ci16> InPlace(Variant v, fir_state* state, std::span<const qvls_ci16> xs,
                                      std::int32_t sf) {
  std::vector<qvls_ci16> ys(xs.begin(), xs.end());
  EXPECT_EQ(CallKeepingFpSettings(qvls_variant_table.qvlsFIRBlock_ci16_ip.entry[v], ys.data(),
                                  static_cast<std::int32_t>(ys.size()), state, sf),
            QVLS_OK);
  return ys;
}

inline std::int16_t Sample(Variant v, fir_state* state, std::int16_t x, std::int32_t sf) {
  std::int16_t y = 0;
  EXPECT_EQ(CallKeepingFpSettings(qvls_variant_table.qvlsFIRSample_i16.entry[v], x, &y, state, sf),
            QVLS_OK);
  return y;
}

inline std::vector<std::int16_t> DelayLine(Variant v, const fir_state* state, std::int32_t len) {
  std::vector<std::int16_t> d(len);
  EXPECT_EQ(qvls_variant_table.qvlsFIRGetDelayLine_i16.entry[v](state, d.data()), QVLS_OK);
  return d;
}

inline std::vector<qvls_ci16> ComplexDelayLine(Variant v, const fir_state* state,
                                               std::int32_t len) {
  std::vector<qvls_ci16> d(len);
  EXPECT_EQ(qvls_variant_table.qvlsFIRGetDelayLine_ci16.entry[v](state, d.data()), QVLS_OK);
  return d;
}

}  // namespace qvls_test::fir

// Complex samples compare part by part.
inline bool operator==(const qvls_ci16& a, const qvls_ci16& b) {
  return a.re == b.re && a.im == b.im;
}
inline std::ostream& operator<<(std::ostream& os, const qvls_ci16& v) {
  return os << "{" << v.re << ", " << v.im << "}";
}
