// The relay and hook sequences (class 3): every hook and relay operation
// applies patterns of the country's DAA sequence, with the sequence's
// delays between them, to the two line banks of the register page.
#include <algorithm>

#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_settings.h"
#include "controller/line/services/line_services_ops.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/call_progress_mode.h"
#include "layer2/corecode/mt/modem/dial_packets.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "pump/core/comram.h"

namespace vxctl {
namespace {

// The DAA table: a u16 count, then the sequences. Offsets in a sequence.
constexpr std::size_t kDaaTable = 776;
constexpr std::size_t kFirstSequence = kDaaTable + 2;
constexpr std::size_t kLevels = 5;
enum DaaTime : std::size_t {
  kSeizeTime = 11,
  kFlashTime = 13,
  kPulseSetupTime = 15,
  kBreakTime = 17,
  kMakeTime = 19,
  kInterDigitTime = 21,
  kPulseEndTime = 23,
};
enum DaaPattern : std::size_t {
  kSeize = 25,
  kOffHook = 29,
  kOnHook = 33,
  kPulse = 37,
};

constexpr std::uint8_t kMultiPass = 1;
constexpr std::uint32_t kLineCheckDelayMs = 400;
constexpr std::uint32_t kLineProgressDelayMs = 100;
constexpr std::uint8_t kCallProgressLine = 1;

struct Pattern {
  std::uint16_t mask;
  std::uint16_t value;
};

std::uint16_t U16(const CountryRecord& record, std::size_t at) {
  return static_cast<std::uint16_t>(record.bytes[at] | record.bytes[at + 1] << 8);
}

std::size_t SequenceBase(const LineServicesContext& context) {
  return kFirstSequence + context.relay.sequence_index * kDaaSequenceSize;
}

std::uint16_t Time(const LineServicesContext& context, DaaTime time) {
  return U16(*context.record, SequenceBase(context) + time);
}

Pattern PatternOf(const LineServicesContext& context, DaaPattern pattern) {
  const std::size_t at = SequenceBase(context) + pattern;
  return {U16(*context.record, at), U16(*context.record, at + 2)};
}

std::uint8_t Low(std::uint16_t v) { return static_cast<std::uint8_t>(v); }
std::uint8_t High(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }
std::uint8_t Not(std::uint8_t v) { return static_cast<std::uint8_t>(~v); }

// The level register's bits under the mask become the value's complement;
// the others keep what the relay drivers wrote (voice, caller-ID and
// speaker relays share register 242 with the hook).
std::uint8_t Levels(std::uint8_t now, std::uint8_t mask, std::uint8_t value) {
  return static_cast<std::uint8_t>((now & Not(mask)) | (Not(value) & mask));
}

// Bank A first (240, 243, 242), then bank B (241, 245, 244); a pattern
// with no mask is not applied.
void Apply(const LineServicesContext& context, DaaPattern which) {
  const Pattern p = PatternOf(context, which);
  if (p.mask == 0) return;
  dsp_reg_write(pump::kRegLineDirectionA, dsp_reg_read(pump::kRegLineDirectionA) | Low(p.mask));
  dsp_reg_write(pump::kRegLineThirdA, Not(Low(p.mask)));
  dsp_reg_write(pump::kRegLineLevelA,
                Levels(dsp_reg_read(pump::kRegLineLevelA), Low(p.mask), Low(p.value)));
  dsp_reg_write(pump::kRegLineDirectionB, dsp_reg_read(pump::kRegLineDirectionB) | High(p.mask));
  dsp_reg_write(pump::kRegLineThirdB, Not(High(p.mask)));
  dsp_reg_write(pump::kRegLineLevelB,
                Levels(dsp_reg_read(pump::kRegLineLevelB), High(p.mask), High(p.value)));
}

// The table holds three sequences whatever its count says.
void SelectSequence(LineServicesContext& context) {
  const std::size_t count =
      std::min<std::size_t>(U16(*context.record, kDaaTable), kDaaSequences);
  for (std::size_t i = 0; i < count; ++i) {
    if (context.record->bytes[kFirstSequence + i * kDaaSequenceSize] == context.line_state) {
      context.relay.sequence_index = static_cast<std::uint8_t>(i);
      return;
    }
  }
  context.line_state = 0;
}

void PostLineEvent(LineServicesContext& context, std::uint8_t code) {
  MK_msg_send(context.kernel, false, kMsgLineEvents, code);
}

bool LineCheckAsked() {
  const RegFeatureFlags& f = reg_settings().features;
  const bool detection = f.line_in_use_detect.load() != 0 || f.line_unavailable_detect.load() != 0;
  return detection && acu_controller().dial_line_check != 0;
}

void OffHookStep(LineServicesContext& context) {
  Apply(context, kOffHook);
  const std::uint8_t fclass = acu_fclass().load();
  if (fclass == 0 || fclass == 1 || fclass == 8) task_burst_set(kMultiPass);
  context.relay.off_hook_complete = 1;
  PostLineEvent(context, kLineHookDone);
}

void StopStepTimer(LineServicesContext& context) {
  if (context.relay.step_timer == 0) return;
  TimerRequest& request = context.temp_timer;
  request.kernel = context.kernel;
  request.id = context.relay.step_timer;
  MK_timer_stop(&request);
  context.relay.step_timer = 0;
}

// Runs `expiry` after `ms` on the step timer, at once when `ms` is 0. A
// step still running is stopped first: the step timer has one owner, and
// a step it no longer owns could never be stopped.
void Start(LineServicesContext& context, std::uint32_t ms, TimerCallback1 expiry) {
  StopStepTimer(context);
  if (ms == 0) {
    expiry(reinterpret_cast<TimerArg>(&context));
    return;
  }
  TimerRequest& request = context.temp_timer;
  request.kernel = context.kernel;
  request.owner = &context.relay.step_timer;
  request.ms = ms;
  request.SetCallback(expiry, reinterpret_cast<TimerArg>(&context));
  MK_timer_start(&request);
}

LineServicesContext& Of(TimerArg a) { return *reinterpret_cast<LineServicesContext*>(a); }

void OffHookStepExpiry(TimerArg a) { OffHookStep(Of(a)); }

void LineProgressExpiry(TimerArg a) {
  LineServicesContext& context = Of(a);
  AcuControllerState& acu = acu_controller();
  if (acu.dial_line_check != 0) {
    if ((acu_settings().s[kSReports] & kS22DialToneDetect) != 0) {
      acu.dial_substate = kDialCheckDialTone;
      acu.dial_wait_kind = kWaitNone;
    }
    return;
  }
  Apply(context, kSeize);
  context.relay.off_hook = 1;
  acu.dial_substate = kDialLineCheck;
  acu.dial_wait_kind = kWaitLineTaken;
}

void SeizedForCheckExpiry(TimerArg a) {
  LineServicesContext& context = Of(a);
  ModemTask_SendCallProgressMode(kCallProgressLine);
  acu_controller().dial_wait_kind = kWaitLineProgress;
  Start(context, kLineProgressDelayMs, LineProgressExpiry);
}

void Seize(LineServicesContext& context) {
  Apply(context, kSeize);
  const std::uint16_t seize = Time(context, kSeizeTime);
  Start(context, seize, LineCheckAsked() ? SeizedForCheckExpiry : OffHookStepExpiry);
}

void LineCheckExpiry(TimerArg a) {
  LineServicesContext& context = Of(a);
  // Before the seize: with no seize time it runs its next step at once.
  context.relay.off_hook = 1;
  acu_controller().dial_wait_kind = kWaitSeized;
  Seize(context);
}

void GoOffHook(LineServicesContext& context) {
  if (context.relay.off_hook != 0) return;
  if (!LineCheckAsked()) {
    Seize(context);
    context.relay.off_hook = 1;
    return;
  }
  AcuControllerState& acu = acu_controller();
  acu.dial_substate = kDialLineCheck;
  acu.dial_wait_kind = kWaitLineCheck;
  Start(context, kLineCheckDelayMs, LineCheckExpiry);
}

void GoOnHook(LineServicesContext& context) {
  StopStepTimer(context);
  context.relay.pulse_count = 0;
  Apply(context, kOnHook);
  task_burst_set(kMultiPass);
  context.relay.off_hook = 0;
  context.relay.off_hook_complete = 0;
}

void PulseSetupExpiry(TimerArg a) {
  LineServicesContext& context = Of(a);
  // The modem task sends a pulse-dialling packet's two times swapped; the
  // data pump takes the break time first.
  ModemTask_SendDialParams(Low(Time(context, kMakeTime)), Low(Time(context, kBreakTime)), 1,
                           Time(context, kInterDigitTime));
  PostLineEvent(context, kLineDialContinue);
}

void DigitDoneExpiry(TimerArg a) { PostLineEvent(Of(a), kLineDialContinue); }

// One digit's pulses and the pause after it; a payload that is not a
// digit sends nothing and lets the dialler go on at once.
void PulseDigit(LineServicesContext& context, std::uint8_t digit) {
  if (digit < '0' || digit > '9') {
    PostLineEvent(context, kLineDialContinue);
    return;
  }
  const std::uint32_t pulses = digit == '0' ? 10 : digit - '0';
  const std::uint32_t ms =
      (static_cast<std::uint32_t>(Time(context, kBreakTime)) + Time(context, kMakeTime)) * pulses +
      Time(context, kInterDigitTime);
  ++context.relay.pulse_count;
  Start(context, ms, DigitDoneExpiry);
  ModemTask_DialDigit(static_cast<char>(digit));
}

void FlashExpiry(TimerArg a) {
  LineServicesContext& context = Of(a);
  PostLineEvent(context, kLineDialContinue);
  Apply(context, kOffHook);
}

}  // namespace

void DAA_handler(KernelMessage* message, void* context_arg) {
  if (message == nullptr || context_arg == nullptr) return;
  LineServicesContext& context = *static_cast<LineServicesContext*>(context_arg);
  if (context.record == nullptr || U16(*context.record, kDaaTable) == 0 ||
      context.line_state == 0) {
    return;
  }
  switch (message->code) {
    case kDaaRestart:
      SelectSequence(context);
      if (context.line_state == 0) return;
      GoOnHook(context);  // a step under way ends with the restart
      break;
    case kDaaOffHook:
      GoOffHook(context);
      break;
    case kDaaOnHook:
      GoOnHook(context);
      break;
    case kDaaPulseStart:
      Apply(context, kPulse);
      Start(context, Time(context, kPulseSetupTime), PulseSetupExpiry);
      break;
    case kDaaPulseDigit:
      PulseDigit(context, message->payload[0]);
      break;
    case kDaaPulseEnd:
      Start(context, Time(context, kPulseEndTime), OffHookStepExpiry);
      break;
    case kDaaHookFlash:
      Apply(context, kOnHook);
      Start(context, Time(context, kFlashTime), FlashExpiry);
      break;
    case kDaaSelect:
      SelectSequence(context);
      break;
    default:
      break;
  }
}

bool DAA_line_status_ok() {
  const LineServicesContext& context = MachineState<LineServicesState>().context;
  if (context.record == nullptr || context.line_state == 0) return false;
  const Pattern off_hook = PatternOf(context, kOffHook);
  const auto inputs = static_cast<std::uint16_t>(dsp_reg_read(pump::kRegLineLevelB) << 8 |
                                                 dsp_reg_read(pump::kRegLineLevelA));
  return (off_hook.mask & static_cast<std::uint16_t>(~inputs)) == off_hook.value;
}

const std::uint8_t* DAA_level_record() {
  const LineServicesContext& context = MachineState<LineServicesState>().context;
  if (context.record == nullptr || context.line_state == 0) return nullptr;
  return context.record->bytes.data() + SequenceBase(context) + kLevels;
}

}  // namespace vxctl
