// Our line signal into spandsp's fax receivers at 8000 Hz, through the
// line port's resampler: they train on our bursts and decode the data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <complex>
#include <numbers>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "afe/windows/afe_contract.h"
#include "pump/core/comram.h"
#include "pump/fax/fax_configure.h"
#include "pump/fax/tests/fax_test_kind.h"
#include "platform/hal/instant.h"
#include "platform/line/peer_end.h"
#include "platform/line/taps.h"
#include "pump/tests/support/dsp_rig.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"
#include <spandsp/complex.h>
#include <spandsp/v29rx.h>
#include <spandsp/v17rx.h>
#include <spandsp/v27ter_rx.h>
#include <spandsp/hdlc.h>
#include <spandsp/v17tx.h>
#include <spandsp/v29tx.h>
#include <spandsp/v27ter_tx.h>

namespace pump {
namespace {

enum class Receiver { kV27ter, kV29, kV17 };

// Every mode word with its spandsp receiver and bit rate.
struct InteropRate {
  const char* name;
  std::uint16_t mode_word;
  Receiver receiver;
  int bit_rate;
};
constexpr InteropRate kInteropRates[] = {
    {"V.27ter 2400", 0x01, Receiver::kV27ter, 2400}, {"V.27ter 4800", 0x00, Receiver::kV27ter, 4800},
    {"V.29 4800", 0x12, Receiver::kV29, 4800},       {"V.29 7200", 0x11, Receiver::kV29, 7200},
    {"V.29 9600", 0x10, Receiver::kV29, 9600},       {"V.17 7200", 0x23, Receiver::kV17, 7200},
    {"V.17 9600", 0x22, Receiver::kV17, 9600},       {"V.17 12000", 0x21, Receiver::kV17, 12000},
    {"V.17 14400", 0x20, Receiver::kV17, 14400},
};

// The line output of a transmit configuration sending `bytes` as raw octets;
// `configured_at`, if given, receives the line sample where the burst's
// first block starts.
std::vector<std::int16_t> SendBurst(std::uint16_t mode_word, const std::vector<std::uint8_t>& bytes,
                                    std::size_t* configured_at = nullptr) {
  std::vector<std::int16_t> out;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    context.fax.mode_word = mode_word;
    context.fax.modulation_kind = testing::FaxKindOf(mode_word);
    context.fax.options = 0;
    ConfigureFax(context);
    if (configured_at != nullptr) *configured_at = harness.Afe().LineOutput().size();
    std::size_t offered = 0;
    int idle = 0;
    const std::uint8_t& status = harness.Host().comram.reg[kRegStatus];
    while (offered < bytes.size() || idle < 5) {
      if (offered < bytes.size()) {
        const std::size_t n = std::min<std::size_t>(32, bytes.size() - offered);
        if (controller.FillTx(0, std::span(bytes).subspan(offered, n))) offered += n;
      } else if ((status & kStatusTxEmpty) != 0) {
        ++idle;
      }
      harness.RunBlocks(1);
    }
    out = harness.Afe().LineOutput();
  });
  return out;
}

struct Heard {
  std::vector<std::uint8_t> bits;
  bool trained = false;
};

void PutBit(void* user, int bit) {
  auto& heard = *static_cast<Heard*>(user);
  if (bit < 0) {
    if (bit == SIG_STATUS_TRAINING_SUCCEEDED) heard.trained = true;
    return;
  }
  heard.bits.push_back(static_cast<std::uint8_t>(bit));
}

// The line port's resampler from 9600 Hz to spandsp's 8000 Hz.
std::vector<std::int16_t> At8000(std::span<const std::int16_t> line9600) {
  std::vector<std::int16_t> line;
  testing::SpandspSink sink([&](std::span<const std::int16_t> s) { line.insert(line.end(), s.begin(), s.end()); });
  sink.Put(line9600);
  return line;
}

Heard HearAt8000(Receiver receiver, int bit_rate, std::vector<std::int16_t> line) {
  Heard heard;
  switch (receiver) {
    case Receiver::kV17: {
      v17_rx_state_t* s = v17_rx_init(nullptr, bit_rate, PutBit, &heard);
      v17_rx(s, line.data(), static_cast<int>(line.size()));
      v17_rx_free(s);
      break;
    }
    case Receiver::kV29: {
      v29_rx_state_t* s = v29_rx_init(nullptr, bit_rate, PutBit, &heard);
      v29_rx(s, line.data(), static_cast<int>(line.size()));
      v29_rx_free(s);
      break;
    }
    case Receiver::kV27ter: {
      v27ter_rx_state_t* s = v27ter_rx_init(nullptr, bit_rate, PutBit, &heard);
      v27ter_rx(s, line.data(), static_cast<int>(line.size()));
      v27ter_rx_free(s);
      break;
    }
  }
  return heard;
}

