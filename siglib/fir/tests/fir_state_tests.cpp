#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/fir/tests/fir_harness.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"

namespace qvls_test::fir {
namespace {

using qvls::fir::kMarkerComplex;
using qvls::fir::kMarkerMultiRateComplex;
using qvls::fir::kMarkerMultiRateReal;
using qvls::fir::kMarkerReal;

std::int32_t RealSize(Variant v, std::int32_t len) {
  std::int32_t size = -1;
  EXPECT_EQ(qvls_variant_table.qvlsFIRStateSize_i16.entry[v](len, &size), QVLS_OK);
  return size;
}

std::int32_t ComplexSize(Variant v, std::int32_t len) {
  std::int32_t size = -1;
  EXPECT_EQ(qvls_variant_table.qvlsFIRStateSize_ci16.entry[v](len, &size), QVLS_OK);
  return size;
}

TEST(FirState, SizesPerLayout) {
  struct Row {
    std::int32_t len;
    std::int32_t generic_real, rows_real, generic_complex, paired_complex;
  };
  const Row rows[] = {{1, 16512, 16576, 16512, 16528}, {128, 18784, 18864, 19040, 21088}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.len);
    EXPECT_EQ(RealSize(px, r.len), r.generic_real);
    EXPECT_EQ(RealSize(m6, r.len), r.generic_real);
    EXPECT_EQ(RealSize(a6, r.len), r.generic_real);
    EXPECT_EQ(RealSize(w7, r.len), r.rows_real);
    EXPECT_EQ(ComplexSize(px, r.len), r.generic_complex);
    EXPECT_EQ(ComplexSize(m6, r.len), r.generic_complex);
    EXPECT_EQ(ComplexSize(a6, r.len), r.paired_complex);
    EXPECT_EQ(ComplexSize(w7, r.len), r.paired_complex);
  }
  // The largest generic real state the 32-bit size describes, worked by hand:
  // 64 + 4e8 + (6e8 + 16) + 8e8 + 16384 + 16.
  EXPECT_EQ(RealSize(px, 100'000'000), 1'800'016'480);
}

// The arrays follow the header in the order taps, delay buffer, 16-bit taps,
// work area, each on a 16-byte boundary of the state; the work area of 16 KB
// ends 16 bytes before the size.
TEST(FirState, ArraysLieInOrderOnSixteenByteBoundaries) {
  for (Variant v : kAllVariants) {
    for (std::int32_t len : {1, 2, 3, 4, 5, 7, 8, 9, 13, 64, 165}) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << len);
      const std::vector<std::int32_t> taps(len, 1000);
      const std::vector<qvls_ci32> pairs(len, qvls_ci32{1000, -1000});
      const State real(v, taps, 0);
      const State complex(v, pairs, 0);
      for (const auto& [h, size] : {std::pair{real.header(), RealSize(v, len)},
                                    std::pair{complex.header(), ComplexSize(v, len)}}) {
        EXPECT_EQ(h.taps, 64);
        for (std::int32_t offset : {h.delay, h.taps16, h.work}) EXPECT_EQ(offset % 16, 0);
        EXPECT_LT(h.taps, h.delay);
        EXPECT_LT(h.delay, h.taps16 + 1);  // the generic complex layout has no 16-bit taps
        EXPECT_LE(h.taps16, h.work);
        EXPECT_EQ(h.work + 16384 + 16, size);
      }
    }
  }
}

// The header words the kernels size their work by: prefill (16-bit words
// for complex) and, in the rows layout, the row length.
TEST(FirState, PrefillAndRowLength) {
  struct Row {
    std::int32_t len;
    std::int32_t generic_prefill, row_len, complex_prefill;
  };
  const Row rows[] = {{1, 5, 8, 10},    {4, 5, 8, 10},    {5, 9, 16, 18},
                      {12, 13, 16, 26}, {13, 17, 24, 34}, {165, 169, 176, 338}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.len);
    const std::vector<std::int32_t> taps(r.len, 1);
    const std::vector<qvls_ci32> pairs(r.len, qvls_ci32{1, 1});
    for (Variant v : kAllVariants) {
      const fir_state real = State(v, taps, 0).header();
      EXPECT_EQ(real.len, r.len);
      EXPECT_EQ(real.prefill, v == w7 ? r.row_len : r.generic_prefill);
      if (v == w7) {
        EXPECT_EQ(real.row_len, r.row_len);
      }
      EXPECT_EQ(State(v, pairs, 0).header().prefill, r.complex_prefill);
    }
  }
}

