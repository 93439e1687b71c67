#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <vector>

#include "siglib/fir/fir_geometry.h"
#include "siglib/fir/tests/fir_harness.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"

namespace qvls_test::fir {
namespace {

constexpr std::int32_t kTapCounts[] = {1,  2,  3,  4,  5,  6,  7,  8,   9,  15,
                                       16, 17, 48, 49, 55, 63, 64, 128, 165};

std::vector<qvls_ci32> ComplexTaps(Rng& rng, std::int32_t len) {
  std::vector<qvls_ci32> taps(len);
  for (auto& t : taps) t = {rng.WithEdges<std::int32_t>(), rng.WithEdges<std::int32_t>()};
  return taps;
}

std::vector<qvls_ci16> ComplexSamples(Rng& rng, std::size_t n, std::int16_t limit = 32767) {
  std::vector<qvls_ci16> xs(n);
  for (auto& x : xs) {
    x = {static_cast<std::int16_t>(rng.Range(-limit - 1, limit)),
         static_cast<std::int16_t>(rng.Range(-limit - 1, limit))};
  }
  return xs;
}

// Taps of three kinds: anything 32-bit (extremes included), taps that need
// no normalising shift, and full-scale taps of one sign whose sums wrap.
std::vector<std::int32_t> RealTaps(Rng& rng, std::int32_t len, int kind) {
  std::vector<std::int32_t> taps(len);
  for (auto& t : taps) {
    switch (kind) {
      case 0:
        t = rng.WithEdges<std::int32_t>(4);
        break;
      case 1:
        t = static_cast<std::int32_t>(rng.Range(-32767, 32766));
        break;
      default:
        t = rng.Chance(1, 2) ? 32766 : -32767;
        break;
    }
  }
  return taps;
}

// Inputs of three kinds: anything 16-bit, small values (outputs that do not
// saturate), and runs of full-scale values (sums beyond 2^31 that wrap).
std::vector<std::int16_t> RealSamples(Rng& rng, std::size_t n) {
  std::vector<std::int16_t> xs(n);
  const int kind = static_cast<int>(rng.Range(0, 2));
  for (auto& x : xs) {
    if (kind == 0) x = rng.WithEdges<std::int16_t>();
    if (kind == 1) x = static_cast<std::int16_t>(rng.Range(-300, 300));
    if (kind == 2) x = rng.Chance(7, 8) ? 32767 : -32768;
  }
  return xs;
}

// Every tap count of the list, every d from -31 to 31 (one block each, of a
// length drawn around the delay-buffer and source boundaries), one state
// carried through all of them.
TEST(FirFilter, MatchesDirectConvolution) {
  Rng rng("FirFilter.MatchesDirectConvolution");
  for (Variant v : kAllVariants) {
    for (std::int32_t len : kTapCounts) {
      for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(testing::Message()
                     << VariantTag(v) << " real, len " << len << " kind " << kind);
        const auto taps = RealTaps(rng, len, kind);
        const auto history = rng.Vector<std::int16_t>(len);
        const std::int32_t factor = static_cast<std::int32_t>(rng.Range(-20, 20));
        RealModel model(taps, factor, history, LargeShiftsOf(v));
        const State state(v, taps, factor, history.data());
        for (std::int32_t d = -31; d <= 31; ++d) {
          const auto xs = RealSamples(rng, rng.Range(1, 2 * len + 40));
          const std::int32_t sf = factor + model.shift() - d;
          ASSERT_EQ(Block(v, state.get(), xs, sf), model.Run(xs, sf)) << "d " << d;
        }
        EXPECT_EQ(DelayLine(v, state.get(), len), model.DelayLine());
      }
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " complex, len " << len);
      const auto taps = ComplexTaps(rng, len);
      const auto history = ComplexSamples(rng, len);
      ComplexModel model(taps, 3, history, LargeShiftsOf(v));
      const State state(v, taps, 3, history.data());
      const std::int32_t shift = state.header().taps_factor - 3;
      for (std::int32_t d = -31; d <= 31; ++d) {
        const auto xs = ComplexSamples(rng, rng.Range(1, 2 * len + 40), d < -8 ? 32767 : 300);
        const std::int32_t sf = 3 + shift - d;
        ASSERT_EQ(Block(v, state.get(), xs, sf), model.Run(xs, sf)) << "d " << d;
      }
      EXPECT_EQ(ComplexDelayLine(v, state.get(), len), model.DelayLine());
    }
  }
}

