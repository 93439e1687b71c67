// The modem task's reset at controller start and its ways back to idle.
#include "controller/line/country/country_record.h"
#include "layer2/corecode/mt/dsp/dsp_commands.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/dsp/hardware_kind.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/lines/relays.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/call_progress_mode.h"
#include "layer2/corecode/mt/modem/dial_packets.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/voice_line.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/modem/modem_on_hold.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/line_services.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kCallerIdConfigBits = 0x0F;
constexpr std::uint8_t kSpeakerVolumeReset = 2;

// On hook, and the line services act on it at once.
void HangUpNow() {
  ModemTask_SetHook(false);
  MK_dispatch(&MachineState<LineServicesState>().kernel);
}

// The caller-ID configuration the data pump watches the line with: the
// live country record's, while caller-ID reporting is on.
std::uint8_t CallerIdConfig() {
  if (acu_caller_id_enabled() == 0) return 0;
  const CountryRecord* record = MachineState<LineServicesState>().context.record;
  if (record == nullptr) return 0;
  return GeneralFlags(*record).caller_id_config() & kCallerIdConfigBits;
}

}  // namespace

void ModemTask_Reset(std::uint8_t& level) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  RetrainState& retrain = MachineState<RetrainState>();
  ModemTask_TraceReset(&modem_event_trace());
  task.state = kTaskIdle;
  dsp_link_start();
  level = MachineState<DspLinkState>().link_level;
  ModemTask_DspIdle();
  ModemTask_SetSpeakerVolume(kSpeakerVolumeReset);
  ModemTask_SetSpeaker(0);
  daa_set_spk_hs_relay(0);
  HangUpNow();
  task.call_progress_mode = 0;
  retrain.reneg_permitted = 0;
  retrain.ClearCallFlags();
  retrain.peer_rate_word = kPeerRateWordReset;
  ModemTask_SelectVoiceLine0();
  LS_start_line_poll();
  ModemTask_ArmCallWaiting(0);
  ModemTask_MohReset();
  ModemTask_SetV92StartOptions(0);
  task.connection_count = 0;
}

void ModemTask_DspIdle() {
  MachineState<ModemTaskState>().call_progress_mode = 0;
  MachineState<RetrainState>().peer_rate_word = kPeerRateWordReset;
  dsp_link_reset();
  daa_set_voice_relay(0);
  daa_set_cid_relay(0);
  daa_set_spk_hs_relay(0);
  HangUpNow();
  dsp_send_packet(DspCommand::Ack(kCmdReset, {0, 0}));
  ModemTask_HardwareQuery();
  dsp_send_packet(DspCommand::Ack(kCmdCallerIdConfig, {CallerIdConfig(), 0}));
}

void ModemTask_GoIdle() {
  ModemTask_SetSpeaker(0);
  HangUpNow();
  MachineState<ModemTaskState>().state = kTaskIdle;
  ModemTask_DspIdle();
  ModemTask_SetCallProgress(0);
  MachineState<RetrainState>().ClearCallFlags();
}

void ModemTask_Stop() {
  ModemTask_DspIdle();
  MachineState<ModemTaskState>().state = kTaskIdle;
  ModemTask_SetCallProgress(0);
}

}  // namespace vxctl
