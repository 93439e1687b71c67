// The small-kernel tables of every variant: each entry against the naive
// DFT, in place as out of place; the bit copies of length 1; worked values
// of the 3- and 8-point kernels; px = m6 and a6 = w7 bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"
#include "siglib/transforms/small_kernels/small_kernels.h"
#include "siglib/transforms/tests/support/float_fft_calls.h"
#include "siglib/transforms/tests/support/float_reference.h"

namespace qvls_test::transforms {
namespace {

// One entry of a table in its role.
struct TableEntry {
  const char* table_name;
  bool fft;  // column c is order c (N = 2^c), else length c + 1
  small_kernel_row row;
  std::int32_t column;

  std::int32_t Length() const { return fft ? 1 << column : column + 1; }
  Layout layout() const { return row >= QVLS_SMALL_REAL_FWD_SC ? Layout::kReal : Layout::kComplex; }
  Way way() const {
    return row == QVLS_SMALL_COMPLEX_INV_SC || row == QVLS_SMALL_COMPLEX_INV ? Way::kInverse
                                                                             : Way::kForward;
  }
  bool scaled() const {
    return row == QVLS_SMALL_COMPLEX_FWD_SC || row == QVLS_SMALL_COMPLEX_INV_SC ||
           row == QVLS_SMALL_REAL_FWD_SC;
  }
  std::size_t Floats() const { return (layout() == Layout::kComplex ? 2u : 1u) * Length(); }
};

std::vector<TableEntry> AllEntries() {
  std::vector<TableEntry> entries;
  for (bool fft : {true, false}) {
    for (small_kernel_row row :
         {QVLS_SMALL_COMPLEX_FWD_SC, QVLS_SMALL_COMPLEX_FWD, QVLS_SMALL_COMPLEX_INV_SC,
          QVLS_SMALL_COMPLEX_INV, QVLS_SMALL_REAL_FWD_SC, QVLS_SMALL_REAL_FWD}) {
      if (!fft && row >= QVLS_SMALL_REAL_FWD_SC) continue;
      for (std::int32_t column = 0; column < 4; ++column) {
        entries.push_back({fft ? "FFT" : "DFT", fft, row, column});
      }
    }
  }
  return entries;
}

const small_kernel_table& TableOf(std::int32_t variant, const TableEntry& e) {
  return e.fft ? *kFloatFft[variant].fft_kernels : *kFloatFft[variant].dft_kernels;
}

// The scale a context of this length would hold: the single nearest 1/sqrt N.
float ScaleFor(std::int32_t length) { return static_cast<float>(1 / std::sqrt(1.0L * length)); }

// Runs one entry on src, out of place or in place.
std::vector<float> RunKernel(const small_kernel_table& table, const TableEntry& e,
                             std::vector<float> src, bool in_place) {
  const small_kernel_entry& kernel = SmallKernel(table, e.row, e.column);
  std::vector<float> dst = in_place ? src : std::vector<float>(src.size(), -777.0f);
  const float* from = in_place ? dst.data() : src.data();
  if (e.scaled()) {
    kernel.scaled(from, dst.data(), ScaleFor(e.Length()));
  } else {
    kernel.unscaled(from, dst.data());
  }
  return dst;
}

// The packed real spectrum {X0, X(N/2), Re X1, Im X1, ...} ({X0} for N = 1)
// of the exact real output {X0, 0, Re X1, Im X1, ..., X(N/2), 0}.
Reference Packed(const Reference& bins, std::size_t n) {
  Reference packed;
  for (std::size_t p = 0; p < n; ++p) {
    const std::size_t from = p == 1 ? n : p;  // X(N/2) sits at position 1
    packed.positions.push_back(p);
    packed.values.push_back(bins.values[from]);
  }
  return packed;
}

class SmallKernels : public VariantTest {};

TEST_P(SmallKernels, EveryEntryAgreesWithTheNaiveDftInPlaceAsOutOfPlace) {
  Rng rng("SmallKernels.Naive");
  for (const TableEntry& e : AllEntries()) {
    SCOPED_TRACE(::testing::Message()
                 << e.table_name << " row " << e.row << " column " << e.column);
    const small_kernel_table& table = TableOf(variant(), e);
    for (int trial = 0; trial < 4; ++trial) {
      const std::vector<float> src = RandomFloats(rng, e.Floats());
      const std::vector<float> out = RunKernel(table, e, src, false);
      EXPECT_EQ(RunKernel(table, e, src, true), out) << "in place differs";
      const long double scale = e.scaled() ? ScaleFor(e.Length()) : 1;
      Reference exact = ExactSpectrum(e.layout(), src).Output(e.way(), scale);
      if (e.layout() == Layout::kReal) exact = Packed(exact, e.Length());
      EXPECT_LE(RelativeRmsAt(out, exact), ErrorBound(std::log2(1.0L * e.Length())));
    }
  }
}

// Length 1 unscaled moves bits: a NaN's payload and a negative zero survive.
TEST_P(SmallKernels, LengthOneCopiesTheBits) {
  const float nan = std::bit_cast<float>(0x7FA01234u);  // signalling, with a payload
  const float negative_zero = -0.0f;
  for (const TableEntry& e : AllEntries()) {
    if (e.column != 0 || e.scaled()) continue;
    SCOPED_TRACE(::testing::Message() << e.table_name << " row " << e.row);
    const std::vector<float> src = e.layout() == Layout::kComplex
                                       ? std::vector<float>{nan, negative_zero}
                                       : std::vector<float>{nan};
    for (bool in_place : {false, true}) {
      const std::vector<float> out = RunKernel(TableOf(variant(), e), e, src, in_place);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(out[0]), 0x7FA01234u);
      if (out.size() > 1) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(out[1]), 0x80000000u);
      }
    }
  }
}

