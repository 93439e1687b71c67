// Whether the carrier counts as present, by the call's state and settings,
// and the loss-of-carrier hold-off over virtual 10 ms ticks.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "controller/acu/acu_settings.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/retrain.h"
#include "layer2/corecode/mt/modem/tests/modem_task_testing.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/services/fax_voice.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

constexpr std::uint8_t kCarrierFlag = 1u << 4;  // register 54

// The task in `state` with `code` taken, on modulation `m`, with the
// data pump's carrier bit as given.
void CarrierCall(FakeDataPump& pump, std::uint8_t state, std::uint8_t code, std::uint8_t m,
                 bool carrier) {
  PutTask(pump, state, code);
  pump.SetRegister(54, static_cast<std::uint8_t>(code | (carrier ? kCarrierFlag : 0)));
  MachineState<ModemTaskState>().modulation = m;
  MachineState<ModemTaskState>().carrier_loss_delay = 14;
}

TEST(CarrierPresent, ByCallStateAndSettings) {
  struct Case {
    const char* name;
    std::uint8_t state, code, m;
    bool carrier;
    std::function<void()> setup;
    bool present;
  };
  const auto fax = [] { fax_class() = 1; };
  const auto loopback_test = [] { acu_call_settings().test_mode = 3; };
  const auto no_recovery = [] { acu_call_settings().auto_retrain = 0; };
  const auto bad_line = [] { MachineState<RetrainState>().last_quality = 3; };
  const Case cases[] = {
      {"fax class: the bit, set", 3, 8, 14, true, fax, true},
      {"fax class: the bit, clear", 3, 2, 14, false, fax, false},
      {"fax class overrides 255", 3, 2, 14, false,
       [=] {
         fax();
         MachineState<ModemTaskState>().carrier_loss_delay = 255;
       },
       false},
      {"loopback code: the bit", 3, 5, 18, false, [] {}, false},
      {"carrier loss ignored", 0, 0, 18, false,
       [] { MachineState<ModemTaskState>().carrier_loss_delay = 255; }, true},
      {"handshake", 1, 1, 18, false, [] {}, true},
      {"idle task", 0, 2, 18, true, [] {}, false},
      {"line idle", 3, 0, 18, true, [] {}, false},
      {"retraining", 8, 3, 7, false, [] {}, true},
      {"renegotiating", 17, 13, 7, false, [] {}, true},
      {"V.22bis, loopback test: the bit", 3, 2, 7, false, loopback_test, false},
      {"V.22bis, carrier", 3, 2, 7, true, [] {}, true},
      {"V.22bis, no carrier, no hold-off", 3, 2, 7, false, [] {}, false},
      {"V.90", 3, 2, 23, false, [] {}, true},
      {"V.34 with %E", 3, 2, 18, false, bad_line, true},
      {"V.34 without recovery, good line", 3, 2, 18, false, no_recovery, true},
      {"V.34 without recovery, bad line: timer started", 3, 2, 18, true,
       [=] {
         no_recovery();
         bad_line();
       },
       true},
      {"V.34 without recovery, bad line outlasted", 3, 2, 18, true,
       [=] {
         no_recovery();
         bad_line();
         MachineState<RetrainState>().bad_line_timer = 1;
       },
       false},
      {"V.34, renegotiation permitted, bad line", 3, 2, 18, true,
       [=] {
         no_recovery();
         bad_line();
         MachineState<RetrainState>().bad_line_timer = 1;
         MachineState<RetrainState>().reneg_permitted = 1;
       },
       true},
      {"V.34, V.80 link, bad line outlasted", 3, 2, 18, true,
       [=] {
         bad_line();
         acu_call().link_kind = kLinkV80;
         MachineState<RetrainState>().bad_line_timer = 1;
       },
       false},
      {"V.34 without recovery, loopback test", 3, 2, 18, true,
       [=] {
         no_recovery();
         bad_line();
         loopback_test();
         MachineState<RetrainState>().bad_line_timer = 1;
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      CarrierCall(pump, c.state, c.code, c.m, c.carrier);
      c.setup();
      EXPECT_EQ(ModemTask_CarrierPresent(), c.present);
    });
  }
}

// S10 = 14 holds a V.22bis carrier through a drop shorter than 1.4 s.
TEST(CarrierPresent, LossOfCarrierHoldOff) {
  for (const int drop_ticks : {130, 150}) {
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      CarrierCall(pump, kTaskConnected, kCodeConnected, 7, true);
      ASSERT_TRUE(ModemTask_CarrierPresent());
      pump.SetRegister(54, kCodeConnected);
      bool present = true;
      for (int t = 0; t < drop_ticks; ++t) {
        ModemTask_Tick10ms();
        present = ModemTask_CarrierPresent();
      }
      EXPECT_EQ(present, drop_ticks < 140) << drop_ticks;
      pump.SetRegister(54, kCodeConnected | kCarrierFlag);
      EXPECT_TRUE(ModemTask_CarrierPresent()) << "back";
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
