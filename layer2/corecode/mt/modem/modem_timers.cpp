// The modem task's 10 ms tick. Expiry timers count down to 1 and stay
// there (1 expired, 0 not running); delays count down to 0. A counter the
// task thread sets meanwhile keeps the value it set.
#include <atomic>

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/fax_class1.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/modem_task/modem_on_hold_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/modem_task/v8bis_state.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kTicksPerSecond = 100;

template <class T>
void CountDownTo(std::atomic<T>& counter, T floor) {
  T value = counter.load();
  if (value > floor) counter.compare_exchange_strong(value, static_cast<T>(value - 1));
}

template <class T>
void Expiry(std::atomic<T>& timer) {
  CountDownTo(timer, T{1});
}

template <class T>
void Delay(std::atomic<T>& delay) {
  CountDownTo(delay, T{0});
}

}  // namespace

void ModemTask_Tick10ms() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  RetrainState& retrain = MachineState<RetrainState>();
  CallWaitingState& waiting = MachineState<CallWaitingState>();
  Expiry(retrain.fall_back_timer);
  Expiry(retrain.fall_forward_timer);
  Expiry(retrain.bad_line_timer);
  // A hold or a confirmed waiting call stops the retrain and renegotiation
  // timer: the line is busy with that meanwhile.
  const bool on_hold = (MachineState<ModemOnHoldState>().v92_status.load() & kMohInProgress) != 0;
  const bool confirmed = (waiting.flags.load() & kCallWaitingConfirmed) != 0;
  if (!on_hold && !confirmed) Expiry(retrain.retrain_timer);
  dsp_attempt_tick();
  Delay(retrain.carrier_hold_off);
  Delay(retrain.quality_prescaler);
  Delay(fax_class1_state().training_delay);
  Delay(task.v8_repeat_timer);
  Delay(task.fast_start_timer);
  Delay(MachineState<V8bisState>().timer);
  Delay(waiting.timer);
  Delay(task.frame_error_window);
  waiting.ticks.fetch_add(1);
  // The hold timer counts seconds.
  ModemOnHoldState& hold = MachineState<ModemOnHoldState>();
  if (hold.second_prescaler.fetch_add(1) + 1 >= kTicksPerSecond) {
    hold.second_prescaler = 0;
    Delay(hold.hold_timer);
  }
}

}  // namespace vxctl
