// What the handshakes do with a line that carries no modem: seeded noise at
// several levels, and the exchange's ringback and busy tones in their
// cadences. A caller listens on without starting a modem; an answerer's
// V.32 tone is not cut short and its automode does not take noise for AA.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/line/exchange/plan.h"
#include "pump/handshake/handshake.h"
#include "pump/handshake/tests/handshake_rig.h"

namespace pump::handshake_test {
namespace {

namespace ex = plat::line::exchange;

struct Caller {
  const char* name;
  Call call;
};

// clang-format off
const Caller kCallers[] = {
    {"Bell103", {.mode = 0, .direction = 1}},
    {"V21", {.mode = 2, .direction = 1}},
    {"V23", {.mode = 4, .direction = 1}},
    {"V22bis", {.mode = 7, .direction = 1}},
    {"V32", {.mode = 12, .direction = 1}},
    {"Automode", {.mode = 12, .direction = 1, .selector = 1}},
};
// clang-format on

// The modem a run started, if any, for the failure message.
std::string Started(const DspContext& c) {
  if (FskStarted(c) >= 0) return "FSK type " + std::to_string(FskStarted(c));
  if (V22Started(c)) return "V.22";
  if (V32Started(c) != 0) return "StartV32";
  return "";
}

// The far end for 5 s.
std::string CallerRun(const Call& call, std::vector<Stretch> far_end) {
  std::string started;
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, call);
    FarEnd far(std::move(far_end));
    Hear(harness, far, 500, [](const DspContext& c) { return !Started(c).empty(); });
    started = Started(harness.Context());
  });
  return started;
}

TEST(HandshakeNoise, NoCallerStartsAModemOnNoise) {
  for (const Caller& caller : kCallers) {
    for (const double dbm0 : {-45.0, -30.0, -15.0}) {
      for (const std::uint64_t seed : {1u, 2u}) {
        SCOPED_TRACE(std::string(caller.name) + " at " + std::to_string(dbm0) + " dBm0, seed " +
                     std::to_string(seed));
        EXPECT_EQ(CallerRun(caller.call, {{Noise(seed, dbm0), 5000}}), "");
      }
    }
  }
}

// The cadence of a plan's tone, repeated for 5 s.
std::vector<Stretch> Cadence(const ex::ToneSpec& tone) {
  std::vector<Stretch> stretches;
  for (std::uint32_t ms = 0; ms < 5000;) {
    for (const ex::ToneSegment& segment : tone.segments) {
      const int f1 = static_cast<int>(segment.hz[0]);
      const int f2 = static_cast<int>(segment.hz[1]);
      const auto level = static_cast<int>(tone.dbm0);
      stretches.push_back(
          {segment.silent() ? nullptr : Tone(f1, f2, level), static_cast<int>(segment.ms)});
      ms += segment.ms;
    }
  }
  return stretches;
}

TEST(HandshakeNoise, NoCallerStartsAModemOnRingbackOrBusy) {
  for (const ex::CountryPlan& plan : {ex::UsPlan(), ex::EuropeanPlan()}) {
    for (const ex::ToneSpec* tone : {&plan.ringback, &plan.busy}) {
      for (const Caller& caller : kCallers) {
        SCOPED_TRACE(plan.name + " " + tone->name + ", " + caller.name);
        EXPECT_EQ(CallerRun(caller.call, Cadence(*tone)), "");
      }
    }
  }
}

// Noise during the answer tone: the V.32 answerer's tone runs its whole
// 2.7 s, and the automode answerer answers V.22bis, not V.32.
TEST(HandshakeNoise, AnswerersTakeNoNoiseForAa) {
  for (const double dbm0 : {-45.0, -30.0, -15.0}) {
    SCOPED_TRACE(dbm0);
    PumpHarness harness;
    harness.Run([&] {
      BeginCall(harness, {.mode = 12, .direction = 0});
      const std::size_t first = harness.Afe().LineOutput().size();
      FarEnd far({{Noise(3, dbm0), 4000}});
      Hear(harness, far, 300, [](const DspContext& c) { return !Started(c).empty(); });
      EXPECT_NEAR(ToneBlocks(harness.Afe().LineOutput(), first), kAnswerToneTicks, 1);
    });
    PumpHarness automode;
    automode.Run([&] {
      BeginCall(automode, {.mode = 12, .direction = 0, .selector = 1});
      FarEnd far({{Noise(4, dbm0), 4000}});
      Hear(automode, far, 300, [](const DspContext& c) { return !Started(c).empty(); });
      EXPECT_EQ(Started(automode.Context()), "V.22");
    });
  }
}

}  // namespace
}  // namespace pump::handshake_test