Heard HearWithSpandsp(Receiver receiver, int bit_rate, std::span<const std::int16_t> line9600) {
  return HearAt8000(receiver, bit_rate, At8000(line9600));
}

// The longest run of zeros in what spandsp decoded.
std::size_t LongestZeros(const std::vector<std::uint8_t>& bits) {
  std::size_t best = 0, run = 0;
  for (auto b : bits) {
    run = b == 0 ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best;
}

// A TCF: 1.5 s of zeros comes through whole.
TEST(FaxTxInterop, SpandspReceiversTrainAndDecodeATcf) {
  for (const auto& row : kInteropRates) {
    SCOPED_TRACE(row.name);
    const std::vector<std::uint8_t> tcf(static_cast<std::size_t>(row.bit_rate * 3 / 2 / 8), 0);
    const auto line = SendBurst(row.mode_word, tcf);
    const Heard heard = HearWithSpandsp(row.receiver, row.bit_rate, line);
    EXPECT_TRUE(heard.trained);
    EXPECT_GE(LongestZeros(heard.bits), tcf.size() * 8);
  }
}

// A coherent reference: the line mixed with the carrier in double
// precision and averaged over one symbol; a sample is "on" when that
// magnitude exceeds half the echo-protection tone's. Returns the lengths,
// in symbols, of the first run on (the tone) and of the gap after it.
struct ToneGap {
  double tone;
  double gap;
};

ToneGap MeasureToneAndGap(std::span<const std::int16_t> line, double carrier_hz, int samples_per_symbol) {
  std::vector<double> magnitude(line.size());
  std::complex<double> sum = 0;
  std::vector<std::complex<double>> mixed(line.size());
  for (std::size_t n = 0; n < line.size(); ++n) {
    mixed[n] = static_cast<double>(line[n]) * std::polar(1.0, -2 * std::numbers::pi * carrier_hz * static_cast<double>(n) / 9600);
    sum += mixed[n];
    if (n >= static_cast<std::size_t>(samples_per_symbol)) sum -= mixed[n - static_cast<std::size_t>(samples_per_symbol)];
    magnitude[n] = std::abs(sum);
  }
  std::size_t n = 0;
  while (n < magnitude.size() && magnitude[n] == 0) ++n;
  const double tone = *std::max_element(magnitude.begin() + static_cast<std::ptrdiff_t>(n),
                                        magnitude.begin() + static_cast<std::ptrdiff_t>(std::min(magnitude.size(), n + 1000)));
  const auto on = [&](std::size_t k) { return magnitude[k] > tone / 2; };
  while (n < magnitude.size() && !on(n)) ++n;
  const std::size_t tone_start = n;
  while (n < magnitude.size() && on(n)) ++n;
  const std::size_t tone_end = n;
  while (n < magnitude.size() && !on(n)) ++n;
  return {static_cast<double>(tone_end - tone_start) / samples_per_symbol,
          static_cast<double>(n - tone_end) / samples_per_symbol};
}

// On the line: the silence before the echo-protection tone, the tone and
// the silence after it, V.27ter 2400 bit/s capped at 230 and 24 symbols.
// The silence before counts whole symbols from where the burst's first
// block is played (the front end's latency of 3 blocks after it is made)
// to the first sound (the shaping is causal, and its first taps are not
// zero): the table's silence and the symbol in which the raised request
// is seen.
TEST(FaxTxBursts, EchoProtectionToneAndSilenceMeasuredOnTheLine) {
  struct Row {
    const char* name;
    std::uint16_t mode_word;
    double carrier_hz;
    int samples_per_symbol;
    std::size_t lead;  // symbols
    double tone;
    double gap;
  };
  const Row rows[] = {
      {"V.17", 0x20, 1800, 4, 1, 458, 54},
      {"V.29", 0x10, 1700, 4, 1 + 262, 458, 62},
      {"V.27ter 4800", 0x00, 1800, 6, 1 + 42, 306, 42},
      {"V.27ter 2400", 0x01, 1800, 8, 1 + 42, 230, 24},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::size_t configured_at = 0;
    const auto line = SendBurst(row.mode_word, {}, &configured_at);
    const std::size_t played_at = configured_at + afe::kDefaultLatency * 96;
    std::size_t first_sound = played_at;
    while (first_sound < line.size() && line[first_sound] == 0) ++first_sound;
    EXPECT_EQ((first_sound - played_at) / static_cast<std::size_t>(row.samples_per_symbol), row.lead);
    const ToneGap measured = MeasureToneAndGap(line, row.carrier_hz, row.samples_per_symbol);
    EXPECT_NEAR(measured.tone, row.tone, 0.75);
    // Measured edges sit within a symbol of where the shaping centres them.
    EXPECT_NEAR(measured.gap, row.gap, 0.75);
  }
}

// ---- HDLC bursts -------------------------------------------------------------

using FaxFrames = std::vector<std::vector<std::uint8_t>>;

// Seeded frames of 3 to 60 bytes, a control frame's address first.
FaxFrames InteropFrames(std::uint32_t seed, int count) {
  std::uint32_t x = seed;
  const auto next = [&] {
    x = x * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(x >> 16);
  };
  FaxFrames frames;
  for (int f = 0; f < count; ++f) {
    std::vector<std::uint8_t> frame = {0xFF, 0x03};
    const int length = 1 + next() % 58;
    for (int k = 0; k < length; ++k) frame.push_back(next());
    frames.push_back(frame);
  }
  return frames;
}

// Bursts of HDLC frames from our framer: 0x73 with (kind, rate code),
// 0x61 for HDLC, the frames through the mailbox, 0x74 once they are out,
// the tail; a later burst either reconfigures (0x73 again) or only raises
// the request (0x75). Returns the line and where each burst's line starts.
struct FaxBurstPlan {
  std::uint8_t config;  // 0x73 byte 0; 0: no reconfiguration, 0x75 only
  FaxFrames frames;
};

struct FaxBurstLine {
  std::vector<std::int16_t> line;
  std::vector<std::size_t> starts;  // at 9600 Hz
};

FaxBurstLine SendHdlcBursts(const std::vector<FaxBurstPlan>& plans) {
  FaxBurstLine result;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    const std::uint8_t& status = harness.Host().comram.reg[kRegStatus];
    for (const FaxBurstPlan& plan : plans) {
      result.starts.push_back(harness.Afe().LineOutput().size());
      if (plan.config != 0) {
        controller.Exchange(0x73, {plan.config, 0x00});
      } else {
        controller.Exchange(0x75);
      }
      controller.Exchange(0x61, {2, 0});
      for (const auto& frame : plan.frames) {
        for (std::size_t at = 0; at < frame.size();) {
          const std::size_t n = std::min<std::size_t>(32, frame.size() - at);
          const std::uint8_t kind = at + n == frame.size() ? 1 : 0;
          while (!controller.FillTx(kind, std::span(frame).subspan(at, n))) harness.RunBlocks(1);
          at += n;
        }
      }
      int empty = 0;
      while (empty < 4) {
        harness.RunBlocks(1);
        empty = (status & kStatusTxEmpty) != 0 && harness.Context().transmitting == 1 ? empty + 1 : 0;
      }
      controller.Exchange(0x74);
      harness.RunBlocks(40);  // the tail, DP_FAX_CD, silence
    }
    result.line = harness.Afe().LineOutput();
  });
  return result;
}

