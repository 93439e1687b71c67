// Calls on a subscriber line of the exchange: vxafe, vxdsp and the test
// controller on one machine, the exchange at the line's far end. The
// exchange's log says which digits it collected from our dialling, and
// when it started each tone it sent us.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <span>
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

using plat::hal::kMillisecond;
constexpr char kNumber[] = "2045963";  // a route that rings back for ever

// An instant (ns) a signal turned on or off.
struct Edge {
  std::uint64_t at;
  bool on;
};

class ExchangeCalls : public DspRig {
 protected:
  void SetUp() override {
    config_.routes = {{"2", 7, ex::RouteKind::kNoAnswer},
                      {"3", 7, ex::RouteKind::kBusy},
                      {"4", 7, ex::RouteKind::kUnassigned}};
    config_.subscribers = {{.number = "5551001", .line = &line_}};
    built_ = ex::Exchange::Build(config_);
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
      WriteParam(controller, 0x101D8,
                 words({0x0666, 0xF339, 0x0666, 0xC329, 0x79AE, 0x3FFF, 0xE65E}));
      WriteParam(controller, 0x101DF, words({0x3FFF, 0xC55B, 0x7129, 100, 0x7EB8, 0x0100, 30}));
      WriteParam(controller, 0x101E6, words({20}));
      controller.Exchange(0x65, {0, 0});
      register57_ = &TheController().Host().comram.reg[kRegEventValue];
      register64_ = &TheController().Host().comram.reg[kRegCpPacket];
    });
    sim.RunFor(900 * kMillisecond);
  }
  void TearDown() override {
    DspRig::TearDown();
    machine_.reset();
  }

  void Send(std::uint8_t code, std::span<const std::uint8_t> payload) {
    OnKernelThread([&] { EXPECT_TRUE(TheController().Double().Post(code, payload)); });
  }
  void Send(std::uint8_t code, std::initializer_list<std::uint8_t> payload) {
    Send(code, std::span<const std::uint8_t>(payload.begin(), payload.size()));
  }

  // What the exchange collected from us: the number and each digit's way.
  std::vector<ex::ExchangeEvent> Digits() {
    return built_.exchange->log().Of(0, ex::EventKind::kDigit);
  }
  std::vector<ex::ExchangeEvent> Numbers() {
    return built_.exchange->log().Of(0, ex::EventKind::kNumber);
  }

  // Runs `ms` in steps of 1 ms, adding the instants register 57's bit 0
  // (filter 0's result bit) turned on or off.
  void Watch57(int ms, std::vector<Edge>& edges) {
    for (int t = 0; t < ms; ++t) {
      sim.RunFor(kMillisecond);
      const bool on = (*register57_ & 1) != 0;
      if (edges.empty() ? on : edges.back().on != on) edges.push_back({sim.Now(), on});
    }
  }

  plat::line::Line line_;
  ex::ExchangeConfig config_;
  ex::Exchange::Built built_;
  // The page lives while the data pump runs; read between runs of the timeline.
  const volatile std::uint8_t* register57_ = nullptr;
  const volatile std::uint8_t* register64_ = nullptr;
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

// ---- Call-progress tones against the exchange's log ------------------------------------

const ex::ToneSpec* ToneNamed(const ex::CountryPlan& plan, const std::string& name) {
  for (const ex::ToneSpec* tone : {&plan.dial, &plan.ringback, &plan.busy, &plan.reorder}) {
    if (tone->name == name) return tone;
  }
  return nullptr;
}

