#include "pump/v8/tests/spandsp_v8_peer.h"

#include <cstdlib>
#include <cmath>
#include <span>
#include <vector>

namespace pump::v8_test {

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
  const std::vector<std::int16_t>& out = harness.Afe().LineOutput();
  if (out.size() > heard_) {
    sink_->Put(std::span(out).subspan(heard_));
    heard_ = out.size();
  }
  std::int16_t block[96];
  source_->Take(block);
  for (const std::int16_t v : block) sounding_ = sounding_ || std::abs(v) > 300;
  harness.Afe().FeedLine(block);
  harness.RunBlocks(1);
}

}  // namespace pump::v8_test
