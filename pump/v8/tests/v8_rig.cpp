#include "pump/v8/tests/v8_rig.h"

#include <algorithm>

#include "pump/core/comram.h"

namespace pump::v8_test {

LineGenerator Mixed(LineGenerator a, LineGenerator b) {
  return [a = std::move(a), b = std::move(b)](std::span<std::int16_t> out) {
    std::vector<std::int16_t> second(out.size(), 0);
    const int made_a = std::max(0, a(out));
    std::fill(out.begin() + made_a, out.end(), std::int16_t{0});
    const int made_b = std::max(0, b(second));
    for (int i = 0; i < made_b; ++i) {
      out[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(
          std::clamp(out[static_cast<std::size_t>(i)] + second[static_cast<std::size_t>(i)],
                     -32768, 32767));
    }
    return static_cast<int>(out.size());
  };
}

std::optional<int> EventLog::First(std::uint8_t event) const {
  for (const Seen& s : seen) {
    if (s.event == event) return s.block;
  }
  return std::nullopt;
}

int HearWatching(PumpHarness& harness, FarEnd& far, int max_blocks, EventLog& events,
                 const std::function<bool(const DspContext&)>& done) {
  std::int16_t block[kBlock];
  int interrupts = harness.Controller().Interrupts();
  for (int b = 0; b < max_blocks; ++b) {
    if (done && done(harness.Context())) return b;
    far.Next(block);
    harness.Afe().FeedLine(block);
    harness.RunBlocks(1);
    const int now = harness.Controller().Interrupts();
    if (now != interrupts) {
      events.seen.push_back({b, GetDspReg(harness.Host(), kRegEventType)});
      interrupts = now;
    }
  }
  return max_blocks;
}

bool OnV8Entry(const DspContext& context, StateTable<DspContext> table, int entry) {
  return context.rx.table.data() == table.data() && context.rx.position == entry &&
         context.rx.parked == 0;
}

}  // namespace pump::v8_test
