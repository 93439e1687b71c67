// The handshake's start: the modulation and rate choice, the rate masks,
// the V.8 options and the connect parameters; the direct modulation start
// and the small call set-up packets.
#include <algorithm>
#include <array>

#include "controller/acu/acu_settings.h"
#include "layer2/corecode/mt/dsp/dsp_commands.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/handshake.h"
#include "layer2/corecode/mt/modem/rate_tables.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/modem_task/v8bis_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl {
namespace {

constexpr std::size_t kSV8Options = 119;  // S119: which V.8 options 0x90 masks off
constexpr std::uint16_t kFaxRate = 19200;
constexpr std::uint16_t kV34Floor = 2400;
constexpr std::uint16_t kPcmRange = 34666;
constexpr std::uint16_t kV34Top = 33600;
constexpr std::uint16_t kPcmMinimum = 28000;
constexpr std::uint16_t kV23ReverseRate = 75;
constexpr std::uint8_t kDirectionOriginate = 1;
constexpr std::uint8_t kDirectionAnswer = 2;

// The classic modulations a call falls back to, best first, each with its
// top rate.
struct Fallback {
  MsEntry entry;
  std::uint16_t top;
  bool set;  // the rate is set to `top`, not only capped by it
};
constexpr Fallback kFallbacks[] = {
    {kMsV32bis, 14400, false}, {kMsV32, 9600, false},  {kMsV22bis, 2400, true},
    {kMsV22, 1200, true},      {kMsBell212, 1200, true}, {kMsV23, 1200, true},
    {kMsV21, 300, true},
};
constexpr std::uint16_t kBell103Rate = 300;

// The top rate of a modulation the V.8 exchange negotiated below V.34.
std::uint16_t NegotiatedTop(std::uint8_t m) {
  switch (m) {
    case kModulationV32bis: return 14400;
    case kModulationV32: return 9600;
    case kModulationV22bis: return 2400;
    case kModulationV22:
    case kModulationBell212:
    case kModulationV23: return 1200;
    default: return 300;
  }
}

// The V.8 options of 0x90 with S119's masks: each value applies its own
// masks and those of every higher value up to 5; above 5 nothing.
std::array<std::uint8_t, 8> V8Options(std::uint8_t s119) {
  std::array<std::uint8_t, 8> bytes{0xFF, 0x21, 0x7F, 0x75, 0xFF, 0x01, 0x07, 0x00};
  struct Mask {
    std::uint8_t up_to;
    std::uint8_t byte0;
    std::uint8_t byte4;
  };
  constexpr Mask kMasks[] = {{2, 0xFD, 0xFB}, {3, 0xE7, 0xF7}, {4, 0x9F, 0xEF}, {5, 0x7B, 0xDF}};
  if (s119 == 1) {
    bytes[0] = 0x00;
    bytes[4] = 0xFD;
  }
  for (const Mask& mask : kMasks) {
    if (s119 >= 1 && s119 <= mask.up_to) {
      bytes[0] &= mask.byte0;
      bytes[4] &= mask.byte4;
    }
  }
  return bytes;
}

struct Choice {
  std::uint8_t m = 0;
  std::uint16_t r = 0;
  std::uint8_t direction = 0;  // the V.8 exchange's: 1 originating, 2 answering
};

std::uint16_t SmallerMaximum(const AcuCallSettings& s) {
  return std::min(s.max_tx_rate, s.max_rx_rate);
}
std::uint16_t LargerMaximum(const AcuCallSettings& s) {
  return std::max(s.max_tx_rate, s.max_rx_rate);
}
std::uint16_t LargerMinimum(const AcuCallSettings& s) {
  return std::max(s.min_tx_rate, s.min_rx_rate);
}

// Rate masks with the larger minimum and `r` both ways, above modulation 7.
void SendSymmetricMasks(const AcuCallSettings& s, std::uint8_t m, std::uint16_t r) {
  if (m > kModulationV22bis) ModemTask_SendRateMasks(m, LargerMinimum(s), r, LargerMinimum(s), r);
}

Choice ChooseFallback(const AcuCallSettings& s) {
  Choice choice{0, SmallerMaximum(s)};
  for (const Fallback& f : kFallbacks) {
    if (s.modulations[f.entry].enabled == 0) continue;
    choice.m = s.modulations[f.entry].code;
    choice.r = f.set ? f.top : std::min(choice.r, f.top);
    SendSymmetricMasks(s, choice.m, choice.r);
    return choice;
  }
  choice.r = kBell103Rate;
  return choice;
}

// The V.8 exchange negotiated `m` where V.90 had been asked for: the
// call's receive limits move to V.34's rates.
void LimitToV34(AcuCallSettings& s) {
  s.max_rx_rate = s.max_rx_rate < kPcmRange
                      ? static_cast<std::uint16_t>(s.max_rx_rate / kV34Floor * kV34Floor)
                      : kV34Top;
  if (s.min_rx_rate >= kPcmMinimum) {
    // Counted wide and held to V.34's top: a minimum near 65535 would wrap,
    // and one above 33600 would leave no rate to receive at.
    const std::uint32_t raised = (s.min_rx_rate / kV34Floor + 1u) * kV34Floor;
    s.min_rx_rate = static_cast<std::uint16_t>(std::min<std::uint32_t>(raised, kV34Top));
  }
}

Choice ChooseNegotiated(AcuCallSettings& s, const ModemTaskState& task) {
  Choice choice{task.modulation, 0,
                s.originate != 0 ? kDirectionOriginate : kDirectionAnswer};
  const std::uint8_t m = choice.m;
  if (m == task.requested_modulation) {
    choice.r = m == kModulationV90 ? s.max_rx_rate : LargerMaximum(s);
    ModemTask_SendRateMasks(m, s.min_tx_rate, s.max_tx_rate, s.min_rx_rate, s.max_rx_rate);
  } else {
    if (task.requested_modulation == kModulationV90) LimitToV34(s);
    if (m == kModulationV34) {
      ModemTask_SendRateMasks(m, s.min_tx_rate, s.max_tx_rate, s.min_rx_rate, s.max_rx_rate);
      choice.r = LargerMaximum(s);
    } else {
      choice.r = std::min(SmallerMaximum(s), NegotiatedTop(m));
      SendSymmetricMasks(s, m, choice.r);
    }
  }
  if (m == kModulationV34 && (s.max_tx_rate == kV34Floor || s.max_rx_rate == kV34Floor)) {
    choice.r = kV34Floor;
  }
  const std::uint8_t s119 = acu_settings().s[kSV8Options];
  if (m >= kModulationV34 && s119 != 0) {
    dsp_send_packet(DspCommand::Ack(kCmdPhase2Options, V8Options(s119)));
  }
  return choice;
}

Choice Choose(AcuCallSettings& s, const ModemTaskState& task) {
  if (s.fax_call != 0) return {task.modulation, kFaxRate};
  const bool v8_pending = task.v8_mode.load() != 0 && task.v8_substate.load() == 0;
  if (task.modulation > kModulationV34Symbol && (task.v8_result.load() == 0 || v8_pending)) {
    return ChooseFallback(s);
  }
  if (task.v8_frame_received.load() == 0) {
    Choice choice{task.modulation, SmallerMaximum(s)};
    SendSymmetricMasks(s, choice.m, choice.r);
    return choice;
  }
  return ChooseNegotiated(s, task);
}

std::uint8_t Bit(bool set, int position) { return static_cast<std::uint8_t>(set ? 1u << position : 0u); }

bool UpstreamPcmAllowed() { return acu_settings().v92_upstream == 0 && acu_v92_enabled() != 0; }

// Byte 3 bit 2: V.23's direction from the typed "+MS" maxima, or the
// call's; 1 for the other modulations.
bool V23Forward(const AcuCallSettings& s, std::uint8_t m) {
  if (m != kModulationV23) return true;
  if (s.typed_max_tx_rate == kV23ReverseRate) return true;
  if (s.typed_max_rx_rate == kV23ReverseRate) return false;
  return s.originate != 0;
}

std::array<std::uint8_t, 6> ConnectParameters(const AcuCallSettings& s,
                                              const ModemTaskState& task,
                                              const Choice& choice) {
  const std::uint16_t flags = task.call_flags.load();
  const bool originate = s.originate != 0;
  const bool v8bis = (MachineState<V8bisState>().flags.load() & kV8bisActive) != 0;
  const bool answering_v8bis = !originate && v8bis;
  const bool profile_clear = (flags & kCallFlagClearProfile) != 0;
  const bool v92 = acu_v92_enabled() != 0;
  const bool v32_family = choice.m == kModulationV32 || choice.m == kModulationV32bis;
  std::array<std::uint8_t, 6> p{};
  p[0] = static_cast<std::uint8_t>((ModemTask_RateCode(choice.r) & 0x3F) |
                                   ((s.dsp_option >> 4) & 3) << 6);
  p[1] = static_cast<std::uint8_t>(choice.m & 0x3F);
  p[2] = static_cast<std::uint8_t>((s.calling_tone & 3) | Bit(originate, 2) |
                                   Bit(task.connect_automode != 0 && !answering_v8bis, 3) |
                                   Bit(task.v8_mode.load() != 0 && !answering_v8bis, 4) |
                                   Bit(task.connect_fax != 0, 5) | Bit(v8bis, 6));
  p[3] = static_cast<std::uint8_t>((choice.direction & 3) | Bit(V23Forward(s, choice.m), 2) |
                                   Bit(s.auto_retrain != 0, 3) |
                                   (v32_family ? (s.and_u & 7) << 5 : 0));
  p[4] = static_cast<std::uint8_t>(
      Bit(profile_clear, 0) | Bit(v92, 1) | Bit(profile_clear && (acu_pqc_setting() & 1) == 0, 2) |
      Bit(UpstreamPcmAllowed(), 3) | Bit((flags & kCallFlagConnectOption) != 0, 4) |
      Bit((flags & kCallFlagFastPath) != 0, 5) | Bit((flags & kCallFlagFastStart) != 0, 6));
  p[5] = task.modulation == kModulationV34 && s.msc != 0 ? 0x0F : 0x00;
  return p;
}

void SetHandshakePhase() {
  std::atomic<std::uint32_t>& mask = stats_block().output_mask;
  std::uint32_t value = mask.load();
  while (!mask.compare_exchange_weak(value, (value & ~0xF0u) | kStatsPhaseHandshake)) {
  }
}

}  // namespace