// One input cut into single samples, blocks and in-place blocks (one of
// them longer than the 4096 samples of the work area) gives the outputs and
// the delay line of one block over the whole input.
TEST(FirFilter, AnySplitEqualsOneBlock) {
  Rng rng("FirFilter.AnySplitEqualsOneBlock");
  constexpr std::size_t kTotal = 12000;
  for (Variant v : kAllVariants) {
    for (std::int32_t len : {1, 4, 17, 63, 165}) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << len);
      const auto taps = RealTaps(rng, len, 1);
      const auto xs = rng.Vector<std::int16_t>(kTotal);
      const std::int32_t sf = 12;
      const State whole(v, taps, 0);
      const auto expected = Block(v, whole.get(), xs, sf);

      const State split(v, taps, 0);
      std::vector<std::int16_t> ys;
      for (std::size_t at = 0; at < kTotal;) {
        const int how = at == 100 ? 3 : static_cast<int>(rng.Range(0, 2));
        const std::size_t n = std::min(
            kTotal - at,
            static_cast<std::size_t>(how == 3 ? rng.Range(4097, 6000) : rng.Range(1, 300)));
        const std::span<const std::int16_t> cut(xs.data() + at, how == 0 ? 1 : n);
        const std::int32_t index = split.header().index;
        std::vector<std::int16_t> out;
        if (how == 0) {
          out = {Sample(v, split.get(), cut[0], sf)};
          EXPECT_EQ(split.header().index, (index + 1) % len);
        } else {
          out = how == 1 ? Block(v, split.get(), cut, sf) : InPlace(v, split.get(), cut, sf);
          EXPECT_EQ(split.header().index, 0);
        }
        ys.insert(ys.end(), out.begin(), out.end());
        at += cut.size();
      }
      EXPECT_EQ(ys, expected);
      EXPECT_EQ(DelayLine(v, split.get(), len), DelayLine(v, whole.get(), len));

      const auto ctaps = ComplexTaps(rng, len);
      const auto cxs = ComplexSamples(rng, kTotal);
      const State cwhole(v, ctaps, 0);
      const auto cexpected = Block(v, cwhole.get(), cxs, sf + 16);
      const State csplit(v, ctaps, 0);
      std::vector<qvls_ci16> cys;
      for (std::size_t at = 0; at < kTotal;) {
        const bool long_one = at == 0;
        const std::size_t n = std::min(
            kTotal - at,
            static_cast<std::size_t>(long_one ? rng.Range(4097, 9000) : rng.Range(1, 300)));
        const std::span<const qvls_ci16> cut(cxs.data() + at, n);
        const auto out = long_one || rng.Chance(1, 2) ? InPlace(v, csplit.get(), cut, sf + 16)
                                                      : Block(v, csplit.get(), cut, sf + 16);
        cys.insert(cys.end(), out.begin(), out.end());
        at += n;
      }
      EXPECT_EQ(cys, cexpected);
      EXPECT_EQ(ComplexDelayLine(v, csplit.get(), len), ComplexDelayLine(v, cwhole.get(), len));
    }
  }
}

