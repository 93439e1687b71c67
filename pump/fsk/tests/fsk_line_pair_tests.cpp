// Two of our machines on one simulated line, each end hearing the other
// attenuated, delayed, shifted a few Hz and with white noise (and its own
// hybrid echo): each start type's pair sends random bytes both ways at once
// (the V.23 transmit-only pair one way), 8N1 through the framer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/line.h"
#include "pump/core/comram.h"
#include "pump/fsk/fsk_start.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/tests/support/dsp_rig.h"

namespace pump::testing {
namespace {

namespace pl = plat::line;
using fsk_testing::BitErrors;
using fsk_testing::RandomBytes;

using plat::hal::kMillisecond;
constexpr int kTransmitLevel = -10;  // dBm0

// What one machine starts and sends.
struct End {
  int start_type;
  int direction;  // 1 originate
  std::size_t bytes;
};

struct PairCase {
  const char* name;
  End a;
  End b;
  int lead_ms;  // marks before the bytes: 75 bit/s needs 96 of them
  int run_ms;   // then this long for the bytes to cross
};

const PairCase kPairs[] = {
    {"V21", {kFskV21Data, 1, 40}, {kFskV21Data, 0, 40}, 600, 2000},
    {"Bell103", {kFskBell103Originate, 1, 40}, {kFskBell103Answer, 0, 40}, 600, 2000},
    {"V23 forward and backward (7 and 6)",
     {kFskV23SendForward, 1, 100},
     {kFskV23SendBackward, 1, 10},
     1500,
     2000},
    {"V23 transmit only to receive only (9 to 8)",
     {kFskV23TransmitOnly, 1, 100},
     {kFskV23ReceiveOnly, 1, 0},
     600,
     1200},
};

pl::LineDirectionConfig Heard(double snr_db) {
  pl::LineDirectionConfig config = ImpairedDirection(kTransmitLevel, snr_db);
  config.frequency_offset_hz = 4;
  return config;
}

struct Crossed {
  std::vector<std::uint8_t> sent[2];
  std::vector<std::uint8_t> heard[2];
  std::uint8_t status[2] = {};
};

class FskLinePair : public DspRig {
 protected:
  Crossed Run(const PairCase& c, double snr_db, std::uint64_t seed) {
    pl::LineConfig config;
    config.heard_at = {Heard(snr_db), Heard(snr_db)};
    config.seed = seed;
    MakeLine(config);
    BootOnLineSideA();
    plat::Machine& far = BootPeerOnLineSideB();

    plat::ke::Kernel* kernels[2] = {&kernel(), &far.kernel()};
    const End* ends[2] = {&c.a, &c.b};
    Crossed crossed;
    for (int m = 0; m < 2; ++m) {
      crossed.sent[m] = RandomBytes(ends[m]->bytes, static_cast<std::uint32_t>(seed) + m);
      OnKernelThread(*kernels[m], [&] {
        TestController& controller = TestControllerOf(*kernels[m]);
        controller.Double().WritePowerState(0xD0);
        controller.Double().Exchange(0x60, {0});
        std::uint8_t& lines = controller.Host().comram.reg[kRegLineLevelA];
        lines = static_cast<std::uint8_t>(lines & ~kLineHookRelay);
      });
    }
    sim.RunFor(100 * kMillisecond);
    // The mode start the controller asks for picks these start types.
    for (int m = 0; m < 2; ++m) {
      OnKernelThread(*kernels[m], [&] {
        DspContext& context = *TestControllerOf(*kernels[m]).Context();
        context.call.direction = ends[m]->direction;
        context.transmit_level = kTransmitLevel;
        StartFsk(context, ends[m]->start_type);
      });
    }
    sim.RunFor(static_cast<std::uint64_t>(c.lead_ms) * kMillisecond);
    for (int m = 0; m < 2; ++m) {
      OnKernelThread(*kernels[m], [&] {
        TestControllerOf(*kernels[m]).Double().StreamTx(0, crossed.sent[m]);
      });
    }
    sim.RunFor(static_cast<std::uint64_t>(c.run_ms) * kMillisecond);
    for (int m = 0; m < 2; ++m) {
      OnKernelThread(*kernels[m], [&] {
        TestController& controller = TestControllerOf(*kernels[m]);
        for (const auto& block : controller.Double().RxBlocks()) {
          crossed.heard[1 - m].insert(crossed.heard[1 - m].end(), block.data.begin(),
                                      block.data.end());
        }
        crossed.status[m] = controller.Host().comram.reg[kRegStatus];
      });
    }
    return crossed;
  }
};

void PrintTo(const PairCase& c, std::ostream* out) { *out << c.name; }

std::string TestName(const PairCase& c) {
  std::string name;
  for (const char* p = c.name; *p != 0 && *p != ' '; ++p) name += *p;
  return name + "_" + std::to_string(c.a.start_type) + "_" + std::to_string(c.b.start_type);
}

class FskLoopback : public FskLinePair, public ::testing::WithParamInterface<PairCase> {};

TEST_P(FskLoopback, TwoMachinesAreErrorFreeBothWaysAt20DbSnr) {
  const PairCase& c = GetParam();
  const Crossed crossed = Run(c, 20, 7);
  EXPECT_EQ(crossed.heard[0], crossed.sent[0]) << "A to B";
  EXPECT_EQ(crossed.heard[1], crossed.sent[1]) << "B to A";
  // Whoever hears a carrier reports the connection with it.
  const End* ends[2] = {&c.a, &c.b};
  for (int m = 0; m < 2; ++m) {
    if (ends[1 - m]->bytes == 0) continue;
    EXPECT_EQ(crossed.status[m] & (kStatusCodeMask | kStatusCarrier),
              kStatusConnected | kStatusCarrier)
        << "machine " << m;
  }
}

INSTANTIATE_TEST_SUITE_P(Pairs, FskLoopback, ::testing::ValuesIn(kPairs),
                         [](const auto& info) { return TestName(info.param); });

// Bit errors against SNR (noise over the whole band; lost bytes count 8
// errors each), both ways at once. The bound: at 6 dB and above at most 1
// bit in 100; below it the table only shows where the receivers give up.
class FskLoopbackSnr : public FskLinePair,
                       public ::testing::WithParamInterface<std::tuple<PairCase, double>> {};

TEST_P(FskLoopbackSnr, BitErrorRateStaysUnderTheBound) {
  const auto& [c, snr] = GetParam();
  const Crossed crossed = Run(c, snr, 11);
  std::size_t bits = 0;
  std::size_t errors = 0;
  for (int way = 0; way < 2; ++way) {
    bits += 8 * crossed.sent[way].size();
    errors += BitErrors(crossed.sent[way], crossed.heard[way]);
  }
  const double ber = static_cast<double>(errors) / static_cast<double>(bits);
  std::printf("%-45s %4.0f dB SNR: bit error rate %.4f\n", c.name, snr, ber);
  if (snr >= 6) {
    EXPECT_LE(ber, 0.01);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, FskLoopbackSnr,
                         ::testing::Combine(::testing::ValuesIn(kPairs),
                                            ::testing::Values(0.0, 3.0, 6.0, 10.0, 15.0)),
                         [](const auto& info) {
                           return TestName(std::get<0>(info.param)) + "_" +
                                  std::to_string(static_cast<int>(std::get<1>(info.param))) +
                                  "dB";
                         });

}  // namespace
}  // namespace pump::testing