// Create asks the allocator for the size less its 16 unused bytes; the
// allocator adds its own 40 bytes of alignment and bookkeeping.
TEST(FirState, CreateAllocatesTheSizeWithoutTheSlack) {
  plat::ex::Pool pool("fir");
  plat::ex::ScopedPool installed(pool);
  std::vector<SIZE_T> requests;
  pool.SetObserver([&](const plat::ex::PoolEvent& e) {
    if (e.kind == plat::ex::PoolEvent::Kind::Allocate) requests.push_back(e.bytes);
  });
  const std::int32_t taps[] = {1, 2, 3};
  const qvls_ci32 pairs[] = {{1, 2}, {3, 4}, {5, 6}};
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(VariantTag(v));
    requests.clear();
    fir_state* real = nullptr;
    fir_state* complex = nullptr;
    ASSERT_EQ(qvls_variant_table.qvlsFIRCreate_i16.entry[v](&real, taps, 3, 0, nullptr), QVLS_OK);
    ASSERT_EQ(qvls_variant_table.qvlsFIRCreate_ci16.entry[v](&complex, pairs, 3, 0, nullptr),
              QVLS_OK);
    EXPECT_EQ(requests, (std::vector<SIZE_T>{static_cast<SIZE_T>(RealSize(v, 3) - 16 + 40),
                                             static_cast<SIZE_T>(ComplexSize(v, 3) - 16 + 40)}));
    EXPECT_EQ(qvls::fir::ReadHeader(real).owned, 1);
    EXPECT_EQ(qvls_variant_table.qvlsFIRDestroy_i16.entry[v](real), QVLS_OK);
    EXPECT_EQ(qvls_variant_table.qvlsFIRDestroy_ci16.entry[v](complex), QVLS_OK);
    EXPECT_EQ(pool.Live(), plat::ex::PoolUsage{});
  }
}

// The prepared taps as the header holds them (reversed: word i is tap
// len-1-i) and the factor that gives the normalising shift back.
TEST(FirState, NormalisingShiftTable) {
  constexpr std::int32_t kMin = INT32_MIN;
  struct RealRow {
    std::vector<std::int32_t> taps;
    std::int32_t taps_factor;
    std::int32_t shift;
    std::vector<std::int32_t> prepared;  // natural order
  };
  const RealRow real_rows[] = {
      {{32766, -5}, 3, 0, {32766, -5}},
      {{-32766, 100}, 0, 0, {-32766, 100}},
      {{32767, 1}, 0, 1, {16383, 0}},
      {{-32767}, 0, 1, {-16384}},
      {{7, -32767, 3}, -4, 1, {3, -16384, 1}},
      {{65533}, 0, 1, {32766}},
      {{65534, -1}, 0, 2, {16383, -1}},
      {{1000, kMin}, 0, 17, {0, -16384}},
      {{INT32_MAX, kMin, -1}, 5, 17, {16383, -16384, -1}},
      {{0, 0, 0}, 9, 0, {0, 0, 0}},
      {{32767}, INT32_MAX, 1, {16383}},  // the factor wraps to INT32_MIN
  };
  struct ComplexRow {
    std::vector<qvls_ci32> taps;
    std::int32_t shift;
    std::vector<qvls_ci32> prepared;
  };
  const ComplexRow complex_rows[] = {
      {{{100, -40000}}, 1, {{50, -20000}}},
      {{{32767, 5}, {3, -9}}, 1, {{16383, 2}, {1, -5}}},
      {{{-3, 32766}, {32766, -32766}}, 0, {{-3, 32766}, {32766, -32766}}},
      {{{0, kMin}, {-1, 1}}, 17, {{0, -16384}, {-1, 0}}},
  };
  for (Variant v : kAllVariants) {
    for (const RealRow& r : real_rows) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " real, first tap " << r.taps[0]);
      const State s(v, r.taps, r.taps_factor);
      const fir_state h = s.header();
      EXPECT_EQ(h.taps_factor, static_cast<std::int32_t>(static_cast<std::uint32_t>(r.taps_factor) +
                                                         static_cast<std::uint32_t>(r.shift)));
      const auto* prepared = qvls::fir::ArrayAt<const std::int32_t>(s.get(), h.taps);
      for (std::size_t i = 0; i < r.prepared.size(); ++i) {
        EXPECT_EQ(prepared[r.prepared.size() - 1 - i], r.prepared[i]) << "tap " << i;
      }
    }
    for (const ComplexRow& r : complex_rows) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " complex, first tap " << r.taps[0].re);
      const State s(v, r.taps, 10);
      const fir_state h = s.header();
      EXPECT_EQ(h.taps_factor, 10 + r.shift);
      const auto* prepared = qvls::fir::ArrayAt<const qvls_ci32>(s.get(), h.taps);
      for (std::size_t i = 0; i < r.prepared.size(); ++i) {
        const qvls_ci32 t = prepared[r.prepared.size() - 1 - i];
        EXPECT_EQ(t.re, r.prepared[i].re) << "tap " << i;
        EXPECT_EQ(t.im, r.prepared[i].im) << "tap " << i;
      }
    }
  }
}