// The output rule on worked sums. Each sum comes from a filter whose delay
// line already holds the input value, so every output of a constant input
// carries the same sum; the one-sample, block and in-place operations (the
// block long enough for every packed step) must all give the row's value.
TEST(FirFilter, RoundingAndSaturationTable) {
  constexpr std::int16_t kMax = 32767;
  constexpr std::int16_t kMin = -32768;
  struct Row {
    const char* what;
    std::vector<std::int32_t> taps;  // no normalising shift: all within 32766
    std::int16_t x;
    std::int32_t d;
    std::int16_t generic;  // px, m6
    std::int16_t packed;   // a6, w7
  };
  const std::vector<std::int32_t> three_halves = {-16384, -16384, -16384};  // times -32768: 3·2^29
  const Row rows[] = {
      {"d 0 keeps an odd sum", {3}, 1, 0, 3, 3},
      {"d 0 keeps an odd sum", {1}, -3, 0, -3, -3},
      {"d -1: 1 ties to 0", {1}, 1, -1, 0, 0},
      {"d -1: 3 ties to 2", {1}, 3, -1, 2, 2},
      {"d -1: 5 ties to 2", {1}, 5, -1, 2, 2},
      {"d -1: -1 ties to 0", {1}, -1, -1, 0, 0},
      {"d -1: -3 ties to -2", {1}, -3, -1, -2, -2},
      {"d -2: 6 rounds up to 2", {1}, 6, -2, 2, 2},
      {"d 0 saturates", {20000}, 2, 0, kMax, kMax},
      {"d 0 saturates", {20000}, -2, 0, kMin, kMin},
      {"d 1: 2^30 wraps to -2^31", {-16384, -16384}, kMin, 1, kMin, kMin},
      {"two full-scale products stay below 2^31", {32766, 32766}, kMax, 0, kMax, kMax},
      {"three wrap to a negative sum", {32766, 32766, 32766}, kMax, 0, kMin, kMin},
      {"d 31: an odd sum reaches the sign bit", {1}, 1, 31, kMin, kMin},
      {"d 32: px clamps to 31, packed shifts all out", {1}, 1, 32, kMin, 0},
      {"d 40, even sum", {1}, 2, 40, 0, 0},
      {"d 40, odd sum", {1}, 1, 40, kMin, 0},
      {"d -31: -1 rounds to 0", {1}, -1, -31, 0, 0},
      {"d -31: 3·2^29 rounds to 1", three_halves, kMin, -31, 1, 1},
      {"d -40: -1", {1}, -1, -40, 0, -1},
      {"d -40: 3·2^29", three_halves, kMin, -40, 1, 0},
      {"d -40: -3·2^29", {16384, 16384, 16384}, kMin, -40, -1, -1},
      // 32767 · 65537 = 2^31 - 1: rounding it down must not wrap the sum.
      {"d -1: 2^31-1 rounds to 2^30", {32766, 32766, 5}, kMax, -1, kMax, kMax},
      {"d -16: 2^31-1", {32766, 32766, 5}, kMax, -16, kMax, kMax},
      {"d -31: 2^31-1 rounds to 1", {32766, 32766, 5}, kMax, -31, 1, 1},
  };
  for (const Row& r : rows) {
    for (Variant v : kAllVariants) {
      SCOPED_TRACE(testing::Message()
                   << VariantTag(v) << ": " << r.what << " (x " << r.x << ", d " << r.d << ")");
      const std::int16_t expected =
          LargeShiftsOf(v) == LargeShifts::kClampTo31 ? r.generic : r.packed;
      const auto len = static_cast<std::int32_t>(r.taps.size());
      const std::vector<std::int16_t> history(len, r.x);
      const std::vector<std::int16_t> xs(48, r.x);
      const std::int32_t sf = -r.d;  // taps factor 0, no normalising shift
      const State state(v, r.taps, 0, history.data());
      EXPECT_EQ(Sample(v, state.get(), r.x, sf), expected);
      EXPECT_EQ(Block(v, state.get(), xs, sf), std::vector<std::int16_t>(48, expected));
      EXPECT_EQ(InPlace(v, state.get(), xs, sf), std::vector<std::int16_t>(48, expected));

      std::vector<qvls_ci32> ctaps;
      for (std::int32_t t : r.taps) ctaps.push_back({t, t});
      const std::vector<qvls_ci16> chistory(len, qvls_ci16{r.x, 0});
      const std::vector<qvls_ci16> cxs(48, qvls_ci16{r.x, 0});
      const State complex(v, ctaps, 0, chistory.data());
      EXPECT_EQ(Block(v, complex.get(), cxs, sf),
                std::vector<qvls_ci16>(48, qvls_ci16{expected, expected}));
    }
  }
}

