// The relays: each one's bit of register 242 and read-back, the hook
// relay's burst tuning and status bit, the caller-ID relay on class-2 front
// ends, the local phone, and the data pump's local-phone bit kept while the
// controller drives relays.
#include <gtest/gtest.h>

#include <string>

#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/mt/dsp/hardware_kind.h"
#include "layer2/corecode/mt/lines/relays.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

std::uint32_t RelayStatusWord() { return MachineState<ModemTaskState>().status_word.load(); }

struct RelayRow {
  const char* name;
  void (*set)(std::uint8_t);
  bool (*on)();  // the read-back; null for the hook relay
  std::uint8_t bit;
};

bool HookReadBack() { return (RelayStatusWord() & kStatusOffHook) != 0; }

const RelayRow kRelayRows[] = {
    {"hook", daa_set_hook_relay, HookReadBack, 0x04},
    {"speaker/handset", daa_set_spk_hs_relay, daa_spk_hs_relay_on, 0x10},
    {"voice", daa_set_voice_relay, daa_voice_relay_on, 0x40},
    {"caller ID", daa_set_cid_relay, daa_cid_relay_on, 0x80},
};

// Each relay changes only its own bit: the data pump's local-phone bit (1)
// and the other relays keep what they were, whichever that is.
TEST(Relays, EachRelayDrivesItsBitOf242AtZeroWhenOn) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    for (const std::uint8_t before : {std::uint8_t{0xFF}, std::uint8_t{0xFD}}) {
      for (const RelayRow& row : kRelayRows) {
        SCOPED_TRACE(std::string(row.name) + ", 242 was " + std::to_string(before));
        pump.Page().reg[240] = 0;
        pump.Page().reg[242] = before;
        pump.Page().reg[243] = 0xFF;
        row.set(1);
        EXPECT_EQ(pump.Page().reg[242], before & ~row.bit);
        EXPECT_EQ(pump.Page().reg[240], row.bit) << "the line is an output";
        EXPECT_EQ(pump.Page().reg[243], 0xFF & ~row.bit);
        EXPECT_TRUE(row.on());
        // Any value but 1 switches the relay off.
        for (const std::uint8_t off : {std::uint8_t{0}, std::uint8_t{2}}) {
          row.set(1);
          row.set(off);
          EXPECT_EQ(pump.Page().reg[242], before);
          EXPECT_FALSE(row.on());
        }
      }
    }
  });
}

TEST(Relays, TheHookRelayTunesTheBurstsByServiceClass) {
  struct Row {
    std::uint8_t fclass;
    std::uint8_t burst_off_hook;  // after going off hook from mode 0
  };
  const Row rows[] = {{0, 3}, {1, 4}, {8, 4}, {2, 0}, {20, 0}};
  DspLinkRig rig;
  rig.Run([&](FakeDataPump&) {
    for (const Row& row : rows) {
      SCOPED_TRACE("class " + std::to_string(row.fclass));
      acu_fclass() = row.fclass;
      task_burst_set(0);
      daa_set_hook_relay(1);
      EXPECT_EQ(task_thread_state().burst_mode, row.burst_off_hook);
      daa_set_hook_relay(0);
      EXPECT_EQ(task_thread_state().burst_mode, 2);
    }
  });
}

TEST(Relays, TheCallerIdRelayIsNotDrivenOnClassTwoFrontEnds) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    for (const LineInterfaceClass line_class : {0, 1, 2}) {
      SCOPED_TRACE("class " + std::to_string(line_class));
      hardware_kind_state().line_interface_class = line_class;
      pump.Page().reg[240] = 0x11;
      pump.Page().reg[242] = 0xF6;
      pump.Page().reg[243] = 0x88;
      daa_set_cid_relay(1);
      if (line_class == 2) {
        EXPECT_EQ(pump.Page().reg[240], 0x11);
        EXPECT_EQ(pump.Page().reg[242], 0xF6);
        EXPECT_EQ(pump.Page().reg[243], 0x88);
      } else {
        EXPECT_EQ(pump.Page().reg[240], 0x91);
        EXPECT_EQ(pump.Page().reg[242], 0x76);
        EXPECT_EQ(pump.Page().reg[243], 0x08);
      }
    }
  });
}

TEST(Relays, TheLocalPhoneIsOffHookOnlyWhereTheFrontEndReportsIt) {
  struct Row {
    std::uint8_t gpio_lpohd;
    std::uint8_t reg242;
    bool off_hook;
  };
  const Row rows[] = {{1, 0xFD, true}, {1, 0xFF, false}, {0, 0xFD, false}, {0, 0xFF, false},
                      {7, 0x00, true}};
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    for (const Row& row : rows) {
      reg_settings().features.gpio_lpohd = row.gpio_lpohd;
      pump.Page().reg[242] = row.reg242;
      EXPECT_EQ(daa_local_phone_off_hook(), row.off_hook)
          << "gpio_lpohd " << int(row.gpio_lpohd) << ", 242 = " << int(row.reg242);
    }
  });
}

}  // namespace
}  // namespace vxctl::testing