TEST(FirState, DelayLineRoundTrip) {
  Rng rng("FirState.DelayLineRoundTrip");
  for (Variant v : kAllVariants) {
    for (std::int32_t len : {1, 2, 5, 16, 17, 33}) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << len);
      const auto taps = rng.Vector<std::int32_t>(len);
      const auto given = rng.Vector<std::int16_t>(len);
      const auto other = rng.Vector<std::int16_t>(len);
      const std::vector<std::int16_t> silence(len, 0);

      const State with(v, taps, 0, given.data());
      EXPECT_EQ(DelayLine(v, with.get(), len), given);

      // A buffer that held something else still starts silent.
      const State without(v, taps, 0);
      EXPECT_EQ(DelayLine(v, without.get(), len), silence);

      // Set after one-sample calls: the index goes back to 0, the history is
      // the given line, and filtering goes on from it.
      RealModel model(taps, 0, other, LargeShiftsOf(v));
      for (std::int32_t k = 0; k < len + 2; ++k) Sample(v, with.get(), rng.Any<std::int16_t>(), 0);
      ASSERT_EQ(qvls_variant_table.qvlsFIRSetDelayLine_i16.entry[v](with.get(), other.data()),
                QVLS_OK);
      EXPECT_EQ(with.header().index, 0);
      EXPECT_EQ(DelayLine(v, with.get(), len), other);
      const auto xs = rng.Vector<std::int16_t>(3);
      for (std::int16_t x : xs) EXPECT_EQ(Sample(v, with.get(), x, 15), model.Next(x, 15));
      EXPECT_EQ(DelayLine(v, with.get(), len), model.DelayLine());

      ASSERT_EQ(qvls_variant_table.qvlsFIRSetDelayLine_i16.entry[v](with.get(), nullptr), QVLS_OK);
      EXPECT_EQ(with.header().index, 0);
      EXPECT_EQ(DelayLine(v, with.get(), len), silence);

      const auto cpairs = [&] {
        std::vector<qvls_ci16> p(len);
        for (auto& e : p) e = {rng.Any<std::int16_t>(), rng.Any<std::int16_t>()};
        return p;
      };
      const auto ctaps = std::vector<qvls_ci32>(len, qvls_ci32{rng.Any<std::int32_t>(), 7});
      const auto cgiven = cpairs();
      const State cwith(v, ctaps, 0, cgiven.data());
      EXPECT_EQ(ComplexDelayLine(v, cwith.get(), len), cgiven);
      const State cwithout(v, ctaps, 0);
      EXPECT_EQ(ComplexDelayLine(v, cwithout.get(), len), std::vector<qvls_ci16>(len, {0, 0}));
    }
  }
}

// ---- checks -----------------------------------------------------------

