// The fixed-point radix passes and real recombination against the naive DFT
// of the integers they are given.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "siglib/tests/support/fp_env.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/transforms/fixed_fft/fixed_fft.h"
#include "siglib/transforms/tests/support/dft_reference.h"
#include "siglib/transforms/tests/support/error_metrics.h"
#include "siglib/transforms/tests/support/library_blocks.h"

namespace qvls_test::transforms {
namespace {

using Table = LibraryBlock<std::int16_t>;

Table Twiddles(std::int32_t order) {
  const Table sine(qvlsFFTSineTable_i16_px(order));
  return Table(qvlsFFTTwiddleTable_ci16_px(order, sine.get(), order));
}

struct Kernels {
  const char* name;
  qvlsFFTFwdRadix_ci32_ip_fn* passes;
  qvlsFFTRealRecombine_i32_fn* recombine;
};
const Kernels kKernels[] = {
    {"px", qvlsFFTFwdRadix_ci32_ip_px_kernel, qvlsFFTRealRecombine_i32_px},
    {"m6", qvlsFFTFwdRadix_ci32_ip_m6_kernel, qvlsFFTRealRecombine_i32_m6},
    {"a6", qvlsFFTFwdRadix_ci32_ip_a6_kernel, qvlsFFTRealRecombine_i32_a6},
    {"w7", qvlsFFTFwdRadix_ci32_ip_w7_kernel, qvlsFFTRealRecombine_i32_w7},
};

// The bound of the passes in internal units, as an l2 norm over the whole
// output. Each pass with products rotates values by Q14 twiddles, off by at
// most 2^-14.5 of the value (half a unit in each part of 16384; the
// eighth-turn constant 11585 is closer), and rounds or truncates each prod
// by less than 2.5 units (the lost bit 0 of both operands, and the low
// part's rounding). The later passes carry an error on with the same l2
// gain as they carry the signal, so a pass adds at most
// 2^-14.5·||X|| + 3.5·N to the error's norm. Passes without products (the
// radix-2 pass, spans of 4) are exact.
long double PassesBound(std::int32_t order, long double spectrum_norm) {
  std::int32_t rotating_passes = 0;
  for (std::int32_t span = order; span >= 3; span -= 2) ++rotating_passes;
  return rotating_passes *
         (std::ldexp(spectrum_norm, -14) / std::sqrt(2.0L) + 3.5L * std::ldexp(1.0L, order));
}

// The recombination of one bin: halves that round down (under 1 unit per
// value for E and O together), one rotation of O (2^-14.5·|O| and under 3.5
// units), the input's own rounding to integers (0.5 per part): an l2 bound
// of 2^-14.5·||X|| + 6·sqrt(M) over the M - 1 bins.
long double RecombineBound(std::int32_t m, long double spectrum_norm) {
  return std::ldexp(spectrum_norm, -14) / std::sqrt(2.0L) +
         6 * std::sqrt(static_cast<long double>(m));
}

long double Norm(std::span<const long double> values) {
  long double sum = 0;
  for (long double v : values) sum += v * v;
  return std::sqrt(sum);
}

long double ErrorNorm(std::span<const std::int32_t> out, std::span<const long double> exact) {
  long double sum = 0;
  for (std::size_t i = 0; i < exact.size(); ++i) {
    const long double d = out[i] - exact[i];
    sum += d * d;
  }
  return std::sqrt(sum);
}

// The DFT of n complex values, placed at the bit-reversed positions where
// the passes leave it.
std::vector<long double> BitReversedSpectrum(std::span<const std::int32_t> data,
                                             std::int32_t order) {
  const std::vector<Complex> spectrum = NaiveDft(FromInterleaved<std::int32_t>(data));
  std::vector<long double> placed(data.size());
  for (std::size_t k = 0; k < spectrum.size(); ++k) {
    const std::int32_t at = ReverseBits(static_cast<std::int32_t>(k), order);
    placed[2 * at] = spectrum[k].real();
    placed[2 * at + 1] = spectrum[k].imag();
  }
  return placed;
}

// 16-bit values (complex pairs within the headroom, |re| + |im| <= 32768, or
// real samples) pre-shifted by p = 16 - log2 N, as the 16-bit FFT feeds
// them.
std::vector<std::int32_t> PreShifted(Rng& rng, std::size_t count, std::int32_t p,
                                     std::int64_t limit) {
  std::vector<std::int32_t> data(count);
  for (auto& v : data) v = static_cast<std::int32_t>(rng.Range(-limit, limit - 1) * (1 << p));
  return data;
}

TEST(FixedFftKernels, PassesAgreeWithTheNaiveDftAtBitReversedPositions) {
  Rng rng("FixedFftKernels.Passes");
  for (std::int32_t order = 1; order <= 10; ++order) {
    const std::int32_t n = std::int32_t{1} << order;
    const Table twiddles = Twiddles(order);
    for (int trial = 0; trial < 3; ++trial) {
      const auto input = PreShifted(rng, 2 * n, 16 - order, 16384);
      const auto exact = BitReversedSpectrum(input, order);
      const long double bound = PassesBound(order, Norm(exact));
      for (const Kernels& kernels : kKernels) {
        GuardedBuffer<std::int32_t> data(input, 8 * trial);
        CallKeepingFpSettings(kernels.passes, data.data(), n, twiddles.get());
        ASSERT_TRUE(data.Intact());
        EXPECT_LE(ErrorNorm(data.Load(), exact), bound)
            << kernels.name << " N=" << n << " trial " << trial;
      }
    }
  }
}

TEST(FixedFftKernels, RecombinationTurnsTheHalfLengthSpectrumIntoTheRealOne) {
  Rng rng("FixedFftKernels.Recombine");
  for (std::int32_t order = 2; order <= 10; ++order) {
    const std::int32_t n = std::int32_t{1} << order;
    const std::int32_t m = n / 2;
    const Table twiddles = Twiddles(order);
    const auto samples = PreShifted(rng, n, 16 - order, 32768);
    // Z: the natural-order DFT of z(k) = x(2k) + i·x(2k+1), rounded to integers.
    const std::vector<Complex> z = NaiveDft(FromInterleaved<std::int32_t>(samples));
    std::vector<std::int32_t> input;
    for (const Complex& v : z) {
      input.push_back(static_cast<std::int32_t>(std::lround(v.real())));
      input.push_back(static_cast<std::int32_t>(std::lround(v.imag())));
    }
    const std::vector<Complex> x = NaiveRealDft(FromReal<std::int32_t>(samples));
    std::vector<long double> exact;
    for (std::int32_t k = 1; k < m; ++k) {
      exact.push_back(x[k].real());
      exact.push_back(x[k].imag());
    }
    const long double bound = RecombineBound(m, Norm(exact));
    for (const Kernels& kernels : kKernels) {
      GuardedBuffer<std::int32_t> data(input, 0);
      CallKeepingFpSettings(kernels.recombine, data.data(), m, twiddles.get());
      const auto out = data.Load();
      EXPECT_EQ(out[0], input[0]) << kernels.name << ": Z(0) is the caller's";
      EXPECT_EQ(out[1], input[1]) << kernels.name;
      EXPECT_LE(ErrorNorm(std::span(out).subspan(2), exact), bound) << kernels.name << " N=" << n;
    }
  }
}

TEST(FixedFftKernels, AnImpulseAtZeroGivesNEqualOutputsExactly) {
  for (std::int32_t order = 1; order <= 10; ++order) {
    const std::int32_t n = std::int32_t{1} << order;
    const Table twiddles = Twiddles(order);
    for (std::int32_t v : {32767 << (16 - order), -32768 * (1 << (16 - order)), 1, -3}) {
      std::vector<std::int32_t> input(2 * n, 0);
      input[0] = v;
      input[1] = -v / 2;
      std::vector<std::int32_t> want;
      for (std::int32_t k = 0; k < n; ++k) want.insert(want.end(), {v, -v / 2});
      for (const Kernels& kernels : kKernels) {
        GuardedBuffer<std::int32_t> data(input, 0);
        CallKeepingFpSettings(kernels.passes, data.data(), n, twiddles.get());
        EXPECT_EQ(data.Load(), want) << kernels.name << " N=" << n << " value " << v;
      }
    }
  }
}

// The packed variants compute alike, wrap-around included: any 32-bit data.
TEST(FixedFftKernels, M6A6AndW7AreBitIdenticalOnAnyData) {
  Rng rng("FixedFftKernels.Identical");
  for (std::int32_t order = 1; order <= 10; ++order) {
    const std::int32_t n = std::int32_t{1} << order;
    const Table twiddles = Twiddles(order);
    const Table real_twiddles = Twiddles(order + 1);
    const auto input = rng.Vector<std::int32_t>(2 * n);
    std::vector<std::int32_t> passes[4];
    std::vector<std::int32_t> recombined[4];
    for (int v = 1; v < 4; ++v) {
      GuardedBuffer<std::int32_t> data(input, 0);
      kKernels[v].passes(data.data(), n, twiddles.get());
      passes[v] = data.Load();
      if (n < 2) continue;
      GuardedBuffer<std::int32_t> pairs(input, 0);
      kKernels[v].recombine(pairs.data(), n, real_twiddles.get());
      recombined[v] = pairs.Load();
    }
    for (int v = 2; v < 4; ++v) {
      EXPECT_EQ(passes[v], passes[1]) << kKernels[v].name << " passes, N=" << n;
      EXPECT_EQ(recombined[v], recombined[1]) << kKernels[v].name << " recombination, N=" << n;
    }
  }
}

// prod(4, 0; 11585, 0) is 3 when rounded (px) and 2 when truncated;
// prod(-1, 0; 16384, 0) is -2 in both, bit 0 lost. Seen through the
// recombination of M = 4 with record 1 set to (0, sn, -sn, 0): bin 1
// becomes (Sr - prod(A, -Si; sn, 0), .) with A = Sr = Z(1).re / 2.
TEST(FixedFftKernels, ProductExamples) {
  struct Case {
    std::int16_t sn;
    std::int32_t z1;
    std::int32_t product_px, product_packed;
  };
  const Case cases[] = {{11585, 8, 3, 2}, {16384, -2, -2, -2}};
  for (const Case& c : cases) {
    std::vector<std::int16_t> table(4 * 8, 0);
    table[4] = 0;
    table[5] = c.sn;
    table[6] = static_cast<std::int16_t>(-c.sn);
    table[7] = 0;
    for (const Kernels& kernels : kKernels) {
      std::vector<std::int32_t> z = {0, 0, c.z1, 0, 0, 0, 0, 0};
      kernels.recombine(z.data(), 4, table.data());
      const std::int32_t product =
          kernels.recombine == qvlsFFTRealRecombine_i32_px ? c.product_px : c.product_packed;
      EXPECT_EQ(z[2], c.z1 / 2 - product) << kernels.name << " sn " << c.sn;
      EXPECT_EQ(z[6], c.z1 / 2 + product) << kernels.name << " sn " << c.sn;
    }
  }
}

}  // namespace
}  // namespace qvls_test::transforms
