// Inputs with a known spectrum, for every transform test: impulses at 0 and
// 1, a constant, an alternating sequence, a tone and a full-scale pattern,
// each as N complex values (2N interleaved 16-bit values) or N real samples.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

namespace qvls_test::transforms {

enum class Layout { kComplex, kReal };
inline constexpr Layout kLayouts[] = {Layout::kComplex, Layout::kReal};

inline const char* LayoutName(Layout layout) {
  return layout == Layout::kComplex ? "complex" : "real";
}

// One sample m of n, amplitude a: a complex value whose real part is the
// real layout's sample.
using SampleFunction = std::complex<long double> (*)(std::int32_t m, std::int32_t n, long double a);

struct StructuredInput {
  const char* name;
  SampleFunction sample;
};

inline constexpr StructuredInput kImpulseAt0 = {
    "impulse at 0", [](std::int32_t m, std::int32_t, long double a) -> std::complex<long double> {
      return m == 0 ? a : 0;
    }};
inline constexpr StructuredInput kImpulseAt1 = {
    "impulse at 1", [](std::int32_t m, std::int32_t, long double a) -> std::complex<long double> {
      return m == 1 ? a : 0;
    }};
inline constexpr StructuredInput kConstant = {
    "constant",
    [](std::int32_t, std::int32_t, long double a) -> std::complex<long double> { return a; }};
inline constexpr StructuredInput kAlternating = {
    "alternating", [](std::int32_t m, std::int32_t, long double a) -> std::complex<long double> {
      return m % 2 == 0 ? a : -a;
    }};
// a·e^(2πi·m/N), one bin above DC (a·cos for real samples).
inline constexpr StructuredInput kTone = {
    "tone", [](std::int32_t m, std::int32_t n, long double a) {
      return std::polar(a, 2 * std::numbers::pi_v<long double> * m / n);
    }};
// The largest magnitudes of both signs, two by two, led by the amplitude's
// sign; real values only.
inline constexpr StructuredInput kFullScale = {
    "full scale", [](std::int32_t m, std::int32_t, long double a) -> std::complex<long double> {
      const bool lead = m % 4 < 2;
      return (a >= 0) == lead ? 32767 : -32768;
    }};

inline constexpr StructuredInput kStructuredInputs[] = {kImpulseAt0,  kImpulseAt1, kConstant,
                                                        kAlternating, kTone,       kFullScale};

// n samples of one input in the given layout, rounded to 16 bits.
inline std::vector<std::int16_t> MakeInput(const StructuredInput& input, Layout layout,
                                           std::int32_t n, long double amplitude) {
  std::vector<std::int16_t> values;
  for (std::int32_t m = 0; m < n; ++m) {
    const std::complex<long double> z = input.sample(m, n, amplitude);
    values.push_back(static_cast<std::int16_t>(std::lround(z.real())));
    if (layout == Layout::kComplex)
      values.push_back(static_cast<std::int16_t>(std::lround(z.imag())));
  }
  return values;
}

}  // namespace qvls_test::transforms
