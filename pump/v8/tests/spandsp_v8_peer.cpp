#include "pump/v8/tests/spandsp_v8_peer.h"

#include <cstdlib>
#include <cmath>
#include <span>
#include <utility>
#include <vector>

namespace pump::v8_test {

bool ExchangeSpandspBlock(testing::PumpHarness& harness, testing::SpandspSink& sink,
                          testing::SpandspSource& source, std::size_t& heard) {
  const std::vector<std::int16_t>& out = harness.Afe().LineOutput();
  if (out.size() > heard) {
    sink.Put(std::span(out).subspan(heard));
    heard = out.size();
  }
  std::int16_t block[96];
  source.Take(block);
  bool sounding = false;
  for (const std::int16_t v : block) sounding = sounding || std::abs(v) > 300;
  harness.Afe().FeedLine(block);
  harness.RunBlocks(1);
  return sounding;
}

SpandspV8Peer::SpandspV8Peer(bool calling, unsigned modulations) {
  v8_parms_t parms{};
  parms.modem_connect_tone = MODEM_CONNECT_TONES_ANSAM_PR;
  parms.send_ci = false;
  parms.v92 = -1;
  parms.call_function = V8_CALL_V_SERIES;
  parms.modulations = modulations;
  parms.protocol = V8_PROTOCOL_LAPM_V42;
  parms.pstn_access = 0;
  parms.pcm_modem_availability = 0;
  parms.nsf = -1;
  parms.t66 = -1;
  state_ = v8_init(nullptr, calling, &parms, OnResult, this);
  if (std::getenv("V8_SPANDSP_LOG") != nullptr) {
    span_log_set_level(v8_get_logging_state(state_), static_cast<int>(SPAN_LOG_FLOW) | static_cast<int>(SPAN_LOG_SHOW_TAG));
  }
  source_ = std::make_unique<testing::SpandspSource>([this](std::span<std::int16_t> out) {
    const int made = v8_tx(state_, out.data(), static_cast<int>(out.size()));
    for (std::size_t i = static_cast<std::size_t>(made); i < out.size(); ++i) out[i] = 0;
    return static_cast<int>(out.size());
  });
  sink_ = std::make_unique<testing::SpandspSink>([this](std::span<const std::int16_t> s) {
    v8_rx(state_, s.data(), static_cast<int>(s.size()));
  });
}

SpandspV8Peer::~SpandspV8Peer() { v8_free(state_); }

void SpandspV8Peer::OnResult(void* user, v8_parms_t* result) {
  static_cast<SpandspV8Peer*>(user)->result_ = *result;
}

void SpandspV8Peer::Block(testing::PumpHarness& harness) {
  if (ExchangeSpandspBlock(harness, *sink_, *source_, heard_)) sounding_ = true;
}

SpandspV21Peer::SpandspV21Peer(int tx_channel, std::vector<std::uint8_t> bytes, int lead_ms,
                               std::size_t heard)
    : bytes_(std::move(bytes)), lead_bits_(lead_ms * 300 / 1000), heard_(heard) {
  const int rx_channel = tx_channel == FSK_V21CH1 ? FSK_V21CH2 : FSK_V21CH1;
  async_tx_ = async_tx_init(nullptr, 8, ASYNC_PARITY_NONE, 1, 1, GetByte, this);
  async_rx_ = async_rx_init(nullptr, 8, ASYNC_PARITY_NONE, 1, 1, PutByte, this);
  fsk_tx_ = fsk_tx_init(nullptr, &preset_fsk_specs[tx_channel], GetBit, this);
  fsk_rx_ = fsk_rx_init(nullptr, &preset_fsk_specs[rx_channel], FSK_FRAME_MODE_SYNC, PutBit, this);
  source_ = std::make_unique<testing::SpandspSource>([this](std::span<std::int16_t> out) {
    return fsk_tx(fsk_tx_, out.data(), static_cast<int>(out.size()));
  });
  sink_ = std::make_unique<testing::SpandspSink>([this](std::span<const std::int16_t> s) {
    std::vector<std::int16_t> copy(s.begin(), s.end());
    fsk_rx(fsk_rx_, copy.data(), static_cast<int>(copy.size()));
  });
}

SpandspV21Peer::~SpandspV21Peer() {
  fsk_rx_free(fsk_rx_);
  fsk_tx_free(fsk_tx_);
  async_rx_free(async_rx_);
  async_tx_free(async_tx_);
}

void SpandspV21Peer::Block(testing::PumpHarness& harness) {
  ExchangeSpandspBlock(harness, *sink_, *source_, heard_);
}

int SpandspV21Peer::GetByte(void* user) {
  auto* self = static_cast<SpandspV21Peer*>(user);
  return self->next_ < self->bytes_.size() ? self->bytes_[self->next_++] : -1;
}

int SpandspV21Peer::GetBit(void* user) {
  auto* self = static_cast<SpandspV21Peer*>(user);
  if (self->lead_bits_ > 0) {
    --self->lead_bits_;
    return 1;
  }
  // After the last character's ten bits the line idles on marks.
  if (self->next_ == self->bytes_.size() && ++self->tail_bits_ > 9) return 1;
  return async_tx_get_bit(self->async_tx_);
}

void SpandspV21Peer::PutByte(void* user, int byte) {
  if (byte >= 0) static_cast<SpandspV21Peer*>(user)->received_.push_back(static_cast<std::uint8_t>(byte));
}

void SpandspV21Peer::PutBit(void* user, int bit) {
  if (bit == 0 || bit == 1) async_rx_put_bit(static_cast<SpandspV21Peer*>(user)->async_rx_, bit);
}

}  // namespace pump::v8_test