// Beyond |d| = 31 px and m6 shift by 31, a6 and w7 shift every bit out;
// at every d the variants of one group agree with each other and with their
// model, and up to |d| = 31 all four agree.
TEST(FirFilter, LargeShiftDiffersOnlyAsDocumented) {
  Rng rng("FirFilter.LargeShiftDiffersOnlyAsDocumented");
  struct Scaling {
    std::int32_t taps_factor, sf;
  };
  const Scaling scalings[] = {{0, 31},        {0, -31},       {0, 32},         {0, -32},
                              {0, 33},        {0, 40},        {0, -40},        {0, 100},
                              {0, -100},      {5, INT32_MIN}, {-5, INT32_MAX}, {INT32_MIN, 1},
                              {INT32_MAX, -1}};
  for (std::int32_t len : {1, 7, 16, 49}) {
    const auto taps = RealTaps(rng, len, 1);
    const auto ctaps = ComplexTaps(rng, len);
    for (const Scaling& s : scalings) {
      SCOPED_TRACE(testing::Message()
                   << "len " << len << " taps factor " << s.taps_factor << " sf " << s.sf);
      const auto xs = rng.Vector<std::int16_t>(64);
      const auto cxs = ComplexSamples(rng, 64);
      std::vector<std::int16_t> outputs[4];
      std::vector<qvls_ci16> coutputs[4];
      for (Variant v : kAllVariants) {
        const State state(v, taps, s.taps_factor);
        const State complex(v, ctaps, s.taps_factor);
        outputs[v] = Block(v, state.get(), xs, s.sf);
        coutputs[v] = Block(v, complex.get(), cxs, s.sf);
        RealModel model(taps, s.taps_factor, {}, LargeShiftsOf(v));
        ComplexModel cmodel(ctaps, s.taps_factor, {}, LargeShiftsOf(v));
        EXPECT_EQ(outputs[v], model.Run(xs, s.sf)) << VariantTag(v);
        EXPECT_EQ(coutputs[v], cmodel.Run(cxs, s.sf)) << VariantTag(v);
      }
      EXPECT_EQ(outputs[px], outputs[m6]);
      EXPECT_EQ(outputs[a6], outputs[w7]);
      EXPECT_EQ(coutputs[px], coutputs[m6]);
      EXPECT_EQ(coutputs[a6], coutputs[w7]);
      // d as the library forms it, from each kind's own normalising shift.
      const auto d_of = [&s](const State& probe) -> std::int64_t {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(probe.header().taps_factor) -
                                         static_cast<std::uint32_t>(s.sf));
      };
      const std::int64_t d = d_of(State(px, taps, s.taps_factor));
      const std::int64_t cd = d_of(State(px, ctaps, s.taps_factor));
      if (d >= -31 && d <= 31) {
        EXPECT_EQ(outputs[px], outputs[a6]);
      }
      if (cd >= -31 && cd <= 31) {
        EXPECT_EQ(coutputs[px], coutputs[a6]);
      }
      for (std::int16_t y : outputs[a6]) {
        if (d >= 32) {
          EXPECT_EQ(y, 0);
        } else if (d <= -32) {
          EXPECT_TRUE(y == 0 || y == -1);
        }
      }
    }
  }
}

