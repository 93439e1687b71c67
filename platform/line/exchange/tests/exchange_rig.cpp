#include "platform/line/exchange/tests/exchange_rig.h"

#include <cmath>
#include <numbers>

#include "platform/line/exchange/dtmf_receiver.h"
#include "platform/line/levels.h"
#include "platform/line/peers/spandsp_link.h"

namespace plat::line::exchange::testing {

using peers::SpandspPtr;

std::string NumberOf(std::size_t i) { return "555100" + std::to_string(i + 1); }

Phone& Phone::Dtmf(const std::string& digits, int dbm0, int on_ms, int off_ms) {
  peer.Play(SpandspDtmf(digits, dbm0, 0, on_ms, off_ms));
  return *this;
}

Phone& Phone::Pulses(const std::string& digits, int break_ms, int make_ms, int between_ms) {
  for (char d : digits) {
    const int pulses = d == '0' ? 10 : d - '0';
    for (int p = 0; p < pulses; ++p) {
      OnHook().Wait(break_ms).OffHook().Wait(make_ms);
    }
    Wait(between_ms);
  }
  return *this;
}

Rig::Rig(std::size_t count, const LineConfig& line, std::size_t bare) {
  for (std::size_t i = 0; i < count; ++i) {
    Line* l = nullptr;
    if (i < bare) {
      bare_lines_.push_back(std::make_unique<Line>(line));
      l = bare_lines_.back().get();
    } else {
      phones_.push_back(std::make_unique<Phone>(line));
      l = &phones_.back()->line;
    }
    subscribers_.push_back({.number = NumberOf(i), .name = "CALLER " + std::to_string(i + 1), .line = l});
  }
}

Exchange& Rig::Build(ExchangeConfig config) {
  config.subscribers.insert(config.subscribers.begin(), subscribers_.begin(), subscribers_.end());
  Exchange::Built built = Exchange::Build(std::move(config));
  EXPECT_TRUE(built.ok()) << built.error;
  exchange_ = std::move(built.exchange);
  return *exchange_;
}

void Rig::RunTo(std::int64_t ms) { phones_.at(0)->line.RunUntil(Ms(ms)); }

double Amplitude(const std::vector<std::int16_t>& samples, std::int64_t from, std::int64_t to,
                 double hz) {
  // Goertzel over the span, normalised so that a sine of amplitude A gives A.
  const double w = 2.0 * std::numbers::pi * hz / 8000.0;
  const double c = 2.0 * std::cos(w);
  double s1 = 0.0, s2 = 0.0;
  for (std::int64_t n = from; n < to; ++n) {
    const double s = samples[static_cast<std::size_t>(n)] + c * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
  return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(to - from);
}

double DbmOf(double amplitude) { return 20.0 * std::log10(amplitude / 32767.0) + 3.14; }

std::vector<Stretch> SoundStretches(const std::vector<std::int16_t>& samples, std::int64_t from,
                                    std::int64_t to, std::int64_t min_gap) {
  std::vector<Stretch> found;
  std::int64_t last_sound = -1;
  for (std::int64_t n = from; n < to && n < static_cast<std::int64_t>(samples.size()); ++n) {
    if (samples[static_cast<std::size_t>(n)] == 0) continue;
    if (found.empty() || n - last_sound > min_gap) {
      found.push_back({n, n + 1});
    }
    found.back().to = n + 1;
    last_sound = n;
  }
  return found;
}

std::vector<std::vector<std::uint8_t>> DecodeCallerId(const std::vector<std::int16_t>& samples,
                                                      int standard) {
  std::vector<std::vector<std::uint8_t>> messages;
  SpandspPtr<adsi_rx_state_t, adsi_rx_free> rx(adsi_rx_init(
      nullptr, standard,
      [](void* user, const std::uint8_t* msg, int len) {
        static_cast<std::vector<std::vector<std::uint8_t>>*>(user)->emplace_back(msg, msg + len);
      },
      &messages));
  std::vector<std::int16_t> copy = samples;
  copy.resize(copy.size() + 8000, 0);  // a second of silence lets the receiver finish
  adsi_rx(rx.get(), copy.data(), static_cast<int>(copy.size()));
  return messages;
}

std::string SpandspDigits(const std::vector<std::int16_t>& samples) {
  SpandspPtr<dtmf_rx_state_t, dtmf_rx_free> rx(dtmf_rx_init(nullptr, nullptr, nullptr));
  // The limits the line card's receiver keeps, so both judge by one standard.
  dtmf_rx_parms(rx.get(), 0, static_cast<int>(DtmfReceiver::kMaxTwistDb),
                static_cast<int>(DtmfReceiver::kMaxTwistDb), static_cast<int>(DtmfReceiver::kMinDbm0));
  std::vector<std::int16_t> copy = samples;
  copy.resize(copy.size() + 800, 0);
  dtmf_rx(rx.get(), copy.data(), static_cast<int>(copy.size()));
  char digits[256] = {};
  dtmf_rx_get(rx.get(), digits, sizeof digits - 1);
  return digits;
}

std::vector<std::int16_t> SpandspDtmf(const std::string& digits, int dbm0, int twist, int on_ms,
                                      int off_ms) {
  SpandspPtr<dtmf_tx_state_t, dtmf_tx_free> tx(dtmf_tx_init(nullptr));
  dtmf_tx_set_level(tx.get(), dbm0, twist);
  dtmf_tx_set_timing(tx.get(), on_ms, off_ms);
  // One digit at a time: the transmitter queues only a few.
  std::vector<std::int16_t> out;
  std::int16_t block[160];
  for (char digit : digits) {
    dtmf_tx_put(tx.get(), &digit, 1);
    for (int made = 160; made == 160;) {
      made = dtmf_tx(tx.get(), block, 160);
      out.insert(out.end(), block, block + made);
    }
  }
  return out;
}

}  // namespace plat::line::exchange::testing
