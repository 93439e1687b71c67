#include "pump/tests/support/fax_rx_line_rig.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "pump/core/comram.h"
#include "pump/fax/fax_mode.h"
#include "pump/tests/support/pump_harness.h"

namespace pump::testing {

std::uint16_t FaxRxModeWord(std::uint8_t config) {
  return *FaxModeWord(static_cast<std::uint8_t>(config >> 4), config & 0x0F);
}

std::vector<std::uint8_t> FaxRxSeededBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

std::vector<std::int16_t> FaxRxTransmitted(std::uint8_t config, const std::vector<std::uint8_t>& data) {
  std::vector<std::int16_t> line;
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    controller.Exchange(0x73, {config, 0x00});
    controller.StreamTx(0, data);
    const std::uint8_t& status = harness.Host().comram.reg[kRegStatus];
    for (int empty = 0, blocks = 0; empty < 4 && blocks < 4000; ++blocks) {
      harness.RunBlocks(1);
      empty = controller.TxStreamLeft() == 0 && (status & kStatusTxEmpty) != 0 && harness.Context().transmitting == 1 ? empty + 1 : 0;
    }
    controller.Exchange(0x74);
    harness.RunBlocks(30);
    line = harness.Afe().LineOutput();
  });
  const auto first = std::find_if(line.begin(), line.end(), [](std::int16_t x) { return x != 0; });
  std::vector<std::int16_t> out(kFaxRxToneStart, 0);
  out.insert(out.end(), first, line.end());
  return out;
}

std::vector<std::int16_t> FaxRxWithNoise(const std::vector<std::int16_t>& line, double snr_db, std::uint32_t seed) {
  double power = 0;
  std::size_t n = 0;
  for (const std::int16_t x : line) {
    if (x != 0) {
      power += static_cast<double>(x) * x;
      ++n;
    }
  }
  const double sigma = std::sqrt(power / static_cast<double>(std::max<std::size_t>(n, 1)) / std::pow(10.0, snr_db / 10));
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, sigma);
  std::vector<std::int16_t> out(line.size());
  for (std::size_t k = 0; k < line.size(); ++k) {
    out[k] = static_cast<std::int16_t>(std::clamp(std::lround(line[k] + noise(random)), -32768L, 32767L));
  }
  return out;
}

FaxRxResult FaxRxReceive(std::uint8_t config, const FaxRxTestPlan& plan, const std::vector<std::int16_t>& line,
                         const std::function<void(DspContext&)>& each_block) {
  FaxRxResult result;
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    controller.Exchange(0x73, {config, 0x04});
    const FaxRxTestTraining table(plan);
    table.Start(harness.Context());
    harness.Afe().FeedLine(line);
    const int blocks = static_cast<int>(line.size() / kBlockSamples);
    for (int b = 0; b < blocks; ++b) {
      harness.RunBlocks(1);
      if (each_block) each_block(harness.Context());
    }
    harness.RunBlocks(2);
    for (const auto& block : controller.RxBlocks()) {
      if (block.kind == 0) result.bytes.insert(result.bytes.end(), block.data.begin(), block.data.end());
    }
  });
  return result;
}

namespace {

std::int16_t ToLine(double x) { return static_cast<std::int16_t>(std::clamp(std::lround(x), -32768L, 32767L)); }

// Hann-windowed kernels of 2 x 16 + 1 taps.
constexpr int kRigHalf = 16;
double RigWindow(double k) { return 0.5 + 0.5 * std::cos(std::numbers::pi * k / (kRigHalf + 1)); }

}  // namespace

std::vector<std::int16_t> FaxRxResampled(const std::vector<std::int16_t>& line, double ppm) {
  std::vector<std::int16_t> out;
  const double step = 1 + ppm * 1e-6;
  for (double t = 0; t + kRigHalf + 1 < static_cast<double>(line.size()); t += step) {
    const auto n = static_cast<long>(std::floor(t));
    double sum = 0;
    for (long k = n - kRigHalf; k <= n + kRigHalf + 1; ++k) {
      if (k < 0) continue;
      const double d = t - static_cast<double>(k);
      const double sinc = d == 0 ? 1 : std::sin(std::numbers::pi * d) / (std::numbers::pi * d);
      sum += line[static_cast<std::size_t>(k)] * sinc * RigWindow(d);
    }
    out.push_back(ToLine(sum));
  }
  return out;
}

std::vector<std::int16_t> FaxRxTurned(const std::vector<std::int16_t>& line, double offset_hz, double jitter_degrees,
                                      double jitter_hz) {
  std::vector<std::int16_t> out(line.size());
  for (std::size_t n = 0; n < line.size(); ++n) {
    // The Hilbert transformer: 2 / (pi k) at odd k, windowed.
    double h = 0;
    for (int k = 1; k <= kRigHalf; k += 2) {
      const double w = 2 / (std::numbers::pi * k) * RigWindow(k);
      const double ahead = n + static_cast<std::size_t>(k) < line.size() ? line[n + static_cast<std::size_t>(k)] : 0;
      const double behind = n >= static_cast<std::size_t>(k) ? line[n - static_cast<std::size_t>(k)] : 0;
      h += w * (behind - ahead);
    }
    const double t = static_cast<double>(n) / 9600;
    const double turn = 2 * std::numbers::pi * offset_hz * t +
                        jitter_degrees * std::numbers::pi / 180 * std::sin(2 * std::numbers::pi * jitter_hz * t);
    out[n] = ToLine((std::complex<double>(line[n], h) * std::polar(1.0, turn)).real());
  }
  return out;
}

}  // namespace pump::testing
