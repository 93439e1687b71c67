// What the link relies on of a data pump, stated once and run on the fake
// and on the real vxdsp (over vxafe and the simulated front end).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>

#include "afe/windows/afe_device.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/vxdsp_machine.h"
#include "platform/machine/machine.h"
#include "pump/driver/dsp_device.h"
#include "pump/tests/support/test_controller.h"

namespace vxctl::testing {
namespace {

struct OnFake {
  static void Run(const std::function<void()>& body) {
    DspLinkRig rig;
    rig.Run([&](FakeDataPump&) { body(); });
  }
};

struct OnVxdsp {
  static void Run(const std::function<void()>& body) { RunOnVxdsp(body); }
};

template <class Side>
class DspLinkContract : public ::testing::Test {};

struct SideName {
  template <class Side>
  static std::string GetName(int) {
    return std::is_same_v<Side, OnFake> ? "Fake" : "Vxdsp";
  }
};

using Sides = ::testing::Types<OnFake, OnVxdsp>;
TYPED_TEST_SUITE(DspLinkContract, Sides, SideName);

DspTransportState& ContractTransport() { return MachineState<DspTransportState>(); }

TYPED_TEST(DspLinkContract, ResetIsAcknowledged) {
  TypeParam::Run([] {
    DspAnswer answer;
    EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x60, {0}), &answer), kDspSent);
    EXPECT_EQ(answer.code, 0xC0);
    const pump::DspPacket& rx = ContractTransport().rx;
    EXPECT_EQ(rx.code, 0xC0);
    EXPECT_EQ(rx.length, 1);
    EXPECT_EQ(rx.payload[0], 0x60);
  });
}

TYPED_TEST(DspLinkContract, VersionQueryRepliesWithTheFrontEndsKind) {
  TypeParam::Run([] {
    DspAnswer answer;
    EXPECT_EQ(dsp_send_packet(DspCommand::Query(0x94, 0xCB), &answer), kDspSent);
    EXPECT_EQ(answer.code, 0xCB);
    EXPECT_EQ(answer.reply, (DspReply{2, 0, 36, 0, 49, 0, 0, 0, 6, 0}));
    EXPECT_EQ(ContractTransport().rx.length, 10);
  });
}

TYPED_TEST(DspLinkContract, AnUnregisteredMemoryKeyIsEchoed) {
  TypeParam::Run([] {
    DspAnswer answer;
    EXPECT_EQ(dsp_send_packet(DspCommand::Query(9, 0x14, {0x41, 0x04, 0, 0}), &answer), kDspSent);
    EXPECT_EQ(answer.code, 9);
    EXPECT_EQ(answer.reply, (DspReply{0x41, 0x04, 0, 0}));
  });
}

TYPED_TEST(DspLinkContract, PowerOnRunsTheDispatcherBeforeTheWriteReturns) {
  TypeParam::Run([] {
    // A command left at register 64 without its doorbell.
    dsp_reg_write(pump::kRegCpPacketLength, 0);
    dsp_reg_write(pump::kRegCpPacket, 0x62);
    dsp_power_control(kDspPowerOn);
    EXPECT_EQ(dsp_reg_read(pump::kRegCpPacket), 0);
    const pump::DspPacket& rx = ContractTransport().rx;
    EXPECT_EQ(rx.code, 0xC0);
    EXPECT_EQ(rx.payload[0], 0x62);
  });
}

TEST(DspLinkContractOnFake, Register255CallsBackOnlyWithIrqBit1) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    for (auto [enable, calls] : {std::pair{0x00, 0u}, {0xFD, 0u}, {0x02, 1u}, {0xFF, 1u}}) {
      SCOPED_TRACE("247 = " + std::to_string(enable));
      RigCallbackState& state = MachineState<RigCallbackState>();
      state.calls = 0;
      pump.Page().reg[pump::kRegDpInterrupt] = 0;
      pump.Page().reg[pump::kRegIrqEnable] = static_cast<std::uint8_t>(enable);
      pump.Interrupt();
      EXPECT_EQ(state.calls, calls);
      EXPECT_EQ(pump.Page().reg[pump::kRegDpInterrupt], calls == 0 ? 1 : 0);
    }
  });
}

}  // namespace
}  // namespace vxctl::testing