void ModemTask_StartConnect() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  const AcuCallSettings& s = acu_call_settings();
  task.connect_automode = s.automode;
  task.modulation = task.requested_modulation;
  task.previous_tx_rate = 0;
  task.previous_rx_rate = 0;
  if (task.requested_modulation == kModulationV90) ModemTask_LoadV92LineValues();
  const bool originate = s.originate != 0;
  if (s.fax_call != 0) {
    task.connect_fax = 1;
    task.state = originate ? kTaskFaxOriginating : kTaskFaxAnswering;
  } else {
    task.connect_fax = 0;
    ++task.connection_count;
    task.state = originate ? kTaskOriginating : kTaskAnswering;
  }
  ModemTask_StartHandshake();
}

void ModemTask_StartHandshake() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  // The choice works on this call's copy: a V.90 request negotiated down
  // to V.34 lowers the receive limits for this call only, not "+MS".
  AcuCallSettings s = acu_call_settings();
  task.frame_errors = 0;
  SetHandshakePhase();
  const Choice choice = Choose(s, task);
  task.call_limits = {s.min_tx_rate, s.max_tx_rate, s.min_rx_rate, s.max_rx_rate};
  dsp_send_packet(DspCommand::Ack(kCmdHandshakeParams, ConnectParameters(s, task, choice)));
  RetrainState& retrain = MachineState<RetrainState>();
  retrain.retrain_timer = 0;
  retrain.fall_back_timer = 0;
  retrain.fall_forward_timer = 0;
  retrain.bad_line_timer = 0;
  retrain.ClearCallFlags();
}