// What the exchange sent us, from its log: each tone it started, played by
// the plan's cadence until the next tone event; the instants the sound
// turned on and off.
std::vector<Edge> SentEdges(const ex::EventLog& log, const ex::CountryPlan& plan,
                            std::uint64_t to) {
  const auto tones = log.Of(0, ex::EventKind::kTone);
  std::vector<Edge> edges;
  const auto turn = [&edges](std::uint64_t at, bool on) {
    if (edges.empty() ? on : edges.back().on != on) edges.push_back({at, on});
  };
  for (std::size_t k = 0; k < tones.size(); ++k) {
    const std::uint64_t until = k + 1 < tones.size() ? tones[k + 1].at : to;
    const ex::ToneSpec* tone = ToneNamed(plan, tones[k].detail);
    if (tone == nullptr) {
      turn(tones[k].at, false);
      continue;
    }
    std::uint64_t at = tones[k].at;
    for (std::size_t s = 0; at < until; s = (s + 1) % tone->segments.size()) {
      turn(at, !tone->segments[s].silent());
      at += tone->segments[s].ms * kMillisecond;
    }
  }
  return edges;
}

// A band-pass record reports a tone within its attack (or decay) after the
// line brought it: the receive path's blocks and the record's energy
// detector, a few blocks.
constexpr std::uint64_t kLongestLag = 60 * kMillisecond;
constexpr std::uint64_t kBlockNs = 10 * kMillisecond;

// Register 57's edges follow the exchange's: each one within kLongestLag of
// its own, none extra, and every on (every off) edge late by the same time
// within a block, so the timeline keeps the exchange's to a block.
void ExpectSameTimeline(const std::vector<Edge>& sent, const std::vector<Edge>& seen,
                        std::uint64_t from, std::uint64_t to) {
  std::array<std::vector<std::uint64_t>, 2> lags;  // off, on
  std::size_t o = 0;
  std::size_t compared = 0;
  for (std::size_t e = 0; e < sent.size(); ++e) {
    if (sent[e].at < from || sent[e].at + kLongestLag > to) continue;
    const std::size_t before = o;
    while (o < seen.size() && seen[o].at < sent[e].at) ++o;
    if (compared > 0) {
      EXPECT_EQ(o, before) << "an edge of our own before " << sent[e].at;
    }
    ASSERT_LT(o, seen.size()) << "nothing seen after the edge at " << sent[e].at;
    EXPECT_EQ(seen[o].on, sent[e].on) << "at " << seen[o].at;
    const std::uint64_t next = e + 1 < sent.size() ? sent[e + 1].at : to;
    EXPECT_LT(seen[o].at, next) << "the edge at " << sent[e].at << " was missed";
    lags[sent[e].on].push_back(seen[o].at - sent[e].at);
    ++compared;
    ++o;
  }
  EXPECT_GE(compared, 4u);
  for (const auto& lag : lags) {
    if (lag.empty()) continue;
    const auto [least, most] = std::minmax_element(lag.begin(), lag.end());
    EXPECT_LE(*most, kLongestLag);
    EXPECT_LE(*most - *least, kBlockNs);
  }
}

struct ProgressCase {
  const char* name;
  const char* number;
  int watch_ms;
};

void PrintTo(const ProgressCase& c, std::ostream* out) { *out << c.name; }

class ExchangeProgress : public ExchangeCalls,
                         public ::testing::WithParamInterface<ProgressCase> {};

// From the dial tone through the number to the tone the route gives:
// register 57 against the exchange's log.
TEST_P(ExchangeProgress, Register57KeepsTheExchangesTimeline) {
  const ProgressCase& c = GetParam();
  const std::uint64_t from = sim.Now();
  Send(0x88, {60, 40});
  Send(0x66, {80, 80, 0, 0, 0, 0});
  std::vector<Edge> seen;
  for (const char digit : std::string(c.number)) {
    Send(0x67, {static_cast<std::uint8_t>(digit - '0')});
    Watch57(250, seen);
  }
  Watch57(c.watch_ms, seen);
  const std::uint64_t to = sim.Now();
  const auto& log = built_.exchange->log();
  ASSERT_EQ(Numbers().size(), 1u) << log.Text();
  ExpectSameTimeline(SentEdges(log, config_.plan, to), seen, from, to);
}

