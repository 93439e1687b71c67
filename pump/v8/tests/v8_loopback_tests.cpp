// Our V.8 caller against our V.8 answerer: two machines on one line that
// loses 6 dB each way, delays and echoes, with white noise, each with the
// test-side V.8 controller. The exchange completes when both controllers
// continued with the same mode and both data pumps started it. The table
// runs falling SNRs, each over four line seeds (one call per test, on fresh
// machines), and prints each outcome; at 6 dB and above every exchange must
// complete.
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

// One cell of the table: the line's SNR and its seed.
struct V8LoopbackCall {
  double snr_db;
  std::uint64_t seed;
};

class V8Loopback : public DspRig, public ::testing::WithParamInterface<V8LoopbackCall> {
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
  const V8LoopbackCall& call = GetParam();
  const bool completed = Exchange(call.snr_db, call.seed);
  std::printf("V.8 loopback at %4.0f dB SNR, line seed %llu: %s\n", call.snr_db,
              static_cast<unsigned long long>(call.seed), completed ? "completed" : "failed");
  if (call.snr_db >= 6) {
    EXPECT_TRUE(completed);
  }
}

// Falling SNRs, four line seeds each: the success rate at an SNR is the
// share of its seeds that completed.
constexpr double kV8LoopbackSnrs[] = {20, 6, 0};
constexpr std::uint64_t kV8LoopbackSeeds[] = {11, 12, 13, 14};

std::vector<V8LoopbackCall> V8LoopbackTable() {
  std::vector<V8LoopbackCall> table;
  for (const double snr : kV8LoopbackSnrs) {
    for (const std::uint64_t seed : kV8LoopbackSeeds) table.push_back({snr, seed});
  }
  return table;
}

INSTANTIATE_TEST_SUITE_P(Snr, V8Loopback, ::testing::ValuesIn(V8LoopbackTable()),
                         [](const auto& info) {
                           return std::to_string(static_cast<int>(info.param.snr_db)) + "dBSeed" +
                                  std::to_string(info.param.seed);
                         });

}  // namespace
}  // namespace pump::testing
