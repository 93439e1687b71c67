// spandsp's V.8 as the far end of one data pump, block by block: what the
// pump played goes to spandsp's v8_rx at 8000 Hz, what v8_tx makes comes
// back at 9600 Hz; both through the line port's resamplers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_codec_rate.h"
// clang-format off
#include <tiffio.h>
#include <spandsp.h>
// clang-format on

namespace pump::v8_test {

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

 private:
  static void OnResult(void* user, v8_parms_t* result);

  v8_state_t* state_;
  std::unique_ptr<testing::SpandspSource> source_;
  std::unique_ptr<testing::SpandspSink> sink_;
  std::size_t heard_ = 0;  // pump output samples passed on
  std::optional<v8_parms_t> result_;
  bool sounding_ = false;
};

}  // namespace pump::v8_test