// At d = 0 an impulse brings out the prepared taps one by one, from every
// copy the variants filter with (the generic 16-bit copy, the rows, the
// paired taps).
TEST(FirFilter, ImpulseResponseIsPreparedTaps) {
  Rng rng("FirFilter.ImpulseResponseIsPreparedTaps");
  std::vector<std::vector<std::int32_t>> tap_sets = {
      {INT32_MIN, INT32_MAX, -1, 1, 0},
      {32766, -32767, 32766},
      {32767, -32767, 5, -5},
  };
  for (std::int32_t len : {1, 8, 17, 40, 165}) tap_sets.push_back(RealTaps(rng, len, 0));
  for (Variant v : kAllVariants) {
    for (const auto& taps : tap_sets) {
      const auto len = static_cast<std::int32_t>(taps.size());
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << len);
      const std::int32_t shift = NormalisingShift(taps);
      std::vector<std::int16_t> expected(len + 20, 0);
      for (std::int32_t k = 0; k < len; ++k) {
        expected[k] = static_cast<std::int16_t>(Prepared(taps[k], shift));
      }
      std::vector<std::int16_t> impulse(len + 20, 0);
      impulse[0] = 1;
      const State block(v, taps, 7);
      const std::int32_t sf = block.header().taps_factor;
      EXPECT_EQ(Block(v, block.get(), impulse, sf), expected);
      const State in_place(v, taps, 7);
      EXPECT_EQ(InPlace(v, in_place.get(), impulse, sf), expected);
      const State one_by_one(v, taps, 7);
      for (std::int32_t k = 0; k < len + 20; ++k) {
        EXPECT_EQ(Sample(v, one_by_one.get(), impulse[k], sf), expected[k]) << "output " << k;
      }

      // Complex: the impulse 1 gives each tap, the impulse i gives i times it.
      std::vector<qvls_ci32> ctaps(len);
      std::vector<std::int32_t> parts;
      for (std::int32_t k = 0; k < len; ++k) {
        ctaps[k] = {taps[k], taps[len - 1 - k]};
        parts.insert(parts.end(), {ctaps[k].re, ctaps[k].im});
      }
      const std::int32_t cshift = NormalisingShift(parts);
      std::vector<qvls_ci16> one(len + 20, qvls_ci16{0, 0}), i_unit = one, from_one = one,
                                                             from_i = one;
      one[0] = {1, 0};
      i_unit[0] = {0, 1};
      for (std::int32_t k = 0; k < len; ++k) {
        const auto re = static_cast<std::int16_t>(Prepared(ctaps[k].re, cshift));
        const auto im = static_cast<std::int16_t>(Prepared(ctaps[k].im, cshift));
        from_one[k] = {re, im};
        from_i[k] = {static_cast<std::int16_t>(std::max(-im, -32768)), re};
      }
      const State complex(v, ctaps, 7);
      const std::int32_t csf = complex.header().taps_factor;
      EXPECT_EQ(Block(v, complex.get(), one, csf), from_one);
      EXPECT_EQ(InPlace(v, complex.get(), i_unit, csf), from_i);
    }
  }
}

// A source that ends where its allocation ends, at a chosen byte offset
// from a 16-byte boundary: the sanitizer build reports any read beyond it.
template <class T>
class TightSource {
 public:
  TightSource(std::span<const T> values, std::size_t offset)
      : storage_(static_cast<std::uint8_t*>(
            ::operator new (offset + values.size_bytes(), std::align_val_t{16}))),
        data_(reinterpret_cast<T*>(storage_.get() + offset)) {
    std::memcpy(storage_.get() + offset, values.data(), values.size_bytes());
  }
  const T* data() const { return data_; }

 private:
  struct Delete {
    void operator()(std::uint8_t* p) const { ::operator delete (p, std::align_val_t{16}); }
  };
  std::unique_ptr<std::uint8_t, Delete> storage_;
  T* data_;
};