// The checks of every operation for one variant, in groups; the taps and
// samples are small and fixed.
class Checks {
 public:
  explicit Checks(Variant v) : v_(v) {}
  void StateOperations();
  void SetUp();
  void CreateWithAFailingPool();
  void DestroyOfAnInitialisedStateKeepsItUsable();
  void ForeignLayouts();
  void MultiRateDelayLines();

 private:
  const Variant v_;
  static constexpr std::int32_t kLen = 5;
  const std::int32_t taps_[kLen] = {100, -200, 300, -400, 500};
  const qvls_ci32 pairs_[kLen] = {{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}};
  std::int16_t xs_[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  qvls_ci16 cxs_[8] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}};
};

// Each call against a state marked `marker` answers `expected` and leaves
// the state as it was: a failed check, or no work to do.
struct CheckRow {
  const char* what;
  std::uint32_t marker;
  qvls_status expected;
  std::function<qvls_status(Variant, fir_state*)> call;
};

void Checks::StateOperations() {
  const Variant v = v_;
  auto& t = qvls_variant_table;
  std::int16_t out = 0;
  std::int16_t line[kLen];
  qvls_ci16 cline[kLen];
  std::int16_t ys[8];
  qvls_ci16 cys[8];
  const CheckRow rows[] = {
      // one sample: the state first, then its marker (FI11 too), then out
      {"sample, null state", 0, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state*) { return t.qvlsFIRSample_i16.entry[c](1, &out, nullptr, 0); }},
      {"sample, complex state", kMarkerComplex, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRSample_i16.entry[c](1, nullptr, s, 0); }},
      {"sample, multi-rate", kMarkerMultiRateReal, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRSample_i16.entry[c](1, &out, s, 0); }},
      {"sample, null out", kMarkerReal, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state* s) { return t.qvlsFIRSample_i16.entry[c](1, nullptr, s, 0); }},
      // blocks: state, marker (multi-rate routed before the pointers), src, dst, n
      {"block, null state", 0, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state*) { return t.qvlsFIRBlock_i16.entry[c](xs_, ys, 8, nullptr, 0); }},
      {"block, complex state", kMarkerComplex, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16.entry[c](nullptr, ys, 0, s, 0); }},
      {"block, multi-rate", kMarkerMultiRateReal, QVLS_ERR_NOT_SUPPORTED,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16.entry[c](nullptr, ys, 0, s, 0); }},
      {"block, null src", kMarkerReal, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16.entry[c](nullptr, ys, 0, s, 0); }},
      {"block, null dst", kMarkerReal, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16.entry[c](xs_, nullptr, 0, s, 0); }},
      {"block, n 0", kMarkerReal, QVLS_ERR_DATA_SIZE,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16.entry[c](xs_, ys, 0, s, 0); }},
      {"block, n -1", kMarkerReal, QVLS_ERR_DATA_SIZE,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16.entry[c](xs_, ys, -1, s, 0); }},
      {"complex block, real state", kMarkerReal, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_ci16.entry[c](cxs_, cys, 8, s, 0); }},
      {"complex block, multi-rate", kMarkerMultiRateComplex, QVLS_ERR_NOT_SUPPORTED,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_ci16.entry[c](cxs_, cys, 8, s, 0); }},
      {"complex block, real multi-rate", kMarkerMultiRateReal, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_ci16.entry[c](cxs_, cys, 8, s, 0); }},
      {"complex block, null dst", kMarkerComplex, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state* s) {
         return t.qvlsFIRBlock_ci16.entry[c](cxs_, nullptr, 8, s, 0);
       }},
      {"complex block, n 0", kMarkerComplex, QVLS_ERR_DATA_SIZE,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_ci16.entry[c](cxs_, cys, 0, s, 0); }},
      // in place: state, marker, multi-rate; then n <= 0 is no work, then the pointer
      {"in place, null state", 0, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state*) { return t.qvlsFIRBlock_i16_ip.entry[c](xs_, 8, nullptr, 0); }},
      {"in place, complex state", kMarkerComplex, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16_ip.entry[c](nullptr, 0, s, 0); }},
      {"in place, multi-rate", kMarkerMultiRateReal, QVLS_ERR_NOT_SUPPORTED,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16_ip.entry[c](nullptr, 0, s, 0); }},
      {"in place, n 0", kMarkerReal, QVLS_OK,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16_ip.entry[c](nullptr, 0, s, 0); }},
      {"in place, n -7", kMarkerReal, QVLS_OK,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16_ip.entry[c](xs_, -7, s, 0); }},
      {"in place, null srcdst", kMarkerReal, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_i16_ip.entry[c](nullptr, 8, s, 0); }},
      {"complex in place, real state", kMarkerReal, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_ci16_ip.entry[c](cxs_, 8, s, 0); }},
      {"complex in place, multi-rate", kMarkerMultiRateComplex, QVLS_ERR_NOT_SUPPORTED,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_ci16_ip.entry[c](cxs_, -1, s, 0); }},
      {"complex in place, n 0", kMarkerComplex, QVLS_OK,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_ci16_ip.entry[c](nullptr, 0, s, 0); }},
      {"complex in place, null srcdst", kMarkerComplex, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state* s) { return t.qvlsFIRBlock_ci16_ip.entry[c](nullptr, 1, s, 0); }},
      // delay line: get tests both pointers before the marker
      {"set, null state", 0, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state*) { return t.qvlsFIRSetDelayLine_i16.entry[c](nullptr, line); }},
      {"set, complex state", kMarkerComplex, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRSetDelayLine_i16.entry[c](s, line); }},
      {"get, null dst", kMarkerComplex, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state* s) { return t.qvlsFIRGetDelayLine_i16.entry[c](s, nullptr); }},
      {"get, null state", 0, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state*) { return t.qvlsFIRGetDelayLine_i16.entry[c](nullptr, line); }},
      {"get, complex state", kMarkerComplex, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRGetDelayLine_i16.entry[c](s, line); }},
      {"complex get, real state", kMarkerReal, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRGetDelayLine_ci16.entry[c](s, cline); }},
      {"complex get, null dst", kMarkerReal, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state* s) { return t.qvlsFIRGetDelayLine_ci16.entry[c](s, nullptr); }},
      // destroy: its own marker and its multi-rate one
      {"destroy, null", 0, QVLS_ERR_NULL_POINTER,
       [&](Variant c, fir_state*) { return t.qvlsFIRDestroy_i16.entry[c](nullptr); }},
      {"destroy, complex state", kMarkerComplex, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRDestroy_i16.entry[c](s); }},
      {"complex destroy, real state", kMarkerReal, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRDestroy_ci16.entry[c](s); }},
      {"complex destroy, real multi-rate", kMarkerMultiRateReal, QVLS_ERR_CONTEXT_MISMATCH,
       [&](Variant c, fir_state* s) { return t.qvlsFIRDestroy_ci16.entry[c](s); }},
  };
  for (const CheckRow& r : rows) {
    SCOPED_TRACE(r.what);
    // A state of the marker's kind, built by this variant, then re-marked.
    const bool complex = r.marker == kMarkerComplex || r.marker == kMarkerMultiRateComplex;
    std::unique_ptr<State> s = complex ? std::make_unique<State>(v, std::span(pairs_), 0)
                                       : std::make_unique<State>(v, std::span(taps_), 0);
    std::memcpy(s->get(), &r.marker, sizeof r.marker);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(s->get());
    const std::int32_t size = complex ? ComplexSize(v, kLen) : RealSize(v, kLen);
    const std::vector<std::uint8_t> before(bytes, bytes + size - 16);
    EXPECT_EQ(CallKeepingFpSettings(r.call, v, s->get()), r.expected);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + size - 16), before) << "the state changed";
  }
}

