// The register page's access layer: the link sequences as the data pump
// sees them at each doorbell, which writes ring the data pump, binding,
// and the registers the layer reads for others.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "pump/core/host_interface.h"

namespace vxctl::testing {
namespace {

// The registers the sequences write.
struct LinkRegisters {
  std::uint8_t r66, r246, r247, r252;
  bool operator==(const LinkRegisters&) const = default;
};

LinkRegisters Read(const pump::Comram& page) {
  return {page.reg[66], page.reg[246], page.reg[247], page.reg[252]};
}

void PrintTo(const LinkRegisters& r, std::ostream* os) {
  *os << "{66=" << int(r.r66) << " 246=" << int(r.r246) << " 247=" << int(r.r247)
      << " 252=" << int(r.r252) << "}";
}

TEST(DspLinkSequences, RingTheDataPumpWithTheirRegistersInOrder) {
  struct Case {
    const char* name;
    std::function<void()> run;
    std::vector<LinkRegisters> at_doorbells;
    LinkRegisters after;
  };
  // Before each: 66 = 0x10, 246 = 0x80, 247 = 0x01, 252 = 0xD0.
  const std::vector<Case> cases = {
      {"start", [] { dsp_link_start(); }, {}, {0x10, 0x81, 0x02, 0xD0}},
      {"restart",
       [] { EXPECT_EQ(dsp_link_restart(), 0u); },
       {{0x10, 0x80, 0x01, 2}, {0x01, 0x81, 0x00, 1}},
       {0x01, 0x81, 0x00, 1}},
      {"reset",
       [] { dsp_link_reset(); },
       {{0x10, 0x81, 0x01, 2}, {0x01, 0x81, 0x01, 1}},
       {0x01, 0x81, 0x01, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      for (auto [reg, value] : {std::pair{66, 0x10}, {246, 0x80}, {247, 0x01}, {252, 0xD0}}) {
        pump.Page().reg[reg] = static_cast<std::uint8_t>(value);
      }
      c.run();
      std::vector<LinkRegisters> seen;
      for (const FakeDoorbell& bell : pump.Doorbells()) seen.push_back(Read(bell.page));
      EXPECT_EQ(seen, c.at_doorbells);
      EXPECT_EQ(Read(pump.Page()), c.after);
    });
  }
}

TEST(DspLinkSequences, StartSetsTheLinkLevelAndResetEmptiesTheOverlayRing) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    dsp_link_start();
    EXPECT_EQ(MachineState<DspLinkState>().link_level, kDspLinkLevelStarted);
    ASSERT_TRUE(pump.Post(0xD6, {17, 0}));
    DspOverlayRing& ring = MachineState<DspTransportState>().overlay;
    ASSERT_EQ(ring.Used(), 2u);
    dsp_link_reset();
    EXPECT_EQ(ring.Used(), 0u);
  });
}

TEST(DspLinkSequences, OnlyRegisters252And254RingTheDataPump) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    for (int reg = 0; reg < 256; ++reg) {
      if (reg == 252 || reg == 254) continue;
      const auto value = static_cast<std::uint8_t>(reg ^ 0xA5);
      dsp_reg_write(reg, value);
      EXPECT_EQ(dsp_reg_read(reg), value) << "register " << reg;
    }
    EXPECT_TRUE(pump.Doorbells().empty());
    const pump::Comram before = pump.Page();
    dsp_reg_write(256, 1);
    EXPECT_EQ(dsp_reg_read(256), 0);
    EXPECT_TRUE(std::equal(std::begin(before.reg), std::end(before.reg), pump.Page().reg));

    dsp_reg_write(252, 0xD1);
    ASSERT_EQ(pump.Doorbells().size(), 1u);
    EXPECT_EQ(pump.Doorbells()[0].page.reg[252], 0xD1);
    dsp_reg_write(254, 1);
    EXPECT_EQ(pump.Doorbells().size(), 2u);
  });
}

TEST(DspLinkSequences, DoorbellsBeforeBindingOnlyStore) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    pump.Unbind();
    dsp_reg_write(252, 0xD0);  // no page yet: nothing happens
    EXPECT_EQ(dsp_reg_read(252), 0);
    EXPECT_EQ(pump.Page().reg[252], 0);

    dsp_set_comram(&pump.Page());  // the page, but no wake argument yet
    dsp_reg_write(252, 0xD0);
    dsp_reg_write(254, 1);
    EXPECT_EQ(pump.Page().reg[252], 0xD0);
    EXPECT_EQ(pump.Page().reg[254], 1);
    EXPECT_TRUE(pump.Doorbells().empty());

    dsp_set_dsp_context(pump.Token());
    dsp_reg_write(252, 0xD3);
    EXPECT_EQ(pump.Doorbells().size(), 1u);
  });
}

TEST(DspLinkSequences, IrqEnabledReadsBitOneAlone) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    for (auto [value, enabled] : {std::pair{0x00, false},
                                  {0x02, true},
                                  {0x01, false},
                                  {0xFD, false},
                                  {0x03, true},
                                  {0xFF, true}}) {
      pump.Page().reg[247] = static_cast<std::uint8_t>(value);
      EXPECT_EQ(dsp_irq_enabled(), enabled) << "247 = " << value;
    }
    dsp_irq_enable();
    EXPECT_EQ(pump.Page().reg[247], pump::kIrqEnableDpInterrupt);
  });
}

TEST(DspLinkSequences, LineBankChangesKeepTheDataPumpsBits) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    // The data pump set the hook relay bit at start and now marks the local
    // phone off hook (bit 1 := 0) between the controller's changes.
    ASSERT_EQ(pump.Page().reg[242], pump::kLineHookRelay);
    pump::SetLocalPhoneBit(pump.Host(), false);
    dsp_reg_set_bits(242, pump::kLineSpeakerRelay);
    pump::SetLocalPhoneBit(pump.Host(), true);
    dsp_reg_clear_bits(242, pump::kLineHookRelay);
    EXPECT_EQ(pump.Page().reg[242], pump::kLineSpeakerRelay);
    dsp_reg246_set_bit0();
    dsp_reg246_set_bit0();
    EXPECT_EQ(pump.Page().reg[246], 0x01);
  });
}

TEST(DspLinkSequences, StatusAndEventRegistersAsTheDataPumpWroteThem) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    pump.SetRegister(pump::kRegStatus, pump::kStatusConnected | pump::kStatusCarrier);
    pump.SetRegister(pump::kRegEventType, 0x21);
    pump.SetRegister(pump::kRegEventValue, 0x42);
    EXPECT_EQ(ModemTask_ReadDspStatus(), pump::kStatusConnected | pump::kStatusCarrier);
    EXPECT_EQ(ModemTask_ReadDspEventValue(), 0x42);
    EXPECT_EQ(MachineState<ModemTaskState>().latest_event_type, 0);
    EXPECT_EQ(ModemTask_ReadDspEventType(), 0x21);
    EXPECT_EQ(MachineState<ModemTaskState>().latest_event_type, 0x21);
  });
}

}  // namespace
}  // namespace vxctl::testing