// Source and destination at every even byte offset from a 16-byte
// boundary, block lengths around row_len (where the rows layout turns from
// the delay buffer to the source) and past it by every remainder of eight
// (the singles before the source's boundary and the 8 to 15 at the end).
TEST(FirFilter, AlignmentsAndTails) {
  Rng rng("FirFilter.AlignmentsAndTails");
  for (std::int32_t len : {1, 5, 17, 63}) {
    const auto row_len = static_cast<std::int32_t>(qvls::fir::RowLength(len));
    std::vector<std::int32_t> lengths = {row_len - 1, row_len, row_len + 1, row_len + 7,
                                         row_len + 8};
    for (std::int32_t r = 0; r < 8; ++r) lengths.push_back(row_len + 24 + r);
    const auto taps = RealTaps(rng, len, 0);
    const auto ctaps = ComplexTaps(rng, len);
    for (std::int32_t n : lengths) {
      const auto xs = rng.Vector<std::int16_t>(n);
      const auto cxs = ComplexSamples(rng, n);
      const auto expected = RealModel(taps, 0, {}, LargeShifts::kClampTo31).Run(xs, 14);
      const auto cexpected = ComplexModel(ctaps, 0, {}, LargeShifts::kClampTo31).Run(cxs, 14);
      for (std::size_t src_offset = 0; src_offset < 16; src_offset += 2) {
        const TightSource<std::int16_t> src(xs, src_offset);
        const TightSource<qvls_ci16> csrc(cxs, src_offset);
        for (std::size_t dst_offset = 0; dst_offset < 16; dst_offset += 2) {
          for (Variant v : kAllVariants) {
            SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << len << " n " << n
                                            << " src +" << src_offset << " dst +" << dst_offset);
            const State state(v, taps, 0);
            GuardedBuffer<std::int16_t> dst(n, dst_offset);
            ASSERT_EQ(qvls_variant_table.qvlsFIRBlock_i16.entry[v](src.data(), dst.data(), n,
                                                                   state.get(), 14),
                      QVLS_OK);
            EXPECT_TRUE(dst.Intact());
            ASSERT_EQ(dst.Load(), expected);

            const State complex(v, ctaps, 0);
            GuardedBuffer<qvls_ci16> cdst(n, dst_offset);
            ASSERT_EQ(qvls_variant_table.qvlsFIRBlock_ci16.entry[v](csrc.data(), cdst.data(), n,
                                                                    complex.get(), 14),
                      QVLS_OK);
            EXPECT_TRUE(cdst.Intact());
            ASSERT_EQ(cdst.Load(), cexpected);
          }
        }
      }
    }
  }
}

// The header keeps offsets, not addresses: a state copied whole filters on
// from where it was. The rows layout keeps its aligned loads only on a
// 16-byte boundary; elsewhere its block answers -97 and touches nothing.
TEST(FirFilter, StatesAreRelocatable) {
  Rng rng("FirFilter.StatesAreRelocatable");
  const auto taps = RealTaps(rng, 23, 0);
  const auto xs = rng.Vector<std::int16_t>(200);
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(VariantTag(v));
    std::int32_t size = 0;
    ASSERT_EQ(qvls_variant_table.qvlsFIRStateSize_i16.entry[v](23, &size), QVLS_OK);
    const State original(v, taps, 0);
    for (std::int32_t k = 0; k < 30; ++k) Sample(v, original.get(), xs[k], 10);
    for (std::size_t offset : {32u, 8u}) {
      SCOPED_TRACE(offset);
      AlignedBlock block = Allocate(size + 32);
      auto* copy = reinterpret_cast<fir_state*>(block.get() + offset);
      std::memcpy(copy, original.get(), size - 16);
      const std::span<const std::int16_t> rest(xs.data() + 30, 170);
      std::vector<std::int16_t> ys(170);
      const qvls_status status =
          qvls_variant_table.qvlsFIRBlock_i16.entry[v](rest.data(), ys.data(), 170, copy, 10);
      if (v == w7 && offset == 8) {
        EXPECT_EQ(status, QVLS_ERR_BUFFER_ALIGNMENT);
        EXPECT_EQ(std::memcmp(copy, original.get(), size - 16), 0);
        continue;
      }
      EXPECT_EQ(status, QVLS_OK);
      RealModel model(taps, 0, DelayLine(v, original.get(), 23), LargeShiftsOf(v));
      EXPECT_EQ(ys, model.Run(rest, 10));
    }
  }
}

}  // namespace
}  // namespace qvls_test::fir
