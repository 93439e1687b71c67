#include "pump/fax/tests/spandsp_fax_tx_points.h"

#include <cstddef>
#include <type_traits>

#include "pump/tests/support/spandsp_headers.h"
#include <spandsp/complex.h>
#include <spandsp/private/logging.h>
#include <spandsp/v17tx.h>
#include <spandsp/v27ter_tx.h>
#include <spandsp/v29tx.h>
#include <spandsp/private/v17tx.h>
#include <spandsp/private/v27ter_tx.h>
#include <spandsp/private/v29tx.h>

namespace pump::testing {
namespace {

// Feeds the data bits; on the first request it clears the encoders' state.
struct BitFeed {
  std::span<const std::uint8_t> bits;
  std::size_t next = 0;
  void* state = nullptr;
  SpandspFaxModem modem;
  bool clear_encoders = true;
  bool short_training = false;
};

void ClearEncoders(BitFeed& feed) {
  switch (feed.modem) {
    case SpandspFaxModem::kV17: {
      auto* s = static_cast<v17_tx_state_t*>(feed.state);
      s->scramble_reg = 0;
      s->diff = 0;
      s->convolution = 0;
      break;
    }
    case SpandspFaxModem::kV29: {
      auto* s = static_cast<v29_tx_state_t*>(feed.state);
      s->scramble_reg = 0;
      s->constellation_state = 0;
      break;
    }
    case SpandspFaxModem::kV27ter: {
      auto* s = static_cast<v27ter_tx_state_t*>(feed.state);
      s->scramble_reg = 0;
      s->scrambler_pattern_count = 0;
      s->constellation_state = 0;
      break;
    }
  }
}

int NextBit(void* user_data) {
  auto& feed = *static_cast<BitFeed*>(user_data);
  if (feed.next == 0 && feed.clear_encoders) {
    ClearEncoders(feed);
  }
  return feed.next < feed.bits.size() ? feed.bits[feed.next++] : 1;
}

// Runs one transmitter sample by sample and keeps each new point once the
// data has started.
template <typename State, std::size_t Steps>
std::vector<std::complex<double>> Collect(BitFeed& feed, int bit_rate, int symbols,
                                          State* (*init)(State*, int, int, get_bit_func_t, void*),
                                          int (*tx)(State*, int16_t*, int), int (*release)(State*)) {
  State* s = init(nullptr, bit_rate, feed.clear_encoders ? 0 : 1, NextBit, &feed);
  feed.state = s;
  if constexpr (std::is_same_v<State, v17_tx_state_t>) {
    if (feed.short_training) v17_tx_restart(s, bit_rate, 1, 1);
  }
  std::vector<std::complex<double>> points;
  int step = s->rrc_filter_step;
  std::int16_t sample;
  while (static_cast<int>(points.size()) < symbols) {
    tx(s, &sample, 1);
    if (s->rrc_filter_step != step) {
      step = s->rrc_filter_step;
      if (feed.next > 0 || !feed.clear_encoders) {
        const auto& p = s->rrc_filter[(step + Steps - 1) % Steps];
        points.emplace_back(p.re, p.im);
      }
    }
  }
  release(s);
  return points;
}

std::vector<std::complex<double>> SpandspPoints(BitFeed& feed, int bit_rate, int symbols) {
  switch (feed.modem) {
    case SpandspFaxModem::kV17:
      return Collect<v17_tx_state_t, V17_TX_FILTER_STEPS>(feed, bit_rate, symbols, v17_tx_init, v17_tx, v17_tx_free);
    case SpandspFaxModem::kV29:
      return Collect<v29_tx_state_t, V29_TX_FILTER_STEPS>(feed, bit_rate, symbols, v29_tx_init, v29_tx, v29_tx_free);
    case SpandspFaxModem::kV27ter:
      break;
  }
  return Collect<v27ter_tx_state_t, V27TER_TX_FILTER_STEPS>(feed, bit_rate, symbols, v27ter_tx_init, v27ter_tx,
                                                             v27ter_tx_free);
}

}  // namespace

std::vector<std::complex<double>> SpandspDataPoints(SpandspFaxModem modem, int bit_rate,
                                                    std::span<const std::uint8_t> bits, int symbols) {
  BitFeed feed{bits, 0, nullptr, modem};
  return SpandspPoints(feed, bit_rate, symbols);
}

std::vector<std::complex<double>> SpandspBurstPoints(SpandspFaxModem modem, int bit_rate, bool short_training,
                                                     int symbols) {
  BitFeed feed{{}, 0, nullptr, modem, false, short_training};
  return SpandspPoints(feed, bit_rate, symbols);
}

std::span<const std::complex<float>> SpandspV17SignalSet(int bit_rate) {
  v17_tx_state_t* s = v17_tx_init(nullptr, bit_rate, 0, NextBit, nullptr);
  const auto* table = reinterpret_cast<const std::complex<float>*>(s->constellation);
  v17_tx_free(s);
  const std::size_t size = std::size_t{1} << (bit_rate / 2400 + 1);
  return {table, size};
}

}  // namespace pump::testing