struct HdlcHeard {
  std::vector<FaxFrames> bursts;  // good frames, by training
  int bad = 0;
};

void HdlcHeardFrame(void* user, const std::uint8_t* data, int len, int ok) {
  auto& heard = *static_cast<HdlcHeard*>(user);
  if (len < 0 || heard.bursts.empty()) return;
  if (ok == 0) {
    ++heard.bad;
    return;
  }
  heard.bursts.back().emplace_back(data, data + len);
}

struct HdlcListener {
  HdlcHeard heard;
  int carrier_downs = 0;
  hdlc_rx_state_t* hdlc = hdlc_rx_init(nullptr, false, true, 1, HdlcHeardFrame, &heard);
  ~HdlcListener() { hdlc_rx_free(hdlc); }
  static void PutBit(void* user, int bit) {
    auto& self = *static_cast<HdlcListener*>(user);
    if (bit == SIG_STATUS_CARRIER_DOWN) ++self.carrier_downs;
    if (bit == SIG_STATUS_TRAINING_SUCCEEDED) self.heard.bursts.emplace_back();
    if (bit >= 0) hdlc_rx_put_bit(self.hdlc, bit);
  }
};

// The bursts' line at 8000 Hz into one spandsp receiver; before each
// burst after the first it restarts. With `short_after`, V.17's receiver
// restarts for the short training where the echo-protection tone ends
// (its carrier drops): the tone alone fails a training, and spandsp then
// falls back to expecting a long one.
HdlcHeard HearHdlcWithSpandsp(Receiver receiver, int bit_rate, const FaxBurstLine& sent, bool short_after) {
  HdlcListener listener;
  v17_rx_state_t* v17 = receiver == Receiver::kV17 ? v17_rx_init(nullptr, bit_rate, HdlcListener::PutBit, &listener) : nullptr;
  v29_rx_state_t* v29 = receiver == Receiver::kV29 ? v29_rx_init(nullptr, bit_rate, HdlcListener::PutBit, &listener) : nullptr;
  v27ter_rx_state_t* v27 =
      receiver == Receiver::kV27ter ? v27ter_rx_init(nullptr, bit_rate, HdlcListener::PutBit, &listener) : nullptr;
  for (std::size_t b = 0; b < sent.starts.size(); ++b) {
    const std::size_t end = b + 1 < sent.starts.size() ? sent.starts[b + 1] : sent.line.size();
    std::vector<std::int16_t> line;
    testing::SpandspSink sink([&](std::span<const std::int16_t> s) { line.insert(line.end(), s.begin(), s.end()); });
    sink.Put(std::span(sent.line).subspan(sent.starts[b], end - sent.starts[b]));
    if (b > 0) {
      if (v17 != nullptr) v17_rx_restart(v17, bit_rate, short_after ? 1 : 0);
      if (v29 != nullptr) v29_rx_restart(v29, bit_rate, 0);
      if (v27 != nullptr) v27ter_rx_restart(v27, bit_rate, 0);
    }
    const int n = static_cast<int>(line.size());
    if (v17 != nullptr && b > 0 && short_after) {
      const int downs = listener.carrier_downs;
      bool restarted = false;
      for (int at = 0; at < n; at += 80) {
        v17_rx(v17, line.data() + at, std::min(80, n - at));
        if (!restarted && listener.carrier_downs > downs) {
          v17_rx_restart(v17, bit_rate, 1);
          restarted = true;
        }
      }
    } else if (v17 != nullptr) {
      v17_rx(v17, line.data(), n);
    }
    if (v29 != nullptr) v29_rx(v29, line.data(), n);
    if (v27 != nullptr) v27ter_rx(v27, line.data(), n);
  }
  if (v17 != nullptr) v17_rx_free(v17);
  if (v29 != nullptr) v29_rx_free(v29);
  if (v27 != nullptr) v27ter_rx_free(v27);
  return listener.heard;
}