TEST_P(SmallKernels, TheWorkedValuesOfTheThreeAndEightPointKernels) {
  const small_kernel_table& fft = *kFloatFft[variant()].fft_kernels;
  const small_kernel_table& dft = *kFloatFft[variant()].dft_kernels;
  const float h = std::bit_cast<float>(0x3F3504F3u);
  const float c2 = std::bit_cast<float>(0xBF5DB3D7u);
  struct Case {
    const char* what;
    const small_kernel_table& table;
    small_kernel_row row;
    std::int32_t column;
    std::vector<float> src, want;
  };
  const Case cases[] = {
      {"3-point forward of (0, 1, 0)",
       dft,
       QVLS_SMALL_COMPLEX_FWD,
       2,
       {0, 0, 1, 0, 0, 0},
       {1, 0, -0.5f, c2, -0.5f, -c2}},
      {"3-point inverse of (0, 1, 0)",
       dft,
       QVLS_SMALL_COMPLEX_INV,
       2,
       {0, 0, 1, 0, 0, 0},
       {1, 0, -0.5f, -c2, -0.5f, c2}},
      {"8-point forward of an impulse at 1",
       fft,
       QVLS_SMALL_COMPLEX_FWD,
       3,
       {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       {1, 0, h, -h, 0, -1, -h, -h, -1, 0, -h, h, 0, 1, h, h}},
      {"real 8-point of an impulse at 0",
       fft,
       QVLS_SMALL_REAL_FWD,
       3,
       {1, 0, 0, 0, 0, 0, 0, 0},
       {1, 1, 1, 0, 1, 0, 1, 0}},
      {"real 8-point of (-1)^j",
       fft,
       QVLS_SMALL_REAL_FWD,
       3,
       {1, -1, 1, -1, 1, -1, 1, -1},
       {0, 8, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<float> dst(c.src.size(), -777.0f);
    SmallKernel(c.table, c.row, c.column).unscaled(c.src.data(), dst.data());
    EXPECT_EQ(dst, c.want);
  }
}

QVLS_INSTANTIATE_VARIANTS(SmallKernels);

// Variants that share an arithmetic give the same bits for every entry:
// px and m6 (double intermediates), a6 and w7 (single precision).
TEST(SmallKernelPairs, PxEqualsM6AndA6EqualsW7BitForBit) {
  Rng rng("SmallKernels.Pairs");
  for (const auto& [first, second] : {std::pair{px, m6}, std::pair{a6, w7}}) {
    for (const TableEntry& e : AllEntries()) {
      SCOPED_TRACE(::testing::Message()
                   << VariantTag(first) << " and " << VariantTag(second) << ": " << e.table_name
                   << " row " << e.row << " column " << e.column);
      for (int trial = 0; trial < 8; ++trial) {
        const std::vector<float> src = RandomFloats(rng, e.Floats());
        const std::vector<float> a = RunKernel(TableOf(first, e), e, src, false);
        const std::vector<float> b = RunKernel(TableOf(second, e), e, src, false);
        EXPECT_EQ(std::memcmp(a.data(), b.data(), 4 * a.size()), 0);
      }
    }
  }
}

}  // namespace
}  // namespace qvls_test::transforms
