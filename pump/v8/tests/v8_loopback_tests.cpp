// Our V.8 caller against our V.8 answerer: two machines on one line that
// loses 6 dB each way, delays and echoes, with white noise, each with the
// test-side V.8 controller. The exchange completes when both controllers
// continued with the same mode and both data pumps started it. The table
// runs falling SNRs and prints the outcome; at 6 dB and above every
// exchange must complete.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/line.h"
#include "pump/core/comram.h"
#include "pump/tests/support/dsp_rig.h"
#include "pump/tests/support/v8_controller.h"

namespace pump::testing {
namespace {

namespace pl = plat::line;
namespace msg = v8msg;

using plat::hal::kMillisecond;
constexpr int kTransmitLevel = -10;
constexpr int kModeV34 = 17;

class V8Loopback : public DspRig, public ::testing::WithParamInterface<double> {
 protected:
  // One call at `snr_db` with line seed `seed`: whether it completed.
  bool Exchange(double snr_db, std::uint64_t seed) {
    pl::LineConfig config;
    config.heard_at = {ImpairedDirection(kTransmitLevel, snr_db),
                       ImpairedDirection(kTransmitLevel, snr_db)};
    config.seed = seed;
    MakeLine(config);
    plat::ke::Kernel* kernels[2] = {&BootOnLineSideA().kernel(), &BootPeerOnLineSideB().kernel()};
    std::unique_ptr<V8Controller> controllers[2];
    msg::Menu menu;
    menu.modulations = msg::kModV34 | msg::kModV21;
    menu.protocols = 0x2A;
    for (int m = 0; m < 2; ++m) {
      OnKernelThread(*kernels[m], [&] {
        TestController& tc = TestControllerOf(*kernels[m]);
        tc.Double().WritePowerState(0xD0);
        tc.Double().Exchange(0x60, {0});
        std::uint8_t& lines = tc.Host().comram.reg[kRegLineLevelA];
        lines = static_cast<std::uint8_t>(lines & ~kLineHookRelay);
        tc.Context()->pending = {};
      });
    }
    sim.RunFor(100 * kMillisecond);
    for (int m = 0; m < 2; ++m) {
      OnKernelThread(*kernels[m], [&] {
        TestController& tc = TestControllerOf(*kernels[m]);
        tc.Context()->transmit_level = kTransmitLevel;
        controllers[m] = std::make_unique<V8Controller>(
            tc.Double(), tc.Host(), V8ControllerConfig{.originate = m == 0, .menu = menu});
        controllers[m]->StartCall();
      });
    }
    bool started[2] = {false, false};
    for (int t = 0; t < 250 && !(started[0] && started[1]); ++t) {
      sim.RunFor(20 * kMillisecond);
      for (int m = 0; m < 2; ++m) {
        OnKernelThread(*kernels[m], [&] {
          controllers[m]->Poll();
          started[m] = TestControllerOf(*kernels[m]).Context()->pending[Pending::kStartPhase2].count != 0;
        });
      }
    }
    const bool done = controllers[0]->done() && controllers[1]->done() &&
                      controllers[0]->mode() == kModeV34 && controllers[1]->mode() == kModeV34;
    OnKernelThread(*kernels[0], [&] { controllers[0].reset(); });
    OnKernelThread(*kernels[1], [&] { controllers[1].reset(); });
    return done && started[0] && started[1];
  }
};

TEST_P(V8Loopback, OurCallerAndAnswererCompleteTheExchange) {
  const double snr = GetParam();
  const bool completed = Exchange(snr, 11);
  std::printf("V.8 loopback at %4.0f dB SNR: %s\n", snr, completed ? "completed" : "failed");
  if (snr >= 6) {
    EXPECT_TRUE(completed);
  }
}

INSTANTIATE_TEST_SUITE_P(Snr, V8Loopback, ::testing::Values(20.0, 6.0, 0.0),
                         [](const auto& info) {
                           return std::to_string(static_cast<int>(info.param)) + "dB";
                         });

}  // namespace
}  // namespace pump::testing