// HDLC frames from our framer pass spandsp's frame check, byte for byte,
// in two bursts: the second without reconfiguration (0x75 only), or, for
// V.17, after a long training a second burst with the short training at
// the same rate.
TEST(FaxTxInterop, HdlcFramesInTwoBurstsPassSpandspsCheck) {
  struct Row {
    const char* name;
    std::uint8_t first;   // 0x73 byte 0
    std::uint8_t second;  // 0: 0x75 only
    Receiver receiver;
    int bit_rate;
  };
  const Row rows[] = {
      {"V.27ter 2400", 0xA4, 0, Receiver::kV27ter, 2400},
      {"V.27ter 4800", 0xA5, 0, Receiver::kV27ter, 4800},
      {"V.29 4800", 0xB5, 0, Receiver::kV29, 4800},
      {"V.29 7200", 0xB6, 0, Receiver::kV29, 7200},
      {"V.29 9600", 0xB7, 0, Receiver::kV29, 9600},
      {"V.17 7200 long, short", 0xE5, 0xD5, Receiver::kV17, 7200},
      {"V.17 9600 long, short", 0xE7, 0xD7, Receiver::kV17, 9600},
      {"V.17 12000 long, short", 0xE8, 0xD8, Receiver::kV17, 12000},
      {"V.17 14400 long, short", 0xE9, 0xD9, Receiver::kV17, 14400},
      {"V.17 14400 long, long", 0xE9, 0, Receiver::kV17, 14400},
  };
  std::uint32_t seed = 42;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<FaxBurstPlan> plans = {{row.first, InteropFrames(seed++, 3)},
                                             {row.second, InteropFrames(seed++, 4)}};
    const FaxBurstLine sent = SendHdlcBursts(plans);
    const HdlcHeard heard = HearHdlcWithSpandsp(row.receiver, row.bit_rate, sent, row.second != 0);
    EXPECT_EQ(heard.bursts.size(), plans.size());
    for (std::size_t b = 0; b < plans.size() && b < heard.bursts.size(); ++b) {
      EXPECT_EQ(heard.bursts[b], plans[b].frames) << b;
    }
  }
}