// Size, init and create: pointers, the tap count, sizes beyond 32 bits,
// the alignment of the rows layout; nothing written when a check fails.
void Checks::SetUp() {
  const Variant v = v_;
  auto& t = qvls_variant_table;
  constexpr std::int32_t kSentinel = 0x5A5A5A5A;
  std::int32_t size = kSentinel;
  for (std::int32_t len : {0, -1, INT32_MIN}) {
    EXPECT_EQ(t.qvlsFIRStateSize_i16.entry[v](len, &size), QVLS_ERR_FIR_LENGTH);
    EXPECT_EQ(t.qvlsFIRStateSize_ci16.entry[v](len, &size), QVLS_ERR_FIR_LENGTH);
  }
  EXPECT_EQ(t.qvlsFIRStateSize_i16.entry[v](5, nullptr), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(t.qvlsFIRStateSize_ci16.entry[v](0, nullptr), QVLS_ERR_NULL_POINTER);
  // Tap counts whose sizes need more than 31 bits, among them ones a 32-bit
  // computation wraps to a small size (18·238609295 = 2^32 + 14).
  for (std::int32_t len : {238'609'295, 200'000'000, 0x10000000, INT32_MAX}) {
    SCOPED_TRACE(len);
    EXPECT_EQ(t.qvlsFIRStateSize_i16.entry[v](len, &size), QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(t.qvlsFIRStateSize_ci16.entry[v](len, &size), QVLS_ERR_DATA_SIZE);
  }
  EXPECT_EQ(size, kSentinel);

  GuardedBuffer<std::uint8_t> buffer(RealSize(w7, kLen) + ComplexSize(w7, kLen), 0);
  const std::vector<std::uint8_t> untouched = buffer.Load();
  fir_state* state = reinterpret_cast<fir_state*>(std::uintptr_t{0x1234});
  fir_state* const original = state;
  const auto init = t.qvlsFIRInit_i16.entry[v];
  const auto cinit = t.qvlsFIRInit_ci16.entry[v];
  EXPECT_EQ(init(nullptr, taps_, kLen, 0, nullptr, buffer.data()), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(init(&state, nullptr, kLen, 0, nullptr, buffer.data()), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(init(&state, taps_, kLen, 0, nullptr, nullptr), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(init(&state, taps_, 0, 0, nullptr, buffer.data()), QVLS_ERR_FIR_LENGTH);
  EXPECT_EQ(init(&state, taps_, 238'609'295, 0, nullptr, buffer.data()), QVLS_ERR_DATA_SIZE);
  EXPECT_EQ(cinit(nullptr, pairs_, kLen, 0, nullptr, buffer.data()), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(cinit(&state, nullptr, kLen, 0, nullptr, buffer.data()), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(cinit(&state, pairs_, kLen, 0, nullptr, nullptr), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(cinit(&state, pairs_, -3, 0, nullptr, buffer.data()), QVLS_ERR_FIR_LENGTH);
  EXPECT_EQ(cinit(&state, pairs_, INT32_MAX, 0, nullptr, buffer.data()), QVLS_ERR_DATA_SIZE);

  // Only the rows layout needs its buffer on a 16-byte boundary.
  GuardedBuffer<std::uint8_t> off_boundary(RealSize(w7, kLen), 8);
  const qvls_status misaligned = init(&state, taps_, kLen, 0, nullptr, off_boundary.data());
  EXPECT_EQ(misaligned, v == w7 ? QVLS_ERR_BUFFER_ALIGNMENT : QVLS_OK);
  if (v == w7) {
    EXPECT_EQ(state, original);
    EXPECT_EQ(off_boundary.Load(), std::vector<std::uint8_t>(off_boundary.size(), 0xCD));
  }
  state = original;
  EXPECT_EQ(cinit(&state, pairs_, kLen, 0, nullptr, off_boundary.data()), QVLS_OK);
  state = original;

  const auto create = t.qvlsFIRCreate_i16.entry[v];
  const auto ccreate = t.qvlsFIRCreate_ci16.entry[v];
  EXPECT_EQ(create(nullptr, taps_, kLen, 0, nullptr), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(create(&state, nullptr, kLen, 0, nullptr), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(create(&state, taps_, 0, 0, nullptr), QVLS_ERR_FIR_LENGTH);
  EXPECT_EQ(create(&state, taps_, 238'609'295, 0, nullptr), QVLS_ERR_DATA_SIZE);
  EXPECT_EQ(ccreate(nullptr, pairs_, kLen, 0, nullptr), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(ccreate(&state, pairs_, -1, 0, nullptr), QVLS_ERR_FIR_LENGTH);
  EXPECT_EQ(ccreate(&state, pairs_, INT32_MAX, 0, nullptr), QVLS_ERR_DATA_SIZE);
  EXPECT_EQ(state, original);
  EXPECT_EQ(buffer.Load(), untouched);
}

void Checks::CreateWithAFailingPool() {
  const Variant v = v_;
  plat::ex::Pool pool("fir");
  plat::ex::ScopedPool installed(pool);
  constexpr ULONG kTag = plat::ex::PoolTag("Ddk ");
  fir_state* state = reinterpret_cast<fir_state*>(std::uintptr_t{0x1234});
  fir_state* const original = state;
  pool.FailNthAllocation(1);
  EXPECT_EQ(qvls_variant_table.qvlsFIRCreate_i16.entry[v](&state, taps_, kLen, 0, nullptr),
            QVLS_ERR_MEM_ALLOCATED);
  pool.FailNthAllocation(1);
  EXPECT_EQ(qvls_variant_table.qvlsFIRCreate_ci16.entry[v](&state, pairs_, kLen, 0, nullptr),
            QVLS_ERR_MEM_ALLOCATED);
  EXPECT_EQ(state, original);
  EXPECT_EQ(pool.LiveByTag(kTag), plat::ex::PoolUsage{});
  EXPECT_EQ(pool.Live(), plat::ex::PoolUsage{});
}

// Destroy frees what create made; an initialised state stays usable.
void Checks::DestroyOfAnInitialisedStateKeepsItUsable() {
  const Variant v = v_;
  const State real(v, std::span(taps_), 0);
  const State complex(v, std::span(pairs_), 0);
  EXPECT_EQ(qvls_variant_table.qvlsFIRDestroy_i16.entry[v](real.get()), QVLS_OK);
  EXPECT_EQ(qvls_variant_table.qvlsFIRDestroy_ci16.entry[v](complex.get()), QVLS_OK);
  RealModel model(taps_, 0, {}, LargeShiftsOf(v));
  EXPECT_EQ(Block(v, real.get(), xs_, 2), model.Run(xs_, 2));
  ComplexModel cmodel(pairs_, 0, {}, LargeShiftsOf(v));
  EXPECT_EQ(Block(v, complex.get(), cxs_, 2), cmodel.Run(cxs_, 2));
}

// A state of another layout is refused by every filtering operation; states
// of the same layout pass between the variants that share it.
void Checks::ForeignLayouts() {
  const Variant user = v_;
  const auto real_layout = [](Variant v) { return v == w7 ? 2 : 1; };
  const auto complex_layout = [](Variant v) { return v == px || v == m6 ? 3 : 4; };
  for (Variant builder : kAllVariants) {
    SCOPED_TRACE(testing::Message() << "built by " << VariantTag(builder));
    State real(builder, std::span(taps_), 0);
    State complex(builder, std::span(pairs_), 0);
    const qvls_status real_answer =
        real_layout(builder) == real_layout(user) ? QVLS_OK : QVLS_ERR_CONTEXT_MISMATCH;
    const qvls_status complex_answer =
        complex_layout(builder) == complex_layout(user) ? QVLS_OK : QVLS_ERR_CONTEXT_MISMATCH;
    auto& t = qvls_variant_table;
    std::int16_t y;
    std::int16_t ys[8];
    qvls_ci16 cys[8];
    EXPECT_EQ(t.qvlsFIRSample_i16.entry[user](1, &y, real.get(), 0), real_answer);
    EXPECT_EQ(t.qvlsFIRBlock_i16.entry[user](xs_, ys, 8, real.get(), 0), real_answer);
    EXPECT_EQ(t.qvlsFIRBlock_i16_ip.entry[user](ys, 8, real.get(), 0), real_answer);
    EXPECT_EQ(t.qvlsFIRBlock_ci16.entry[user](cxs_, cys, 8, complex.get(), 0), complex_answer);
    EXPECT_EQ(t.qvlsFIRBlock_ci16_ip.entry[user](cys, 8, complex.get(), 0), complex_answer);
    // The delay line lies alike in every layout of a kind.
    std::int16_t line[kLen];
    qvls_ci16 cline[kLen];
    EXPECT_EQ(t.qvlsFIRGetDelayLine_i16.entry[user](real.get(), line), QVLS_OK);
    EXPECT_EQ(t.qvlsFIRSetDelayLine_i16.entry[user](real.get(), line), QVLS_OK);
    EXPECT_EQ(t.qvlsFIRGetDelayLine_ci16.entry[user](complex.get(), cline), QVLS_OK);
  }
}

// The multi-rate markers: the delay-line operations use the header's
// multi-rate delay length from the start of the buffer (pairs: half of it),
// destroy accepts them.
void Checks::MultiRateDelayLines() {
  const Variant v = v_;
  const std::vector<std::int32_t> taps(20, 1);
  const std::vector<qvls_ci32> pairs(20, qvls_ci32{1, 1});
  State real(v, taps, 0);
  State complex(v, pairs, 0);
  auto remark = [](State& s, std::uint32_t marker, std::int32_t delay_len) {
    fir_state h = s.header();
    h.marker = marker;
    h.multirate_delay_len = delay_len;
    qvls::fir::WriteHeader(s.get(), h);
  };
  const std::vector<std::int16_t> given = {11, 22, 33, 44, 55, 66};
  remark(real, kMarkerMultiRateReal, 6);
  ASSERT_EQ(qvls_variant_table.qvlsFIRSetDelayLine_i16.entry[v](real.get(), given.data()), QVLS_OK);
  const auto* delay = qvls::fir::ArrayAt<const std::int16_t>(real.get(), real.header().delay);
  EXPECT_EQ(std::vector<std::int16_t>(delay, delay + 6),
            (std::vector<std::int16_t>{66, 55, 44, 33, 22, 11}));
  std::vector<std::int16_t> back(8, -1);
  ASSERT_EQ(qvls_variant_table.qvlsFIRGetDelayLine_i16.entry[v](real.get(), back.data()), QVLS_OK);
  EXPECT_EQ(back, (std::vector<std::int16_t>{11, 22, 33, 44, 55, 66, -1, -1}));
  ASSERT_EQ(qvls_variant_table.qvlsFIRSetDelayLine_i16.entry[v](real.get(), nullptr), QVLS_OK);
  EXPECT_EQ(std::vector<std::int16_t>(delay, delay + 6), std::vector<std::int16_t>(6, 0));

  remark(real, kMarkerMultiRateReal, 0);
  std::vector<std::int16_t> none(4, -1);
  EXPECT_EQ(qvls_variant_table.qvlsFIRGetDelayLine_i16.entry[v](real.get(), none.data()), QVLS_OK);
  EXPECT_EQ(qvls_variant_table.qvlsFIRSetDelayLine_i16.entry[v](real.get(), given.data()), QVLS_OK);
  EXPECT_EQ(none, std::vector<std::int16_t>(4, -1));
  EXPECT_EQ(qvls_variant_table.qvlsFIRDestroy_i16.entry[v](real.get()), QVLS_OK);

  remark(complex, kMarkerMultiRateComplex, 5);  // two pairs
  auto* cdelay = qvls::fir::ArrayAt<qvls_ci16>(complex.get(), complex.header().delay);
  cdelay[0] = {1, 2};
  cdelay[1] = {3, 4};
  std::vector<qvls_ci16> cback(3, qvls_ci16{-1, -1});
  ASSERT_EQ(qvls_variant_table.qvlsFIRGetDelayLine_ci16.entry[v](complex.get(), cback.data()),
            QVLS_OK);
  EXPECT_EQ(cback, (std::vector<qvls_ci16>{{3, 4}, {1, 2}, {-1, -1}}));
  EXPECT_EQ(qvls_variant_table.qvlsFIRDestroy_ci16.entry[v](complex.get()), QVLS_OK);
}

TEST(FirState, Checks) {
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(VariantTag(v));
    Checks checks(v);
    checks.StateOperations();
    checks.SetUp();
    checks.CreateWithAFailingPool();
    checks.DestroyOfAnInitialisedStateKeepsItUsable();
    checks.ForeignLayouts();
    checks.MultiRateDelayLines();
  }
}

}  // namespace
}  // namespace qvls_test::fir
