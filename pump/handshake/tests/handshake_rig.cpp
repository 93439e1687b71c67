#include "pump/handshake/tests/handshake_rig.h"

#include <algorithm>
#include <cmath>

#include "platform/line/gaussian_noise.h"
#include "pump/handshake/handshake.h"
// clang-format off
#include <tiffio.h>
#include <spandsp.h>
// clang-format on

namespace pump::handshake_test {
namespace {

constexpr int kLineRate = 8000;
// Peak of a sine at 0 dBm0 where a full-scale sine is +3.14 dBm0.
const double kZeroDbm0Peak = 32767.0 * std::pow(10.0, -3.14 / 20.0);

}  // namespace

void BeginCall(PumpHarness& harness, const Call& call) {
  cp_test::StartCall(harness);
  DspContext& context = harness.Context();
  context.transmit_level = kTransmitLevel;
  context.fsk.start_type = -1;
  context.pending = {};
  context.receive.v32.mode_code = 0;  // V32Started counts from here
  if (call.v8_continuation == 0) {
    const auto p2 = static_cast<std::uint8_t>(call.calling_tone | call.direction << 2 |
                                              call.selector << 3 | call.v8bis << 6);
    harness.Controller().Exchange(0x68, {static_cast<std::uint8_t>(call.rate_code),
                                         static_cast<std::uint8_t>(call.mode), p2, 0x00});
    return;
  }
  CallParameters& p = context.call;
  p.mode = call.mode;
  p.max_rate_code = call.rate_code;
  p.direction = call.direction;
  p.handshake_selector = call.selector;
  p.calling_tone = call.calling_tone;
  p.v8bis = call.v8bis;
  p.v8_continuation = static_cast<std::uint8_t>(call.v8_continuation);
  StartHandshake(context);
}

LineGenerator AnswerTone(int kind) {
  std::shared_ptr<modem_connect_tones_tx_state_t> state(modem_connect_tones_tx_init(nullptr, kind),
                                                        modem_connect_tones_tx_free);
  return [state](std::span<std::int16_t> out) {
    return modem_connect_tones_tx(state.get(), out.data(), static_cast<int>(out.size()));
  };
}

namespace {

int Mark(void*) { return 1; }
void Drop(void*, int) {}

}  // namespace

LineGenerator FskMarks(int fsk_spec, int level) {
  std::shared_ptr<fsk_tx_state_t> state(
      fsk_tx_init(nullptr, &preset_fsk_specs[fsk_spec], Mark, nullptr), fsk_tx_free);
  fsk_tx_power(state.get(), static_cast<float>(level));
  return [state](std::span<std::int16_t> out) {
    return fsk_tx(state.get(), out.data(), static_cast<int>(out.size()));
  };
}

LineGenerator V22bisAnswerer(int level) {
  std::shared_ptr<v22bis_state_t> state(
      v22bis_init(nullptr, 2400, V22BIS_GUARD_TONE_NONE, 0, Mark, nullptr, Drop, nullptr),
      v22bis_free);
  v22bis_tx_power(state.get(), static_cast<float>(level));
  return [state](std::span<std::int16_t> out) {
    return v22bis_tx(state.get(), out.data(), static_cast<int>(out.size()));
  };
}

LineGenerator Tone(int f1, int f2, int level) {
  return testing::SpandspTone(f1, level, f2, f2 != 0 ? level : 0, 0);
}

LineGenerator Noise(std::uint64_t seed, double dbm0) {
  auto noise = std::make_shared<plat::line::GaussianNoise>(seed, 0);
  // A sine's rms is its peak / sqrt 2.
  const double rms = kZeroDbm0Peak / std::sqrt(2.0) * std::pow(10.0, dbm0 / 20.0);
  return [noise, rms](std::span<std::int16_t> out) {
    for (std::int16_t& s : out) {
      s = static_cast<std::int16_t>(std::clamp(std::lround(rms * noise->Next()), -32768L, 32767L));
    }
    return static_cast<int>(out.size());
  };
}

FarEnd::FarEnd(std::vector<Stretch> stretches)
    : stretches_(std::move(stretches)),
      source_(std::make_unique<testing::SpandspSource>(
          [this](std::span<std::int16_t> out) { return Fill(out); })) {}

FarEnd::~FarEnd() = default;

// Line samples of the stretches in turn, silence after the last one.
int FarEnd::Fill(std::span<std::int16_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    if (current_ >= stretches_.size()) {
      std::fill(out.begin() + static_cast<std::ptrdiff_t>(done), out.end(), std::int16_t{0});
      break;
    }
    const Stretch& s = stretches_[current_];
    if (left_ < 0) left_ = static_cast<std::int64_t>(s.ms) * kLineRate / 1000;
    const auto n = static_cast<std::size_t>(
        std::min<std::int64_t>(left_, static_cast<std::int64_t>(out.size() - done)));
    const std::span part = out.subspan(done, n);
    const int made = s.generator ? std::max(0, s.generator(part)) : 0;
    std::fill(part.begin() + made, part.end(), std::int16_t{0});
    done += n;
    left_ -= static_cast<std::int64_t>(n);
    if (left_ == 0) {
      ++current_;
      left_ = -1;
    }
  }
  return static_cast<int>(out.size());
}

void FarEnd::Next(std::span<std::int16_t> block) {
  ++blocks_;
  source_->Take(block);
}

int ToneBlocks(std::span<const std::int16_t> line, std::size_t first) {
  const auto quiet = [&](std::size_t b) {
    const std::size_t from = first + b * kBlock;
    if (from + kBlock > line.size()) return true;
    return std::all_of(line.begin() + static_cast<std::ptrdiff_t>(from),
                       line.begin() + static_cast<std::ptrdiff_t>(from + kBlock),
                       [](std::int16_t s) { return s == 0; });
  };
  std::size_t lead = 0;
  while (quiet(lead) && first + lead * kBlock < line.size()) ++lead;
  int tone = 0;
  while (!quiet(lead + static_cast<std::size_t>(tone))) ++tone;
  return tone;
}

int Hear(PumpHarness& harness, FarEnd& far, int max_blocks,
         const std::function<bool(const DspContext&)>& done) {
  std::int16_t block[kBlock];
  for (int b = 0; b < max_blocks; ++b) {
    if (done && done(harness.Context())) return b;
    far.Next(block);
    harness.Afe().FeedLine(block);
    harness.RunBlocks(1);
  }
  return max_blocks;
}

}  // namespace pump::handshake_test
