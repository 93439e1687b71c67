// Designs the block resampler's low-pass tables and prints them as the
// header filter_tables.h. Its output is checked in; run it again only to
// change a design:
//
//   cmake --build build --target pump_resampler_design
//   build/pump/resampler/pump_resampler_design > pump/resampler/filter_tables.h
//
// Each table is a Kaiser-windowed sinc on the grid of input rate x L:
//   - cut-off at the narrower Nyquist frequency Fn = min(input, output) / 2;
//   - passband edge fp chosen by the rates' use (below), stopband edge
//     fs = 2 Fn - fp, so aliases and images of the passband land beyond fs;
//   - the window's shape from the attenuation Kaiser's formula gives for
//     that transition and the tap count;
//   - DC gain L (up-sampling by L leaves 1/L of the signal), Q15.
// The passband ripple and stopband attenuation printed with each table are
// measured on its Q15 taps as the FIR applies them (after its normalising
// shift), on a dense grid, and rounded to the safe side.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/line/det_math.h"

namespace {

using plat::line::BesselI0;
using plat::line::CosPi;
using plat::line::Exp;
using plat::line::Log;
using plat::line::SinPi;

struct Design {
  const char* name;
  int up;
  int down;
  int taps;
  double input_hz;  // the rate the design is stated at
  double pass_hz;   // the band the rates' signals use
};

// One row per distinct table. The voice and sound-path rates (8000 Hz and
// the formats around it) keep 3200-3300 Hz where the tap count allows;
// 7200 Hz keeps 2900 Hz, 4800 Hz 2000-2100 Hz, and the rates between two
// line-side rates of 9600 Hz or more keep 3700 Hz.
constexpr Design kDesigns[] = {
    {"72", 10, 9, 128, 9600, 3700},     {"102", 7, 9, 128, 9600, 3000},
    {"488", 1, 6, 97, 48000, 3300},     {"848", 6, 1, 97, 8000, 3300},
    {"4880", 5, 3, 128, 4800, 2000},    {"4896", 2, 1, 64, 4800, 2100},
    {"7280", 10, 9, 128, 7200, 2900},   {"7296", 4, 3, 64, 7200, 3000},
    {"8048", 3, 5, 128, 8000, 2000},    {"8072", 9, 10, 128, 8000, 2900},
    {"8096", 6, 5, 64, 8000, 3200},     {"9680", 5, 6, 64, 9600, 3200},
    {"11080", 8, 11, 128, 11000, 3200}, {"11096", 7, 8, 128, 11000, 3700},
    {"80110", 11, 8, 128, 8000, 3200},  {"96110", 8, 7, 128, 9600, 3700},
};

double Sinc(double x) { return x == 0.0 ? 1.0 : SinPi(x) / (3.14159265358979323846 * x); }

// Log takes positive values only; a null of the response reads as -240 dB.
double Db(double ratio) { return 20.0 * Log(std::max(ratio, 1e-12)) / Log(10.0); }

// Kaiser's rules: the attenuation a window of n taps reaches over a
// transition of `width` radians per sample, and the shape that gives it.
double KaiserAttenuation(int n, double width) { return 2.285 * (n - 1) * width + 7.95; }

double KaiserBeta(double a) {
  if (a > 50.0) return 0.1102 * (a - 8.7);
  if (a >= 21.0) return 0.5842 * Exp(0.4 * Log(a - 21.0)) + 0.07886 * (a - 21.0);
  return 0.0;
}

struct Table {
  std::vector<std::int32_t> taps;
  double grid_hz, nyquist_hz, stop_hz, beta, ripple_db, stopband_db;
};

// |H(f)| of the taps as the FIR applies them, f in cycles per grid sample.
double Magnitude(const std::vector<std::int64_t>& taps, double f) {
  double re = 0.0;
  double im = 0.0;
  for (std::size_t n = 0; n < taps.size(); ++n) {
    const double turns = 2.0 * f * static_cast<double>(n);
    re += static_cast<double>(taps[n]) * CosPi(turns);
    im -= static_cast<double>(taps[n]) * SinPi(turns);
  }
  return std::sqrt(re * re + im * im) / 32768.0;
}

Table MakeTable(const Design& d) {
  Table t;
  t.grid_hz = d.input_hz * d.up;
  t.nyquist_hz = std::min(d.input_hz, t.grid_hz / d.down) / 2.0;
  t.stop_hz = 2.0 * t.nyquist_hz - d.pass_hz;
  const double width = 2.0 * 3.14159265358979323846 * (t.stop_hz - d.pass_hz) / t.grid_hz;
  t.beta = KaiserBeta(KaiserAttenuation(d.taps, width));
  const double cutoff = t.nyquist_hz / t.grid_hz;  // cycles per grid sample
  const double centre = (d.taps - 1) / 2.0;
  std::vector<double> h(static_cast<std::size_t>(d.taps));
  double sum = 0.0;
  for (int n = 0; n < d.taps; ++n) {
    const double x = (n - centre) / centre;
    const double window =
        BesselI0(t.beta * std::sqrt(std::max(0.0, 1.0 - x * x))) / BesselI0(t.beta);
    h[n] = 2.0 * cutoff * Sinc(2.0 * cutoff * (n - centre)) * window;
    sum += h[n];
  }
  for (int n = 0; n < d.taps; ++n) {
    t.taps.push_back(static_cast<std::int32_t>(std::lround(h[n] / sum * d.up * 32768.0)));
  }

  // As the FIR holds them: shifted right until every tap fits 32766.
  std::int64_t largest = 0;
  for (std::int32_t tap : t.taps) largest = std::max<std::int64_t>(largest, std::abs(tap));
  int shift = 0;
  while ((largest >> shift) > 32766) ++shift;
  std::vector<std::int64_t> applied;
  for (std::int32_t tap : t.taps)
    applied.push_back(static_cast<std::int64_t>(tap >> shift) << shift);

  constexpr int kPoints = 20000;
  t.ripple_db = 0.0;
  t.stopband_db = 1000.0;
  for (int i = 0; i <= kPoints; ++i) {
    const double hz = t.grid_hz / 2.0 * i / kPoints;
    const double gain = Magnitude(applied, hz / t.grid_hz) / d.up;
    if (hz <= d.pass_hz) t.ripple_db = std::max(t.ripple_db, std::abs(Db(gain)));
    if (hz >= t.stop_hz) t.stopband_db = std::min(t.stopband_db, -Db(gain));
  }
  // To the safe side: ripple up to the next 0.01 dB, attenuation down to 0.1 dB.
  t.ripple_db = std::ceil(t.ripple_db * 100.0) / 100.0;
  t.stopband_db = std::floor(t.stopband_db * 10.0) / 10.0;
  return t;
}

}  // namespace

