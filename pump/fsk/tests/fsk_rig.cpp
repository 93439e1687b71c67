#include "pump/fsk/tests/fsk_rig.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

#include "pump/fsk/fsk_start.h"
#include "pump/tests/support/spandsp_codec_rate.h"

namespace pump::fsk_testing {

std::vector<std::int16_t> Transmit(const Sender& sender, std::span<const std::uint8_t> bytes,
                                   int tail_blocks) {
  std::vector<std::int16_t> out;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    harness.Context().call.direction = sender.direction;
    harness.Context().transmit_level = static_cast<std::int16_t>(sender.transmit_level);
    StartFsk(harness.Context(), sender.start_type);
    // Marks first, so the far receiver's qualifier and carrier detector settle.
    harness.RunBlocks(sender.lead_blocks);
    std::size_t offered = 0;
    int idle = 0;
    const std::uint8_t& status = harness.Host().comram.reg[kRegStatus];
    while (offered < bytes.size() || idle < tail_blocks) {
      if (offered < bytes.size()) {
        const std::size_t n = std::min<std::size_t>(32, bytes.size() - offered);
        if (controller.FillTx(0, bytes.subspan(offered, n))) offered += n;
      } else if ((status & kStatusTxEmpty) != 0) {
        ++idle;  // the framer has sent everything
      }
      harness.RunBlocks(1);
    }
    out = harness.Afe().LineOutput();
  });
  return out;
}

Heard Receive(int start_type, int direction, std::span<const std::int16_t> line,
              const std::function<void(testing::PumpHarness&)>& after) {
  Heard heard;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    harness.Context().call.direction = direction;
    StartFsk(harness.Context(), start_type);
    harness.Afe().FeedLine(line);
    harness.RunBlocks(static_cast<int>(line.size() / 96));
    for (const auto& block : controller.RxBlocks()) {
      heard.bytes.insert(heard.bytes.end(), block.data.begin(), block.data.end());
    }
    heard.status = harness.Host().comram.reg[kRegStatus];
    if (after) after(harness);
  });
  return heard;
}

std::vector<std::int16_t> OverLine(std::span<const std::int16_t> samples,
                                   const plat::line::LineDirectionConfig& config) {
  plat::line::LineDirection direction(config);
  std::vector<std::int16_t> line8k;
  testing::SpandspSink sink([&](std::span<const std::int16_t> s) {
    line8k.insert(line8k.end(), s.begin(), s.end());
  });
  sink.Put(samples);
  direction.SendFar(line8k);
  std::vector<std::int16_t> heard(line8k.size());
  direction.Receive(heard);
  return At9600(heard, samples.size());
}

std::vector<std::int16_t> At9600(std::span<const std::int16_t> line, std::size_t n) {
  std::size_t at = 0;
  testing::SpandspSource source([&](std::span<std::int16_t> out) {
    const std::size_t k = std::min(out.size(), line.size() - at);
    std::copy_n(line.begin() + static_cast<std::ptrdiff_t>(at), k, out.begin());
    at += k;
    return static_cast<int>(k);
  });
  return source.Take(n);
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

std::size_t BitErrors(std::span<const std::uint8_t> sent, std::span<const std::uint8_t> got) {
  const std::size_t common = std::min(sent.size(), got.size());
  std::size_t errors = 8 * (std::max(sent.size(), got.size()) - common);
  for (std::size_t k = 0; k < common; ++k) {
    errors += static_cast<std::size_t>(std::popcount(static_cast<unsigned>(sent[k] ^ got[k])));
  }
  return errors;
}

double PowerAt(std::span<const std::int16_t> samples, double hz, double rate) {
  constexpr double kPi = 3.14159265358979323846;
  double re = 0;
  double im = 0;
  double total = 0;
  for (std::size_t n = 0; n < samples.size(); ++n) {
    const double w = 2 * kPi * hz * static_cast<double>(n) / rate;
    re += samples[n] * std::cos(w);
    im += samples[n] * std::sin(w);
    total += static_cast<double>(samples[n]) * samples[n];
  }
  // A sine's whole power lands in its bin: 2 |X|^2 / N^2 equals its power.
  const double n = static_cast<double>(samples.size());
  return total == 0 ? 0 : 2 * (re * re + im * im) / (n * n) / (total / n);
}

}  // namespace pump::fsk_testing
