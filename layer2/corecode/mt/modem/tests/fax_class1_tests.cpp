// Class 1 fax modulations: the map against the T.31 modulation codes, the
// packets of a start and an end, and the same packets answered by the real
// data pump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/fax_class1.h"
#include "layer2/corecode/mt/modem/tests/sent_commands.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/vxdsp_machine.h"
#include "pump/packets/dp_packets.h"

namespace vxctl::testing {
namespace {

// The data pump's modulation kinds (the code's high nibble) and rates (its
// low nibble), as its fax configuration reads them.
enum FaxKind : std::uint8_t {
  kV21Channel2 = 0x3,
  kV27ter = 0xA,
  kV29 = 0xB,
  kV17Short = 0xD,
  kV17Long = 0xE,
};

std::uint16_t FaxRateOfNibble(std::uint8_t nibble) {
  switch (nibble) {
    case 2: return 300;
    case 4: return 2400;
    case 5: return 4800;
    case 6: return 7200;
    case 7: return 9600;
    case 8: return 12000;
    case 9: return 14400;
    default: return 0;
  }
}

// T.31's modulation codes: the modulation, its rate and (V.17) training.
TEST(Fax1Start, TheMapFollowsTheClassOneModulationCodes) {
  struct Row {
    std::uint8_t code;
    FaxKind kind;
    std::uint16_t rate;
  };
  const Row t31[] = {
      {3, kV21Channel2, 300}, {24, kV27ter, 2400},  {48, kV27ter, 4800},
      {72, kV29, 7200},       {96, kV29, 9600},     {73, kV17Long, 7200},
      {74, kV17Short, 7200},  {97, kV17Long, 9600}, {98, kV17Short, 9600},
      {121, kV17Long, 12000}, {122, kV17Short, 12000}, {145, kV17Long, 14400},
      {146, kV17Short, 14400},
  };
  for (const Row& row : t31) {
    SCOPED_TRACE("code " + std::to_string(row.code));
    const FaxModulation& m = fax_modulation(row.code);
    EXPECT_EQ(m.pump_code >> 4, row.kind);
    EXPECT_EQ(FaxRateOfNibble(m.pump_code & 0x0F), row.rate);
    EXPECT_EQ(m.rate, row.rate);
    // The long-train flag goes with V.27ter and V.17 (either training);
    // V.17's two trainings differ in the data pump's code and the delay.
    const bool long_train = row.kind == kV27ter || row.kind == kV17Long || row.kind == kV17Short;
    EXPECT_EQ(m.long_train, long_train ? 1 : 0);
    // V.17's short training (15 ticks) is far shorter than its long (140).
    if (row.kind == kV17Short) {
      EXPECT_EQ(m.training, 15);
    }
    if (row.kind == kV17Long) {
      EXPECT_EQ(m.training, 140);
    }
  }
  // Codes T.31 does not name give V.21 channel 2 too.
  for (const std::uint8_t code : {0, 2, 25, 147, 255}) {
    EXPECT_EQ(fax_modulation(code).pump_code, 0x32) << int(code);
    EXPECT_EQ(fax_modulation(code).rate, 300) << int(code);
  }
}

TEST(Fax1Start, StartAndEndSendTheirPacketsAndKeepTheState) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    FaxClass1State& fax = fax_class1_state();
    ModemTask_FaxStartModulation(98, 1);
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{
                                     {0x73, {0xD7, 0xA0}}, {0x75, {}}, {0x86, {2, 0}}}));
    EXPECT_EQ(fax.state.load(), kFaxModulationTransmit);
    EXPECT_EQ(fax.training_delay.load(), 15);
    EXPECT_FALSE(ModemTask_FaxTrainDone());
    EXPECT_EQ(MachineState<ModemTaskState>().rx_rate, 9600);

    // A start while transmitting ends the transmission first.
    pump.ClearTraces();
    ModemTask_FaxStartModulation(24, 0);
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{
                                     {0x74, {}}, {0x73, {0xA4, 0xA4}}, {0x86, {2, 0}}}));
    EXPECT_EQ(fax.state.load(), kFaxModulationReceive);
    EXPECT_EQ(MachineState<ModemTaskState>().rx_rate, 2400);

    // Receiving: the end sends nothing.
    pump.ClearTraces();
    ModemTask_FaxEndModulation();
    EXPECT_TRUE(pump.Commands().empty());
    EXPECT_EQ(fax.state.load(), kFaxModulationReceive);

    // A code the map does not hold: V.21 channel 2, no training.
    ModemTask_FaxStartModulation(3, 1);
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{
                                     {0x73, {0x32, 0x20}}, {0x75, {}}, {0x86, {2, 0}}}));
    EXPECT_TRUE(ModemTask_FaxTrainDone());
    pump.ClearTraces();
    ModemTask_FaxEndModulation();
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0x74, {}}}));
    EXPECT_EQ(fax.state.load(), kFaxModulationNone);

    pump.ClearTraces();
    ModemTask_SendCmd86(0x1234);
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0x86, {0x34, 0x12}}}));
    EXPECT_EQ(ModemTask_FaxMaxBitRate(), 5);
  });
}

TEST(Fax1Start, AnUnknownDirectionIsRefusedAndChangesNothing) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    ModemTask_FaxStartModulation(146, 1);
    pump.ClearTraces();
    for (const std::uint8_t direction : {2, 255}) {
      ModemTask_FaxStartModulation(24, direction);
      EXPECT_TRUE(pump.Commands().empty());
      EXPECT_EQ(fax_class1_state().state.load(), kFaxModulationTransmit);
      EXPECT_EQ(fax_class1_state().training_delay.load(), 15);
    }
  });
}

TEST(Fax1Start, TheRealDataPumpAnswersEveryPacket) {
  RunOnVxdsp([] {
    std::vector<std::uint8_t> answered;
    MachineState<RigCallbackState>().after_dispatch = [&](std::uint8_t code) {
      if (code == pump::kDpAck) answered.push_back(MachineState<DspTransportState>().rx.payload[0]);
    };
    ModemTask_FaxStartModulation(98, 1);
    ModemTask_FaxStartModulation(96, 0);
    ModemTask_FaxStartModulation(200, 1);
    ModemTask_FaxEndModulation();
    MachineState<RigCallbackState>().after_dispatch = nullptr;
    EXPECT_EQ(answered, (std::vector<std::uint8_t>{0x73, 0x75, 0x86, 0x74, 0x73, 0x86, 0x73, 0x75,
                                                   0x86, 0x74}));
    EXPECT_EQ(MachineState<DspTransportState>().failed.code, 0);
  });
}

}  // namespace
}  // namespace vxctl::testing