int main() {
  std::printf(
      "// Generated by pump/resampler/design/filter_design.cpp; do not edit. Each\n"
      "// table is a Q15 Kaiser-windowed sinc low-pass on the grid of input rate x L\n"
      "// with DC gain L, cut off at the narrower Nyquist frequency; its stated\n"
      "// passband ripple and stopband attenuation (relative to L) are measured on\n"
      "// the taps as the FIR applies them. Edges are given in Hz at the rates named\n"
      "// and, in the design records, in cycles per grid sample.\n"
      "#pragma once\n\n#include <array>\n#include <cstdint>\n\n"
      "#include \"pump/resampler/filter_design.h\"\n\nnamespace pump {\n");
  for (const Design& d : kDesigns) {
    const Table t = MakeTable(d);
    std::printf(
        "\n// %s: %.0f Hz in, %.0f Hz out (L %d, M %d, grid %.0f Hz), %d taps, DC gain %d;\n"
        "// cut-off %.1f Hz; passband 0-%.0f Hz within +-%.2f dB; stopband from %.1f Hz\n"
        "// at least %.1f dB down (Kaiser beta %.3f).\n",
        d.name, d.input_hz, d.input_hz * d.up / d.down, d.up, d.down, t.grid_hz, d.taps, d.up,
        t.nyquist_hz, d.pass_hz, t.ripple_db, t.stop_hz, t.stopband_db, t.beta);
    std::printf("inline constexpr std::array<std::int32_t, %d> kResamplerTaps%s = {", d.taps,
                d.name);
    for (int n = 0; n < d.taps; ++n) {
      std::printf("%s%d,", n % 10 == 0 ? "\n    " : " ", t.taps[n]);
    }
    std::printf("\n};\n");
    std::printf(
        "inline constexpr ResamplerFilterDesign kResamplerDesign%s = {\n"
        "    kResamplerTaps%s.data(), %d, %.17g, %.17g, %.2f, %.1f};\n",
        d.name, d.name, d.taps, d.pass_hz / t.grid_hz, t.stop_hz / t.grid_hz, t.ripple_db,
        t.stopband_db);
  }
  std::printf("\n}  // namespace pump\n");
  return 0;
}
