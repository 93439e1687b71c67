// spandsp as the far end of one data pump, block by block: its V.8, then its
// V.21 modem. What the pump played goes to spandsp's receiver at 8000 Hz,
// what spandsp's transmitter makes comes back at 9600 Hz; both through the
// line port's resamplers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_codec_rate.h"
// clang-format off
#include <tiffio.h>
#include <spandsp.h>
// clang-format on

namespace pump::v8_test {

// One block both ways: `sink` hears what the pump played since `heard`
// samples of its output, the pump hears the next block of `source`, then
// runs it. Returns whether that block rose above -40 dBm0.
bool ExchangeSpandspBlock(testing::PumpHarness& harness, testing::SpandspSink& sink,
                          testing::SpandspSource& source, std::size_t& heard);

class SpandspV8Peer {
 public:
  SpandspV8Peer(bool calling, unsigned modulations);
  ~SpandspV8Peer();
  SpandspV8Peer(const SpandspV8Peer&) = delete;
  SpandspV8Peer& operator=(const SpandspV8Peer&) = delete;

  // One block: spandsp hears what the pump played since the last call,
  // the pump hears spandsp's next block, then the pump runs it.
  void Block(testing::PumpHarness& harness);

  // The last result spandsp reported.
  const std::optional<v8_parms_t>& result() const { return result_; }
  // The pump has heard spandsp's signal (above -40 dBm0) since the start.
  bool sounding() const { return sounding_; }
  bool Called() const { return result_ && result_->status == V8_STATUS_V8_CALL; }
  // Samples of the pump's output spandsp has heard.
  std::size_t heard() const { return heard_; }

 private:
  static void OnResult(void* user, v8_parms_t* result);

  v8_state_t* state_;
  std::unique_ptr<testing::SpandspSource> source_;
  std::unique_ptr<testing::SpandspSink> sink_;
  std::size_t heard_ = 0;  // pump output samples passed on
  std::optional<v8_parms_t> result_;
  bool sounding_ = false;
};

// spandsp's V.21 modem with 8N1 characters: it sends `bytes` on channel
// `tx_channel` (FSK_V21CH1 or FSK_V21CH2) after `lead_ms` of marks and then
// idles on marks; it collects the characters it hears on the other channel.
// It takes over the pump's output from sample `heard` on.
class SpandspV21Peer {
 public:
  SpandspV21Peer(int tx_channel, std::vector<std::uint8_t> bytes, int lead_ms, std::size_t heard);
  ~SpandspV21Peer();
  SpandspV21Peer(const SpandspV21Peer&) = delete;
  SpandspV21Peer& operator=(const SpandspV21Peer&) = delete;

  void Block(testing::PumpHarness& harness);

  bool sent_all() const { return next_ == bytes_.size() && tail_bits_ > 9; }
  const std::vector<std::uint8_t>& received() const { return received_; }

 private:
  static int GetByte(void* user);
  static int GetBit(void* user);
  static void PutByte(void* user, int byte);
  static void PutBit(void* user, int bit);

  std::vector<std::uint8_t> bytes_;
  std::size_t next_ = 0;
  int lead_bits_;
  int tail_bits_ = 0;
  std::vector<std::uint8_t> received_;
  async_tx_state_t* async_tx_;
  async_rx_state_t* async_rx_;
  fsk_tx_state_t* fsk_tx_;
  fsk_rx_state_t* fsk_rx_;
  std::unique_ptr<testing::SpandspSource> source_;
  std::unique_ptr<testing::SpandspSink> sink_;
  std::size_t heard_;
};

}  // namespace pump::v8_test
