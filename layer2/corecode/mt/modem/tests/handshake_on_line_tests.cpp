// Two machines on one line, each with the real front end, data pump and
// the modem task: A originates a V.22bis call and B answers it through
// ModemTask_StartConnect; both connect, and the queries report V.22bis at
// 2400 bit/s both ways on both sides.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "afe/windows/afe_device.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/lines/relays.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/dial_packets.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem/handshake.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/hal/instant.h"
#include "platform/line/line.h"
#include "platform/machine/machine.h"
#include "pump/driver/dsp_device.h"
#include "pump/tests/support/test_controller.h"

namespace vxctl::testing {
namespace {

constexpr std::uint8_t kV22bis = 7;
constexpr std::uint64_t kStepMs = 50;
constexpr std::uint64_t kConnectLimitMs = 8000;

// One machine of the call: booted with vxafe, vxdsp and the test
// controller on its side of the line, the link pointed at its data pump.
class CallMachine {
 public:
  CallMachine(plat::Simulation& sim, plat::line::Line& line, plat::line::Side side, const char* name)
      : sim_(sim),
        machine_(sim, {.name = name,
                       .drivers = {{u"vxafe", afe::DriverEntry},
                                   {u"vxdsp", pump::DriverEntry},
                                   {u"vxtestctl", pump::testing::TestControllerEntry}},
                       .line = &line,
                       .side = side}) {}

  bool Boot() {
    pump::testing::TestController& controller = pump::testing::TestControllerOf(machine_.kernel());
    controller.callback = RigCallback;
    if (machine_.Boot() != STATUS_SUCCESS || !controller.started()) return false;
    return On([&] {
      dsp_set_comram(&controller.Host().comram);
      dsp_set_dsp_context(controller.Context());
    });
  }

  // Runs `body` on a controller thread of the machine until it returns.
  bool On(const std::function<void()>& body) {
    return sim_.RunUserThread(machine_.kernel(), "test", [&] { RunThreads({{16, body}}); });
  }

  void Shutdown() {
    On([] {
      dsp_set_dsp_context(nullptr);
      dsp_set_comram(nullptr);
    });
    machine_.Shutdown();
  }

 private:
  plat::Simulation& sim_;
  plat::Machine machine_;
};

// The call's start as the command interpreter makes it for "+MS=V22B":
// the data pump reset, the line taken, V.22bis at most 2400 bit/s.
void StartV22bisCall(bool originate) {
  dsp_power_control(0xD0);
  ModemTask_DspResetForDial();
  LS_init();
  CTY_load_default_record();  // the relay sequences come from the country record
  LineServicesState& services = MachineState<LineServicesState>();
  MK_dispatch(&services.kernel);
  ModemTask_SetHook(true);
  MK_dispatch(&services.kernel);
  MK_clock_advance(&services.kernel, 100);  // the country's seize time
  LS_poll();
  AcuCallSettings& settings = acu_call_settings();
  settings.originate = originate ? 1 : 0;
  settings.min_tx_rate = settings.min_rx_rate = 1200;
  settings.max_tx_rate = settings.max_rx_rate = 2400;
  MachineState<ModemTaskState>().requested_modulation = kV22bis;
  ModemTask_StartConnect();
}

struct SideView {
  std::uint8_t state = 0;
  std::uint8_t connection_state = 0;
  std::uint8_t modulation = 0;
  std::uint16_t tx = 0;
  std::uint16_t rx = 0;
  std::string last_trace;
};

SideView View() {
  const ModemTaskState& task = MachineState<ModemTaskState>();
  SideView view{task.state, task.connection_state, task.modulation, task.tx_rate, task.rx_rate, {}};
  const EventTraceRing& trace = modem_event_trace();
  if (trace.head != trace.tail) {
    view.last_trace = trace.entries[(trace.head + EventTraceRing::kEntries - 1) % EventTraceRing::kEntries]
                          .text.data();
  }
  return view;
}

TEST(HandshakeOnLine, V22bisCallConnectsAndBothSidesReport2400) {
  plat::line::LineConfig config;
  config.seed = 11;
  plat::line::Line line(config);
  plat::Simulation sim;
  auto a = std::make_unique<CallMachine>(sim, line, plat::line::Side::kA, "A");
  auto b = std::make_unique<CallMachine>(sim, line, plat::line::Side::kB, "B");
  ASSERT_TRUE(a->Boot());
  ASSERT_TRUE(b->Boot());

  std::array<SideView, 2> views;
  ASSERT_TRUE(a->On([&] {
    StartV22bisCall(true);
    views[0] = View();
  }));
  ASSERT_TRUE(b->On([&] {
    StartV22bisCall(false);
    views[1] = View();
  }));
  EXPECT_EQ(views[0].state, kTaskOriginating);
  EXPECT_EQ(views[1].state, kTaskAnswering);

  // The modem task's step on each side every 50 ms until both connect.
  bool connected = false;
  for (std::uint64_t ms = 0; ms < kConnectLimitMs && !connected; ms += kStepMs) {
    sim.RunFor(kStepMs * plat::hal::kMillisecond);
    a->On([&] {
      ModemTask_Process();
      views[0] = View();
    });
    b->On([&] {
      ModemTask_Process();
      views[1] = View();
    });
    connected = views[0].connection_state == kCodeConnected &&
                views[1].connection_state == kCodeConnected;
  }
  ASSERT_TRUE(connected) << "connection states " << int{views[0].connection_state} << " and "
                         << int{views[1].connection_state};

  // The monitor queried both at the connect; asked again, the same.
  for (CallMachine* side : {a.get(), b.get()}) {
    const std::size_t i = side == a.get() ? 0 : 1;
    SCOPED_TRACE(i == 0 ? "originating A" : "answering B");
    EXPECT_EQ(views[i].state, kTaskConnected);
    EXPECT_EQ(views[i].modulation, kV22bis);
    EXPECT_EQ(views[i].tx, 2400);
    EXPECT_EQ(views[i].rx, 2400);
    EXPECT_EQ(views[i].last_trace, "Connected V22BIS TX=2400 RX=2400");
    side->On([&] {
      ModemTask_QueryModulation();
      ModemTask_QueryRates();
      views[i] = View();
    });
    EXPECT_EQ(views[i].modulation, kV22bis);
    EXPECT_EQ(views[i].tx, 2400);
    EXPECT_EQ(views[i].rx, 2400);
  }
  a->Shutdown();
  b->Shutdown();
}

}  // namespace
}  // namespace vxctl::testing