// ---- Bit errors against noise -------------------------------------------------

// ---- spandsp on the machine's line -------------------------------------------

// One machine (the simulator, vxafe, vxdsp and the test controller driver)
// that has taken its line, and at the line's far end a scripted peer whose
// ears feed a spandsp receiver at the line's 8000 Hz.
class FaxTxLinePeer : public testing::DspRig {
 protected:
  void SetUp() override {
    BootOnVxafe(Controller::kStarted);
    peer_end_ = std::make_unique<plat::line::PeerEnd>(machine_->line(), plat::line::Side::kB, peer_);
    peer_.RecordTo(&ears_);
    OnKernelThread([&] {
      TheController().Double().WritePowerState(0xD0);
      TheController().Double().Exchange(0x60, {0});
      TheController().Host().comram.reg[kRegLineLevelA] &= static_cast<std::uint8_t>(~kLineHookRelay);
    });
    sim.RunFor(50 * plat::hal::kMillisecond);
  }
  void TearDown() override {
    DspRig::TearDown();
    machine_.reset();
  }

  // A burst of HDLC frames as the controller sends it: 0x73 (byte 0
  // `config`), 0x61 for HDLC, the frames through the mailbox, 0x74 once
  // they are out, then the tail and silence.
  void SendFrames(std::uint8_t config, const FaxFrames& frames) {
    testing::ControllerDouble& controller = TheController().Double();
    OnKernelThread([&] {
      controller.Exchange(0x73, {config, 0x00});
      controller.Exchange(0x61, {2, 0});
    });
    for (const auto& frame : frames) {
      for (std::size_t at = 0; at < frame.size();) {
        const std::size_t n = std::min<std::size_t>(32, frame.size() - at);
        const std::uint8_t kind = at + n == frame.size() ? 1 : 0;
        bool taken = false;
        OnKernelThread([&] { taken = controller.FillTx(kind, std::span(frame).subspan(at, n)); });
        if (taken) {
          at += n;
        } else {
          sim.RunFor(10 * plat::hal::kMillisecond);
        }
      }
    }
    for (int empty = 0; empty < 4;) {
      sim.RunFor(10 * plat::hal::kMillisecond);
      bool out = false;
      OnKernelThread([&] {
        out = (TheController().Host().comram.reg[kRegStatus] & kStatusTxEmpty) != 0 && Extension().context.transmitting == 1;
      });
      empty = out ? empty + 1 : 0;
    }
    OnKernelThread([&] { controller.Exchange(0x74); });
    sim.RunFor(400 * plat::hal::kMillisecond);
  }

  plat::line::ScriptedPeer peer_;
  std::unique_ptr<plat::line::PeerEnd> peer_end_;
  std::function<void(std::span<const std::int16_t>)> hear_;
  plat::line::CallbackSink ears_{[this](std::span<const std::int16_t> s) {
    if (hear_) hear_(s);
  }};
};

