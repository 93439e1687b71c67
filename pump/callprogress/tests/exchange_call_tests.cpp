// Calls on a subscriber line of the exchange: vxafe, vxdsp and the test
// controller on one machine, the exchange at the line's far end. The
// exchange's log says which digits it collected from our dialling.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/exchange/exchange.h"
#include "platform/line/line.h"
#include "pump/core/comram.h"
#include "pump/tests/support/dsp_rig.h"
#include "pump/tests/support/key_packets.h"

namespace pump::testing {
namespace {

namespace ex = plat::line::exchange;

constexpr std::uint64_t kMillisecond = plat::hal::kMillisecond;
constexpr char kNumber[] = "2045963";  // a route that rings back for ever

class ExchangeCalls : public DspRig {
 protected:
  void SetUp() override {
    ex::ExchangeConfig config;
    config.routes = {{"2", 7, ex::RouteKind::kNoAnswer}, {"3", 7, ex::RouteKind::kBusy},
                     {"4", 7, ex::RouteKind::kUnassigned}};
    config.subscribers = {{.number = "5551001", .line = &line_}};
    built_ = ex::Exchange::Build(config);
    ASSERT_TRUE(built_.ok()) << built_.error;
    plat::MachineConfig machine;
    machine.line = &line_;
    machine.side = plat::line::Side::kA;
    BootOnVxafe(Controller::kStarted, std::move(machine));
    OnKernelThread([&] {
      TheController().Double().WritePowerState(0xD0);
      TheController().Double().Exchange(0x60, {0});
    });
    sim.RunFor(100 * kMillisecond);
    // Off hook through register 242; dial tone follows.
    OnKernelThread([&] {
      TheController().Host().comram.reg[kRegLineLevelA] &=
          static_cast<std::uint8_t>(~kLineHookRelay);
    });
    sim.RunFor(100 * kMillisecond);
    // Call progress on the taken line; filter 0 a band-pass with poles near
    // 340 and 600 Hz, result bit 1.
    OnKernelThread([&] {
      auto& controller = TheController().Double();
      const auto words = [](std::initializer_list<std::uint16_t> w) {
        std::vector<std::uint8_t> bytes;
        for (std::uint16_t v : w) {
          bytes.push_back(static_cast<std::uint8_t>(v));
          bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        return bytes;
      };
      WriteParam(controller, 0x101D8, words({0x0666, 0xF339, 0x0666, 0xC329, 0x79AE, 0x3FFF, 0xE65E}));
      WriteParam(controller, 0x101DF, words({0x3FFF, 0xC55B, 0x7129, 100, 0x7EB8, 0x0100, 30}));
      WriteParam(controller, 0x101E6, words({20}));
      controller.Exchange(0x65, {0, 0});
    });
    sim.RunFor(900 * kMillisecond);
  }
  void TearDown() override {
    DspRig::TearDown();
    machine_.reset();
  }

  void Send(std::uint8_t code, std::initializer_list<std::uint8_t> payload) {
    OnKernelThread([&] { EXPECT_TRUE(TheController().Double().Post(code, payload)); });
  }

  // What the exchange collected from us: the number and each digit's way.
  std::vector<ex::ExchangeEvent> Digits() { return built_.exchange->log().Of(0, ex::EventKind::kDigit); }
  std::vector<ex::ExchangeEvent> Numbers() {
    return built_.exchange->log().Of(0, ex::EventKind::kNumber);
  }

  plat::line::Line line_;
  ex::Exchange::Built built_;
};

// Dial tone is on in register 57 once the line is taken; the first digit
// stops it.
TEST_F(ExchangeCalls, HearsDialToneInRegister57) {
  std::uint8_t heard = 0;
  OnKernelThread([&] { heard = TheController().Host().comram.reg[kRegEventValue]; });
  EXPECT_EQ(heard, 1);
  Send(0x88, {60, 40});
  Send(0x66, {80, 80, 0, 0, 0, 0});
  Send(0x67, {2});
  sim.RunFor(500 * kMillisecond);
  OnKernelThread([&] { heard = TheController().Host().comram.reg[kRegEventValue]; });
  EXPECT_EQ(heard, 0);
}

// The controller's pacing: each digit once the previous one ended.
TEST_F(ExchangeCalls, CollectsTheNumberWeDialByDtmf) {
  Send(0x88, {60, 40});
  Send(0x66, {80, 80, 0, 0, 0, 0});
  for (const char c : std::string(kNumber)) {
    Send(0x67, {static_cast<std::uint8_t>(c - '0')});
    sim.RunFor(250 * kMillisecond);
  }
  sim.RunFor(1000 * kMillisecond);
  const auto numbers = Numbers();
  ASSERT_EQ(numbers.size(), 1u) << built_.exchange->log().Text();
  EXPECT_EQ(numbers[0].detail, kNumber);
  for (const auto& digit : Digits()) EXPECT_NE(digit.detail.find("dtmf"), std::string::npos);
}

TEST_F(ExchangeCalls, CollectsTheNumberWeDialByPulses) {
  Send(0x66, {60, 40, 1, 0, 0xBC, 0x02});  // 700 ms between digits
  for (const char c : std::string(kNumber)) {
    const int pulses = c == '0' ? 10 : c - '0';
    Send(0x67, {static_cast<std::uint8_t>(c - '0')});
    sim.RunFor(static_cast<std::uint64_t>(pulses * 100 + 750) * kMillisecond);
  }
  sim.RunFor(1000 * kMillisecond);
  const auto numbers = Numbers();
  ASSERT_EQ(numbers.size(), 1u) << built_.exchange->log().Text();
  EXPECT_EQ(numbers[0].detail, kNumber);
  for (const auto& digit : Digits()) EXPECT_NE(digit.detail.find("pulse"), std::string::npos);
}

struct ProgressCase {
  const char* name;
  const char* number;
  int on_ms;  // of the plan's cadence
  int off_ms;
};

void PrintTo(const ProgressCase& c, std::ostream* out) { *out << c.name; }

class ExchangeProgress : public ExchangeCalls,
                         public ::testing::WithParamInterface<ProgressCase> {};

// Register 57 every 10 ms after the number: its on and off stretches follow
// the tone's cadence within a block or two (the detector's attack and decay).
TEST_P(ExchangeProgress, Register57FollowsTheCadence) {
  const ProgressCase& c = GetParam();
  Send(0x88, {60, 40});
  Send(0x66, {80, 80, 0, 0, 0, 0});
  for (const char digit : std::string(c.number)) {
    Send(0x67, {static_cast<std::uint8_t>(digit - '0')});
    sim.RunFor(250 * kMillisecond);
  }
  sim.RunFor(300 * kMillisecond);
  struct Stretch {
    bool on;
    int ms;
  };
  std::vector<Stretch> stretches;
  for (int t = 0; t < 2 * (c.on_ms + c.off_ms) + 1000; t += 10) {
    std::uint8_t now = 0;
    OnKernelThread([&] { now = TheController().Host().comram.reg[kRegEventValue]; });
    const bool on = (now & 1) != 0;
    if (stretches.empty() || stretches.back().on != on) stretches.push_back({on, 0});
    stretches.back().ms += 10;
    sim.RunFor(10 * kMillisecond);
  }
  // The first stretch began before the watch and the last is cut: the
  // others are whole. Each lies within the record's attack or decay (up to
  // four blocks) of the tone's; a cycle, on and off, within a block.
  ASSERT_GE(stretches.size(), 4u) << c.name;
  for (std::size_t i = 1; i + 1 < stretches.size(); ++i) {
    EXPECT_NEAR(stretches[i].ms, stretches[i].on ? c.on_ms : c.off_ms, 40)
        << c.name << " stretch " << i;
    if (i + 2 < stretches.size()) {
      EXPECT_NEAR(stretches[i].ms + stretches[i + 1].ms, c.on_ms + c.off_ms, 10)
          << c.name << " cycle from stretch " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ExchangeProgress,
                         ::testing::Values(ProgressCase{"Busy", "3045963", 500, 500},
                                           ProgressCase{"Reorder", "4045963", 250, 250},
                                           ProgressCase{"Ringback", "2045963", 2000, 4000}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump::testing
