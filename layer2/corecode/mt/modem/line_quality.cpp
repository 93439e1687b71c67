// The line-quality judgement of a connected call and the rate steps it
// drives: a good line held for 5 s steps the receive rate up, a degraded
// one down, a bad one for 2 s retrains (or renegotiates when retrains are
// off); bad HDLC frames counted for the V.34 judgement.
#include "controller/acu/acu_settings.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/mt/dsp/dsp_commands.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/retrain.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "pump/packets/dp_packets.h"

namespace vxctl {
namespace {

constexpr std::uint16_t kQualityRegister = 55;  // bits 3-4: the data pump's class
constexpr std::uint8_t kKeyFrameErrors = 0x59;
constexpr std::uint32_t kFrameErrorsTop = 0xFFFF;

// The V.34 reply's two line figures: A the error measure, B the count of
// bad events; their thresholds.
constexpr std::uint16_t kBadEvents = 5;
constexpr std::uint16_t kBadMeasure = 0x4800;
constexpr std::uint16_t kDegradedMeasure = 0x2800;
constexpr std::uint16_t kFairMeasure = 0x0A01;

void Start(std::atomic<std::uint16_t>& timer, std::uint16_t ticks) {
  if (timer.load() == 0) timer = ticks;
}

bool AutoRetrain() { return acu_call_settings().auto_retrain != 0; }

// The V.34 class from the data pump's figures, held at degraded when the
// error-control link counted too many bad frames in its 5 s window. No
// reply: fair, which changes no rate.
std::uint8_t V34Quality(ModemTaskState& task) {
  DspAnswer answer;
  if (dsp_send_packet(DspCommand::Query(kCmdV34RatesQuery, pump::kDpV34Info), &answer) !=
          kDspSent ||
      answer.code != pump::kDpV34Info) {
    return kQualityFair;
  }
  ModemTask_DecodeV34Rates(answer.reply);
  const unsigned a = answer.reply[2] | answer.reply[3] << 8;
  const unsigned b = answer.reply[4] | answer.reply[5] << 8;
  std::uint8_t q = kQualityGood;
  if (b >= kBadEvents || a >= kBadMeasure) {
    q = kQualityBad;
  } else if (a >= kDegradedMeasure) {
    q = kQualityDegraded;
  } else if (a >= kFairMeasure) {
    q = kQualityFair;
  }
  // Either way a new window starts: a window of bad frames judges that
  // window only, not the rest of the call.
  if (acu_call().ec_status == kEcLapm && task.frame_error_window.load() == 0) {
    if (task.frame_errors.load() >= kFrameErrorLimit) q = kQualityDegraded;
    task.frame_errors = 0;
    task.frame_error_window = kFrameErrorWindowTicks;
  }
  return q;
}

// A step of the receive rate from `rx` to `target`, remembered as the
// renegotiation's target.
void StepTo(RetrainState& retrain, std::uint16_t target) {
  retrain.reneg_target = target;
  ModemTask_Renegotiate(target, 0);
}

void FallForward(ModemTaskState& task, RetrainState& retrain) {
  const std::uint16_t rx = task.rx_rate;
  const std::uint16_t top = task.call_limits.max_rx;
  if (retrain.reneg_permitted == 0 || rx == retrain.last_raised_from || rx >= top ||
      task.modulation < kModulationV32bis) {
    return;
  }
  Start(retrain.fall_forward_timer, kFallForwardTicks);
  if (!Expired(retrain.fall_forward_timer)) return;
  retrain.last_raised_from = rx;
  retrain.fall_forward_started = 1;
  StepTo(retrain, static_cast<std::uint16_t>(rx + kRateStep));
}

void BadLine(ModemTaskState& task, RetrainState& retrain) {
  Start(retrain.bad_line_timer, kBadLineTicks);
  if (!Expired(retrain.bad_line_timer)) {
    ModemTask_FallBackStep();
    return;
  }
  const std::uint16_t rx = task.rx_rate;
  if (AutoRetrain()) {
    ModemTask_Retrain();
  } else if (task.call_limits.min_rx < rx) {
    retrain.last_lowered_from = rx;
    StepTo(retrain, static_cast<std::uint16_t>(rx - kRateStep));
  } else {
    StepTo(retrain, rx);
  }
}

}  // namespace

std::uint8_t ModemTask_LineQuality() {
  if ((MachineState<CallWaitingState>().flags.load() & kCallWaitingToneSeen) != 0) {
    return kQualityFair;
  }
  ModemTaskState& task = MachineState<ModemTaskState>();
  if (task.modulation == kModulationV34) return V34Quality(task);
  return static_cast<std::uint8_t>((dsp_reg_read(kQualityRegister) >> 3) & 3);
}

void ModemTask_FallBackStep() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  RetrainState& retrain = MachineState<RetrainState>();
  Start(retrain.fall_back_timer, kFallBackTicks);
  if (!Expired(retrain.fall_back_timer)) return;
  const std::uint16_t rx = task.rx_rate;
  if (retrain.reneg_permitted != 0 && rx != retrain.last_lowered_from &&
      task.modulation >= kModulationV32bis && rx > task.call_limits.min_rx) {
    retrain.last_lowered_from = rx;
    retrain.fall_back_started = 1;
    StepTo(retrain, static_cast<std::uint16_t>(rx - kRateStep));
  } else if (AutoRetrain()) {
    ModemTask_Retrain();
  }
}

void ModemTask_LineQualityStep() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  RetrainState& retrain = MachineState<RetrainState>();
  const std::uint8_t m = task.modulation;
  const bool confirmed =
      (MachineState<CallWaitingState>().flags.load() & kCallWaitingConfirmed) != 0;
  if (m <= kModulationV22 || m == kModulationV90 || confirmed) return;
  if (retrain.quality_prescaler.load() != 0) return;
  retrain.quality_prescaler = kQualityPrescale;
  const std::uint8_t q = ModemTask_LineQuality();
  retrain.last_quality = q;
  if (!(AutoRetrain() || retrain.reneg_permitted != 0) || acu_call().link_kind == kLinkV80) {
    return;
  }
  switch (q) {
    case kQualityGood:
      retrain.fall_back_timer = 0;
      retrain.bad_line_timer = 0;
      FallForward(task, retrain);
      return;
    case kQualityFair:
      retrain.fall_forward_timer = 0;
      retrain.fall_back_timer = 0;
      retrain.bad_line_timer = 0;
      return;
    case kQualityDegraded:
      retrain.fall_forward_timer = 0;
      retrain.bad_line_timer = 0;
      ModemTask_FallBackStep();
      return;
    default:
      retrain.fall_forward_timer = 0;
      BadLine(task, retrain);
      return;
  }
}

void ModemTask_CountFrameError() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.frame_errors.fetch_add(1);
  const std::uint32_t mode = datamode_state().mode.load();
  if (mode != kModeMnpHdlc && mode != kModeLapm) return;
  std::atomic<std::uint32_t>& count = stats_block().Value(kKeyFrameErrors);
  if (count.load() < kFrameErrorsTop) count.fetch_add(1);
}

}  // namespace vxctl
