// What the V.8 tests on one data pump share: the call start under V.8, the
// far end as spandsp's signals (pump/handshake/tests/handshake_rig.h), the
// register 56 events as they come, and spandsp's V.8 on the other side.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "pump/handshake/tests/handshake_rig.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/v8/v8.h"

namespace pump::v8_test {

using handshake_test::BeginCall;
using handshake_test::Call;
using handshake_test::FarEnd;
using handshake_test::kBlock;
using handshake_test::kTransmitLevel;
using handshake_test::Stretch;
using testing::LineGenerator;
using testing::PumpHarness;

inline constexpr int kModeV34 = 17;

// A call under V.8 (selector 2) in `mode`.
inline Call V8Call(bool originate, int mode = kModeV34) {
  return {.mode = mode, .direction = originate ? 1 : 0, .selector = 2};
}

// The sum of two generators (each silent once dry).
LineGenerator Mixed(LineGenerator a, LineGenerator b);

// Register 56 events seen after each block, with the block they came in.
struct EventLog {
  struct Seen {
    int block;
    std::uint8_t event;
  };
  std::vector<Seen> seen;
  std::optional<int> First(std::uint8_t event) const;
};

// Blocks one at a time, the far end heard and register 56 watched (an event
// counts when the doorbell rang since the last block); stops when `done`
// holds. Returns the blocks run.
int HearWatching(PumpHarness& harness, FarEnd& far, int max_blocks, EventLog& events,
                 const std::function<bool(const DspContext&)>& done = {});

// The receive machine runs the V.8 table of the role at `entry`.
bool OnV8Entry(const DspContext& context, StateTable<DspContext> table, int entry);

}  // namespace pump::v8_test