void ModemTask_StartModulation(std::uint8_t option, std::uint16_t rate, std::uint8_t modulation) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.modulation = modulation;
  std::uint8_t sent = modulation;
  if (modulation == kModulationV90) {
    if (UpstreamPcmAllowed()) {
      sent = kModulationV92;
    } else {
      sent = kModulationV34;
      rate = rate < kPcmRange ? static_cast<std::uint16_t>(rate / kV34Floor * kV34Floor) : kV34Top;
    }
  }
  dsp_send_packet(DspCommand::Ack(
      kCmdDirectStart,
      {ModemTask_RateCode(rate), sent, static_cast<std::uint8_t>(option * 4), 0}));
  task.state = kTaskConnected;
}

void ModemTask_SendOptions(std::uint16_t a, std::uint16_t b, std::uint32_t c) {
  dsp_send_packet(DspCommand::Ack(
      kCmdRateMasks,
      {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8),
       static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(b >> 8),
       static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
       static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 24)}));
}

void ModemTask_SendRateMasks(std::uint8_t m, std::uint16_t tmin, std::uint16_t tmax,
                             std::uint16_t rmin, std::uint16_t rmax) {
  if (m <= kModulationV22bis) return;
  const AcuCallSettings& s = acu_call_settings();
  const RateMasks masks =
      rate_masks(m, tmin, tmax, rmin, rmax,
                 {MachineState<ModemTaskState>().code.load(), s.fixed_rate, s.percent_g});
  ModemTask_SendOptions(masks.a, masks.b, masks.c);
}

void ModemTask_SendCmd62(std::uint8_t value) { dsp_send_packet(DspCommand::Ack(kCmdCall62, {value})); }

void ModemTask_SendCmd6C(std::uint8_t value) { dsp_send_packet(DspCommand::Ack(kCmdCall6C, {value})); }

void ModemTask_SetCallParams(std::uint8_t /*s9*/, std::uint8_t s7, std::uint8_t carrier_loss,
                             std::uint8_t call_parameter, std::uint8_t /*unused_a*/,
                             std::uint8_t /*unused_b*/, std::uint8_t /*unused_c*/) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.connect_wait = static_cast<std::uint16_t>(s7 * 100);
  task.carrier_loss_delay = carrier_loss;
  task.call_parameter = call_parameter;
}

}  // namespace vxctl
