#include "platform/line/peers/call_start.h"

#include <memory>

#include "platform/line/peers/spandsp_link.h"

namespace plat::line::peers {
namespace {

using DtmfTx = SpandspPtr<dtmf_tx_state_t, dtmf_tx_free>;

ScriptedPeer::Condition RingsCounted(Line& line, Side side, int rings) {
  return [&line, side, rings, count = 0, was_ringing = false](std::int64_t n) mutable {
    const bool ringing = line.Conditions(side, InstantOfSample(n)).ringing;
    if (ringing && !was_ringing) ++count;
    was_ringing = ringing;
    return count >= rings;
  };
}

ScriptedPeer::BlockFn Dial(const std::string& number) {
  auto tx = std::make_shared<DtmfTx>(dtmf_tx_init(nullptr));
  dtmf_tx_put(tx->get(), number.c_str(), -1);
  return [tx](std::int64_t, std::span<std::int16_t> out) {
    const int made = dtmf_tx(tx->get(), out.data(), static_cast<int>(out.size()));
    return made < static_cast<int>(out.size());
  };
}

ScriptedPeer::BlockFn RingUntilAnswered(Line& line, Side side) {
  const Side far = FarSide(side);
  return [&line, far, origin = std::int64_t{-1}](std::int64_t instant,
                                                  std::span<std::int16_t> out) mutable {
    if (origin < 0) origin = instant;
    const std::int64_t cycle = LineSamplesInMs(kRingOnMs + kRingOffMs);
    for (std::size_t i = 0; i < out.size(); ++i) {
      const std::int64_t n = instant + static_cast<std::int64_t>(i);
      if (line.OffHook(far, InstantOfSample(n))) {
        line.SetRinging(far, InstantOfSample(n), false);
        return true;
      }
      line.SetRinging(far, InstantOfSample(n), (n - origin) % cycle < LineSamplesInMs(kRingOnMs));
    }
    return false;
  };
}

}  // namespace

void AddCallStart(ScriptedPeer& peer, Line& line, Side side, const CallStart& start) {
  if (start.role == CallStart::Role::kAnswer) {
    peer.WaitUntil(start.rings > 0 ? RingsCounted(line, side, start.rings)
                                   : line.HookIs(FarSide(side), true));
    peer.Do(line.HookAction(side, true));
    if (start.after_answer_ms > 0) peer.Silence(LineSamplesInMs(start.after_answer_ms));
    return;
  }
  peer.Do(line.HookAction(side, true));
  if (start.ring_far_end) peer.Blocks(RingUntilAnswered(line, side));
  if (start.number.empty()) return;
  peer.Silence(LineSamplesInMs(start.dial_after_ms));
  peer.Blocks(Dial(start.number));
}

}  // namespace plat::line::peers