INSTANTIATE_TEST_SUITE_P(Table, ExchangeProgress,
                         ::testing::Values(ProgressCase{"Busy", "3045963", 2200},
                                           ProgressCase{"Reorder", "4045963", 1200},
                                           ProgressCase{"Ringback", "2045963", 8500}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Held packets ----------------------------------------------------------------------

// While a digit runs the data pump leaves every packet but the reset in
// register 64. The controller times each digit itself (DTMF: on + off;
// pulses: (break + make) x pulses + the pause) and posts the next one
// then; the data pump's sequence is longer by its first tick (dialTxInit)
// and, for DTMF, the pause's one tick, and it starts at the next block: so a
// packet is taken `extra_ticks` blocks after the controller's time, less
// the part of a block between the post and that block.
struct HeldCase {
  const char* name;
  std::vector<std::uint8_t> dial;  // 0x66
  std::uint8_t digit;
  std::uint8_t code;  // posted while the digit runs
  std::vector<std::uint8_t> payload;
  int posted_after_ms;  // the digit's 0x67
  int paced_ms;         // the controller's time for the digit
  int extra_ticks;
  const char* way;  // how the exchange collects the digit
};

void PrintTo(const HeldCase& c, std::ostream* out) { *out << c.name; }

class ExchangeHeldPackets : public ExchangeCalls, public ::testing::WithParamInterface<HeldCase> {};

TEST_P(ExchangeHeldPackets, TakenWhenTheDigitEnds) {
  const HeldCase& c = GetParam();
  Send(0x88, {60, 40});
  Send(0x66, c.dial);
  Send(0x67, {c.digit});
  const std::uint64_t digit_posted = sim.Now();
  sim.RunFor(static_cast<std::uint64_t>(c.posted_after_ms) * kMillisecond);
  Send(c.code, c.payload);
  std::uint64_t taken = 0;
  for (int t = 0; t < 3000 && taken == 0; ++t) {
    sim.RunFor(kMillisecond);
    if (*register64_ == 0) taken = sim.Now();
  }
  ASSERT_NE(taken, 0u) << "never taken";
  const std::uint64_t due = digit_posted + static_cast<std::uint64_t>(c.paced_ms) * kMillisecond;
  const std::uint64_t extra = static_cast<std::uint64_t>(c.extra_ticks) * kBlockNs;
  // Polled every 1 ms.
  EXPECT_GT(taken, due + extra - kBlockNs);
  EXPECT_LE(taken, due + extra + kMillisecond);
  sim.RunFor(1000 * kMillisecond);
  const auto digits = Digits();
  ASSERT_FALSE(digits.empty()) << built_.exchange->log().Text();
  EXPECT_EQ(digits[0].detail.substr(0, 1), std::to_string(c.digit % 10));
  EXPECT_NE(digits[0].detail.find(c.way), std::string::npos) << digits[0].detail;
  if (c.dial[2] != 0) {
    // The exchange logged the last make; the make and the pause followed.
    const std::uint64_t make_and_pause =
        static_cast<std::uint64_t>(c.dial[1] + (c.dial[4] | c.dial[5] << 8)) * kMillisecond;
    EXPECT_NEAR(static_cast<double>(taken - digits[0].end), static_cast<double>(make_and_pause),
                static_cast<double>(kBlockNs));
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, ExchangeHeldPackets,
    ::testing::Values(
        //       name                        0x66                        digit, packet   after paced extra way
        HeldCase{"NextDtmfDigit",            {100, 100, 0, 0, 0, 0},     5, 0x67, {6},  200,  200,  2, "dtmf"},
        HeldCase{"NextPulseDigit",           {60, 40, 1, 0, 0xEE, 0x02}, 3, 0x67, {6},  1050, 1050, 1, "pulse"},
        HeldCase{"UnrelatedDuringPulseZero", {60, 40, 1, 0, 0xEE, 0x02}, 0, 0x72, {},   300,  1750, 1, "pulse"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace pump::testing