// Through the machine's own path to the line (the data pump's blocks, the
// front end, the line at 8000 Hz), seeded HDLC frames in a burst at each
// modulation's top rate reach spandsp's receiver at the far end and pass
// its frame check byte for byte.
TEST_F(FaxTxLinePeer, SpandspReceiverAtTheFarEndDecodesHdlcFrames) {
  struct Row {
    const char* name;
    std::uint8_t config;  // 0x73 byte 0
    Receiver receiver;
    int bit_rate;
  };
  const Row rows[] = {
      {"V.27ter 4800", 0xA5, Receiver::kV27ter, 4800},
      {"V.29 9600", 0xB7, Receiver::kV29, 9600},
      {"V.17 14400", 0xE9, Receiver::kV17, 14400},
  };
  std::uint32_t seed = 77;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    HdlcListener listener;
    v17_rx_state_t* v17 = row.receiver == Receiver::kV17 ? v17_rx_init(nullptr, row.bit_rate, HdlcListener::PutBit, &listener) : nullptr;
    v29_rx_state_t* v29 = row.receiver == Receiver::kV29 ? v29_rx_init(nullptr, row.bit_rate, HdlcListener::PutBit, &listener) : nullptr;
    v27ter_rx_state_t* v27 =
        row.receiver == Receiver::kV27ter ? v27ter_rx_init(nullptr, row.bit_rate, HdlcListener::PutBit, &listener) : nullptr;
    hear_ = [&](std::span<const std::int16_t> heard) {
      std::vector<std::int16_t> samples(heard.begin(), heard.end());
      const int n = static_cast<int>(samples.size());
      if (v17 != nullptr) v17_rx(v17, samples.data(), n);
      if (v29 != nullptr) v29_rx(v29, samples.data(), n);
      if (v27 != nullptr) v27ter_rx(v27, samples.data(), n);
    };
    const FaxFrames frames = InteropFrames(seed++, 3);
    SendFrames(row.config, frames);
    hear_ = nullptr;
    if (v17 != nullptr) v17_rx_free(v17);
    if (v29 != nullptr) v29_rx_free(v29);
    if (v27 != nullptr) v27ter_rx_free(v27);
    ASSERT_EQ(listener.heard.bursts.size(), 1u);
    EXPECT_EQ(listener.heard.bursts[0], frames);
  }
}

// Seeded bytes, sent as raw octets, first bit in bit 0.
std::vector<std::uint8_t> BerBytes(std::uint32_t seed, std::size_t count) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(count);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random() >> 24);
  return bytes;
}

std::vector<std::uint8_t> BitsOfBytes(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> bits;
  for (auto b : bytes) {
    for (int k = 0; k < 8; ++k) bits.push_back(static_cast<std::uint8_t>(b >> k & 1));
  }
  return bits;
}

// The line's power over the burst (first to last sound) and the same
// seeded white Gaussian noise for every SNR, scaled to it: the noise of a
// higher SNR is the noise of a lower one made smaller, so errors can only
// fall as the SNR rises unless the receiver itself is erratic.
std::vector<std::int16_t> WithNoise(const std::vector<std::int16_t>& line, double snr_db) {
  const auto first = std::find_if(line.begin(), line.end(), [](std::int16_t x) { return x != 0; });
  const auto last = std::find_if(line.rbegin(), line.rend(), [](std::int16_t x) { return x != 0; }).base();
  double power = 0;
  for (auto it = first; it < last; ++it) power += static_cast<double>(*it) * *it;
  power /= static_cast<double>(std::max<std::ptrdiff_t>(1, last - first));
  const double sigma = std::sqrt(power / std::pow(10.0, snr_db / 10));
  std::mt19937 random(4711);
  const auto uniform = [&] { return (static_cast<double>(random()) + 0.5) / 4294967296.0; };
  std::vector<std::int16_t> noisy(line.size());
  for (std::size_t n = 0; n < line.size(); n += 2) {
    // Box-Muller: two independent normal values from two uniform ones.
    const double r = std::sqrt(-2 * std::log(uniform()));
    const double a = 2 * std::numbers::pi * uniform();
    for (std::size_t k = 0; k < 2 && n + k < line.size(); ++k) {
      const double x = line[n + k] + sigma * r * (k == 0 ? std::cos(a) : std::sin(a));
      noisy[n + k] = static_cast<std::int16_t>(std::clamp(std::lround(x), -32768L, 32767L));
    }
  }
  return noisy;
}

// Errors in what the receiver decoded against the bits sent: the decoded
// stream is aligned where the first 256 sent bits match it best (marks
// come before the data); bits never decoded count as errors, and so does
// every bit of a burst the receiver did not train on.
std::size_t BitErrors(const Heard& heard, const std::vector<std::uint8_t>& sent) {
  if (!heard.trained) return sent.size();
  const std::size_t probe = std::min<std::size_t>(256, sent.size());
  std::size_t best_at = 0, best = probe + 1;
  for (std::size_t at = 0; at + probe <= heard.bits.size(); ++at) {
    std::size_t wrong = 0;
    for (std::size_t k = 0; k < probe && wrong < best; ++k) wrong += heard.bits[at + k] != sent[k];
    if (wrong < best) best = wrong, best_at = at;
  }
  if (best > probe) return sent.size();
  std::size_t errors = 0;
  for (std::size_t k = 0; k < sent.size(); ++k) {
    errors += best_at + k >= heard.bits.size() || heard.bits[best_at + k] != sent[k];
  }
  return errors;
}

