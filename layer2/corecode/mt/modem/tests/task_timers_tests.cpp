// The modem task's 10 ms tick: each timer from its start to where it
// stops, and the retrain timer held while a hold or a confirmed waiting
// call runs.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/fax_class1.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/modem_task/modem_on_hold_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/modem_task/v8bis_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

// A timer of the tick read and written as 32 bits.
struct TickedTimer {
  const char* name;
  std::uint32_t stop;  // 1: an expiry timer, 0: a delay
  std::function<std::uint32_t()> get;
  std::function<void(std::uint32_t)> set;
};

template <class T>
TickedTimer Timer(const char* name, std::uint32_t stop, std::atomic<T>& (*field)()) {
  return {name, stop, [field] { return static_cast<std::uint32_t>(field().load()); },
          [field](std::uint32_t v) { field().store(static_cast<T>(v)); }};
}

RetrainState& Retrain() { return MachineState<RetrainState>(); }
ModemTaskState& Task() { return MachineState<ModemTaskState>(); }

std::vector<TickedTimer> TickedTimers() {
  return {
      Timer<std::uint16_t>("retrain", 1, []() -> auto& { return Retrain().retrain_timer; }),
      Timer<std::uint16_t>("fall back", 1, []() -> auto& { return Retrain().fall_back_timer; }),
      Timer<std::uint16_t>("fall forward", 1, []() -> auto& { return Retrain().fall_forward_timer; }),
      Timer<std::uint16_t>("bad line", 1, []() -> auto& { return Retrain().bad_line_timer; }),
      Timer<std::uint16_t>("carrier hold-off", 0, []() -> auto& { return Retrain().carrier_hold_off; }),
      Timer<std::uint16_t>("quality prescaler", 0,
                           []() -> auto& { return Retrain().quality_prescaler; }),
      Timer<std::uint16_t>("packet attempt", 0,
                           []() -> auto& { return MachineState<DspTransportState>().attempt_counter; }),
      Timer<std::uint16_t>("fax training", 0, []() -> auto& { return fax_class1_state().training_delay; }),
      Timer<std::uint8_t>("V.8 repeat", 0, []() -> auto& { return Task().v8_repeat_timer; }),
      Timer<std::uint16_t>("fast start", 0, []() -> auto& { return Task().fast_start_timer; }),
      Timer<std::uint16_t>("V.8bis", 0, []() -> auto& { return MachineState<V8bisState>().timer; }),
      Timer<std::uint16_t>("call waiting", 0,
                           []() -> auto& { return MachineState<CallWaitingState>().timer; }),
      Timer<std::uint16_t>("frame-error window", 0, []() -> auto& { return Task().frame_error_window; }),
  };
}

void Ticks(int n) {
  for (int i = 0; i < n; ++i) ModemTask_Tick10ms();
}

TEST(TaskTimers, EachCountsDownToWhereItStops) {
  for (const TickedTimer& timer : TickedTimers()) {
    SCOPED_TRACE(timer.name);
    RunOnController([&] {
      timer.set(5);
      Ticks(3);
      EXPECT_EQ(timer.get(), 2u);
      Ticks(10);
      EXPECT_EQ(timer.get(), timer.stop);
      timer.set(0);  // not running
      Ticks(2);
      EXPECT_EQ(timer.get(), 0u);
    });
  }
}

TEST(TaskTimers, RetrainTimerHeldDuringHoldAndConfirmedCallWaiting) {
  struct Case {
    const char* name;
    std::uint16_t moh_status;
    std::uint8_t waiting_flags;
    std::uint16_t after;
  };
  const std::vector<Case> cases = {
      {"neither", 0, 0, 90},
      {"hold in progress", kMohInProgress, 0, 100},
      {"call waiting confirmed", 0, kCallWaitingConfirmed, 100},
      {"call waiting armed, not confirmed", 0, kCallWaitingToneMonitor, 90},
      {"other hold bits", 1u << 8, 0, 90},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOnController([&] {
      MachineState<ModemOnHoldState>().v92_status = c.moh_status;
      MachineState<CallWaitingState>().flags = c.waiting_flags;
      Retrain().retrain_timer = 100;
      Retrain().fall_back_timer = 100;
      Ticks(10);
      EXPECT_EQ(Retrain().retrain_timer, c.after);
      EXPECT_EQ(Retrain().fall_back_timer, 90);  // never held
    });
  }
}

TEST(TaskTimers, DurationCounterRunsFreely) {
  RunOnController([] {
    std::atomic<std::int32_t>& ticks = MachineState<CallWaitingState>().ticks;
    ticks = -100;  // the call-waiting detector waits 1 s this way
    Ticks(150);
    EXPECT_EQ(ticks, 50);
  });
}

}  // namespace
}  // namespace vxctl::testing
