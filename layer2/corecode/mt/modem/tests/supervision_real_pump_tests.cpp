// The packets that watch and end a call, sent to the real data pump on a
// booted machine: the rate masks, the retrain and the renegotiation are
// each acknowledged.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "afe/windows/afe_device.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/line/line.h"
#include "platform/machine/machine.h"
#include "pump/driver/dsp_device.h"
#include "pump/tests/support/test_controller.h"

namespace vxctl::testing {
namespace {

TEST(SupervisionRealPump, RetrainRenegotiationAndOptionsAreAcknowledged) {
  plat::line::LineConfig config;
  config.seed = 5;
  plat::line::Line line(config);
  plat::Simulation sim;
  plat::Machine machine(sim, {.name = "A",
                              .drivers = {{u"vxafe", afe::DriverEntry},
                                          {u"vxdsp", pump::DriverEntry},
                                          {u"vxtestctl", pump::testing::TestControllerEntry}},
                              .line = &line,
                              .side = plat::line::Side::kA});
  pump::testing::TestController& controller = pump::testing::TestControllerOf(machine.kernel());
  controller.callback = RigCallback;
  ASSERT_EQ(machine.Boot(), STATUS_SUCCESS);
  ASSERT_TRUE(controller.started());
  struct Sent {
    std::uint8_t code;
    std::vector<std::uint8_t> payload;
    std::uint32_t result = 0;
  };
  std::vector<Sent> sent = {
      {0x64, std::vector<std::uint8_t>(8, 0)}, {0x69, {}}, {0x6B, {21, 0}}};
  ASSERT_TRUE(sim.RunUserThread(machine.kernel(), "test", [&] {
    RunThreads({{16, [&] {
                   dsp_set_comram(&controller.Host().comram);
                   dsp_set_dsp_context(controller.Context());
                   dsp_power_control(0xD0);
                   for (Sent& s : sent) s.result = dsp_send_packet(DspCommand::Ack(s.code, s.payload));
                   dsp_set_dsp_context(nullptr);
                   dsp_set_comram(nullptr);
                 }}});
  }));
  for (const Sent& s : sent) EXPECT_EQ(s.result, kDspSent) << std::hex << int(s.code);
  machine.Shutdown();
}

}  // namespace
}  // namespace vxctl::testing