// spandsp's own transmitter at 8000 Hz sending `bits` after its training,
// then ones, at the same rate, for the time of our burst.
struct SpandspBerFeed {
  const std::vector<std::uint8_t>* bits;
  std::size_t at = 0;
  static int Next(void* user) {
    auto& self = *static_cast<SpandspBerFeed*>(user);
    return self.at < self.bits->size() ? (*self.bits)[self.at++] : 1;
  }
};

std::vector<std::int16_t> SpandspBurst(Receiver receiver, int bit_rate, const std::vector<std::uint8_t>& bits,
                                       std::size_t samples) {
  SpandspBerFeed feed{&bits};
  std::vector<std::int16_t> line(samples);
  const int n = static_cast<int>(samples);
  switch (receiver) {
    case Receiver::kV17: {
      v17_tx_state_t* s = v17_tx_init(nullptr, bit_rate, true, SpandspBerFeed::Next, &feed);
      v17_tx(s, line.data(), n);
      v17_tx_free(s);
      break;
    }
    case Receiver::kV29: {
      v29_tx_state_t* s = v29_tx_init(nullptr, bit_rate, true, SpandspBerFeed::Next, &feed);
      v29_tx(s, line.data(), n);
      v29_tx_free(s);
      break;
    }
    case Receiver::kV27ter: {
      v27ter_tx_state_t* s = v27ter_tx_init(nullptr, bit_rate, true, SpandspBerFeed::Next, &feed);
      v27ter_tx(s, line.data(), n);
      v27ter_tx_free(s);
      break;
    }
  }
  return line;
}

// Bit errors in 4000 seeded bits after training, at SNRs 3 dB apart, our
// transmitter and spandsp's into the same spandsp receiver. Ours decodes
// error-free at the highest SNR, its errors do not rise with the SNR, and
// it is never worse than spandsp's own transmitter 3 dB lower.
TEST(FaxTxInterop, BitErrorsAgainstNoiseBesideSpandspsTransmitter) {
  const double snrs[] = {12, 15, 18, 21, 24, 27, 30};
  constexpr std::size_t kSnrs = std::size(snrs);
  std::string table = "bit errors in 4000 bits (ours / spandsp's transmitter), SNR in dB:\n";
  std::uint32_t seed = 7;
  for (const auto& row : kInteropRates) {
    SCOPED_TRACE(row.name);
    const std::vector<std::uint8_t> bytes = BerBytes(seed++, 500);
    const std::vector<std::uint8_t> bits = BitsOfBytes(bytes);
    const std::vector<std::int16_t> ours = At8000(SendBurst(row.mode_word, bytes));
    const std::vector<std::int16_t> theirs = SpandspBurst(row.receiver, row.bit_rate, bits, ours.size());
    std::size_t our_errors[kSnrs], their_errors[kSnrs];
    table += row.name;
    for (std::size_t k = 0; k < kSnrs; ++k) {
      our_errors[k] = BitErrors(HearAt8000(row.receiver, row.bit_rate, WithNoise(ours, snrs[k])), bits);
      their_errors[k] = BitErrors(HearAt8000(row.receiver, row.bit_rate, WithNoise(theirs, snrs[k])), bits);
      table += "  " + std::to_string(static_cast<int>(snrs[k])) + ": " + std::to_string(our_errors[k]) + "/" +
               std::to_string(their_errors[k]);
    }
    table += "\n";
    EXPECT_EQ(our_errors[kSnrs - 1], 0u);
    for (std::size_t k = 1; k < kSnrs; ++k) {
      EXPECT_LE(our_errors[k], our_errors[k - 1]) << snrs[k] << " dB";
      EXPECT_LE(our_errors[k], their_errors[k - 1]) << snrs[k] << " dB";
    }
  }
  std::printf("%s", table.c_str());
}

}  // namespace
}  // namespace pump
