// The modem task's reset and its ways back to idle: the packets the data
// pump gets, the relays, the hook, and the calls into parts not built yet;
// then the same operations answered by the real data pump.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "controller/standin/command_interpreter_standin.h"
#include "controller/standin/line_services_standin.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/lines/relays.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/tests/modem_task_testing.h"
#include "layer2/corecode/mt/modem/tests/sent_commands.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/vxdsp_machine.h"
#include "pump/packets/dp_packets.h"

namespace vxctl::testing {
namespace {

constexpr std::uint8_t kRelayBits =
    pump::kLineHookRelay | pump::kLineSpeakerRelay | pump::kLineVoiceRelay | pump::kLineCallerIdRelay;

struct IdleOperation {
  const char* name;
  std::function<void()> run;
  std::vector<std::string> calls;  // into parts not built yet
  // The speaker (0x81) and call-progress (0x65) packets, in order.
  std::vector<SentCommand> speaker_and_call_progress;
};


std::vector<IdleOperation> IdleOperations() {
  return {
      {"Reset",
       [] {
         std::uint8_t level = 0;
         ModemTask_Reset(level);
         EXPECT_EQ(level, kDspLinkLevelStarted);
       },
       {"ModemTask_ArmCallWaiting(0)", "ModemTask_SetV92StartOptions(0)"},
       // volume 2 while the speaker is off, then off
       {{0x81, {0, 0}}, {0x81, {0, 0}}}},
      {"DspIdle", [] { ModemTask_DspIdle(); }, {}, {}},
      // the idle cleared the call-progress mode, so turning it off idles
      // nothing more
      {"GoIdle", [] { ModemTask_GoIdle(); }, {}, {{0x81, {0, 0}}, {0x65, {0, 1}}}},
      {"Stop", [] { ModemTask_Stop(); }, {}, {{0x65, {0, 1}}}},
  };
}

// The line services started, the line taken, every relay on, a call's
// state and flags set.
void InACall(std::uint8_t caller_id_config) {
  LS_init();
  CTY_load_default_record();  // the relay sequences come from the country record
  LineServicesState& services = MachineState<LineServicesState>();
  services.context.record->bytes[11] = caller_id_config;
  ModemTask_SetHook(true);
  MK_dispatch(&services.kernel);
  MK_clock_advance(&services.kernel, 100);  // the country's seize time
  LS_poll();
  daa_set_voice_relay(1);
  daa_set_cid_relay(1);
  daa_set_spk_hs_relay(1);
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.state = kTaskConnected;
  task.call_progress_mode = 2;
  task.connection_count = 4;
  RetrainState& retrain = MachineState<RetrainState>();
  retrain.peer_rate_word = 0x1234;
  retrain.hangup_in_progress = 1;
  retrain.fall_back_started = 1;
  MachineState<PendingLog>().Clear();
}

std::vector<SentCommand> IdleCommands(const FakeDataPump& pump) {
  std::vector<SentCommand> idle;
  for (const SentCommand& c : SentCommands(pump)) {
    if (c.code == 0x60 || c.code == 0x94 || c.code == 0xA4) idle.push_back(c);
  }
  return idle;
}

std::vector<SentCommand> SpeakerAndCallProgress(const FakeDataPump& pump) {
  std::vector<SentCommand> sent;
  for (const SentCommand& c : SentCommands(pump)) {
    if (c.code == 0x81 || c.code == 0x65) sent.push_back(c);
  }
  return sent;
}

TEST(ResetAndIdle, PacketsRelaysHookAndCalls) {
  struct CallerId {
    std::uint8_t enabled;
    std::uint8_t config;  // the country record's byte
    std::uint8_t sent;    // 0xA4's first byte
  };
  const CallerId caller_ids[] = {{1, 0x25, 0x05}, {0, 0x25, 0x00}, {1, 0xF0, 0x00}};
  for (const IdleOperation& op : IdleOperations()) {
    for (const CallerId& cid : caller_ids) {
      SCOPED_TRACE(std::string(op.name) + " caller-ID config " + std::to_string(cid.config));
      DspLinkRig rig;
      rig.Run([&](FakeDataPump& pump) {
        MachineState<CommandInterpreterStandin>().caller_id_enabled = cid.enabled;
        InACall(cid.config);
        ASSERT_EQ(dsp_reg_read(pump::kRegLineLevelA) & kRelayBits, 0);
        pump.ClearTraces();
        op.run();
        EXPECT_EQ(IdleCommands(pump),
                  (std::vector<SentCommand>{{0x60, {0, 0}}, {0x94, {}}, {0xA4, {cid.sent, 0}}}));
        EXPECT_EQ(dsp_reg_read(pump::kRegLineLevelA) & kRelayBits, kRelayBits);
        EXPECT_EQ(MachineState<ModemTaskState>().status_word & kStatusOffHook, 0u);
        EXPECT_EQ(DescribedPendingCalls(), op.calls);
        EXPECT_EQ(SpeakerAndCallProgress(pump), op.speaker_and_call_progress);
        const ModemTaskState& task = MachineState<ModemTaskState>();
        const bool dsp_idle_only = std::string(op.name) == "DspIdle";
        EXPECT_EQ(task.state, dsp_idle_only ? kTaskConnected : kTaskIdle);
        EXPECT_EQ(task.call_progress_mode, 0);
        EXPECT_EQ(MachineState<RetrainState>().peer_rate_word, kPeerRateWordReset);
      });
    }
  }
}

// The reset also zeroes the connection count, clears the call's flags and
// starts the line poll; the return to idle clears the call's flags.
TEST(ResetAndIdle, ResetClearsCountsAndStartsTheLinePoll) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump&) {
    InACall(0);
    MsgKernel& kernel = MachineState<LineServicesState>().kernel;
    while (KernelMessage* m = MK_msg_dequeue(&kernel)) kernel.free_messages.PushBack(m);
    std::uint8_t level = 0;
    ModemTask_Reset(level);
    MK_dispatch(&kernel);
    // The started poll has posted its first step.
    bool poll_started = false;
    for (const KernelMessage* m = kernel.pending.head; m != nullptr; m = m->next) {
      if (m->msg_class == kMsgLinePoll && m->code == 5) poll_started = true;
    }
    EXPECT_TRUE(poll_started);
    EXPECT_EQ(MachineState<ModemTaskState>().connection_count, 0);
    EXPECT_EQ(MachineState<RetrainState>().hangup_in_progress, 0);
    EXPECT_EQ(MachineState<RetrainState>().fall_back_started, 0);
  });
}

TEST(ResetAndIdle, TheDataPumpAnswersEach) {
  for (const IdleOperation& op : IdleOperations()) {
    SCOPED_TRACE(op.name);
    RunOnVxdsp([&] {
      InACall(0x25);
      std::vector<std::uint8_t> answered;
      MachineState<RigCallbackState>().after_dispatch = [&](std::uint8_t code) {
        const pump::DspPacket& rx = MachineState<DspTransportState>().rx;
        if (code == pump::kDpAck && (rx.payload[0] == 0x60 || rx.payload[0] == 0xA4)) {
          answered.push_back(rx.payload[0]);
        }
        if (code == 0xCB) answered.push_back(code);
      };
      op.run();
      MachineState<RigCallbackState>().after_dispatch = nullptr;
      EXPECT_EQ(answered, (std::vector<std::uint8_t>{0x60, 0xCB, 0xA4}));
      EXPECT_EQ(MachineState<DspTransportState>().failed.code, 0);
      EXPECT_EQ(dsp_reg_read(pump::kRegLineLevelA) & kRelayBits, kRelayBits);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
