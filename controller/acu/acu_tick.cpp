// The controller's ticks: every 10 ms, 100 ms, 1 s and 1 min tick that the
// core's 10 ms tick counted since the last call is worked off, so a late
// pass catches up; the DTR debounce; the timer service of the busy waits.
#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_link_fax_voice.h"
#include "controller/acu/acu_run.h"
#include "controller/acu/acu_settings.h"
#include "controller/pending/acu_pending.h"
#include "layer2/corecode/mt/lines/status_lines.h"

namespace vxctl {
namespace {

constexpr std::size_t kSDtrDebounce = 25;  // S25: DTR must hold S25 x 10 ms
constexpr std::uint32_t kStatusDtrOn = 0x2;

// The DTR input counts as changed once it has held its new level for S25
// ticks; the debounced level then follows it.
void DebounceDtr(AcuControllerState& acu) {
  const std::uint8_t raw = ModemTask_GetDtr() != 0 ? 1 : 0;
  if (raw != acu.dtr_raw) {
    acu.dtr_raw = raw;
    acu.dtr_debounce = acu_settings().s[kSDtrDebounce];
    if (acu.dtr_debounce != 0) return;
  } else {
    if (acu.dtr_debounce == 0) return;
    if (--acu.dtr_debounce != 0) return;
  }
  if (acu.dtr == raw) return;
  acu.dtr = raw;
  if (acu.dtr_edges < kAcuDtrEdgesKept) ++acu.dtr_edges;
  if (raw != 0) {
    ModemTask_SetStatusBit(1, kStatusDtrOn);
  } else if (acu_call().call_mode != 0 || (acu_settings().s[kSDteOptions] >> 3 & 3) != 0) {
    ModemTask_SetStatusBit(0, kStatusDtrOn);
  }
}

void Tick10ms(AcuControllerState& acu) {
  DebounceDtr(acu);
  for (std::uint16_t& countdown : acu.countdowns) {
    if (countdown != 0) --countdown;
  }
  fax_timer_tick();
  acu.guard_half_tick ^= 1;
  if (acu.guard_half_tick == 0) acu_online_cmd_guard_tick();
}

void Tick100ms(AcuControllerState& acu) {
  voice_timer_tick();
  ++acu.count_100ms;
}

void Tick1s(AcuControllerState& acu) {
  if (acu.seconds_countdown != 0) --acu.seconds_countdown;
  if (acu.dtr_off_delay != 0 && --acu.dtr_off_delay == 0 && acu.dtr == 0) {
    acu_post_event(EvDteSignal, 2);
  }
  if (acu.state.load() == AcuOnline || acu.connection_held != 0) ++acu.seconds_online;
}

// Runs `work` once for each tick of `count` not consumed yet.
template <typename Work>
void CatchUp(const std::atomic<std::uint32_t>& count, std::uint32_t& consumed, Work work) {
  const std::uint32_t now = count.load();
  while (consumed != now) {
    ++consumed;
    work();
  }
}

}  // namespace

void acu_tick() {
  AcuControllerState& acu = acu_controller();
  const std::uint32_t before = acu.consumed_10ms;
  CatchUp(acu.tick_counts.ticks_10ms, acu.consumed_10ms, [&] { Tick10ms(acu); });
  const std::uint32_t elapsed = acu.consumed_10ms - before;
  const std::uint16_t wait = acu.wait_ticks.load();
  acu.wait_ticks.store(static_cast<std::uint16_t>(wait > elapsed ? wait - elapsed : 0));
  CatchUp(acu.tick_counts.ticks_100ms, acu.consumed_100ms, [&] { Tick100ms(acu); });
  CatchUp(acu.tick_counts.ticks_1s, acu.consumed_1s, [&] { Tick1s(acu); });
  acu.consumed_1min = acu.tick_counts.ticks_1min.load();
}

void acu_timer_service() { acu_tick(); }

AcuTickCounts& acu_tick_counts() { return acu_controller().tick_counts; }
std::atomic<std::uint16_t>& acu_wait_ticks() { return acu_controller().wait_ticks; }

}  // namespace vxctl
