// Ringing: the cadence on the called line, its stop at the answer, and every
// caller-ID standard and timing, decoded at the called port by spandsp's
// adsi_rx into the bytes its standard lays out.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/line/exchange/tests/exchange_rig.h"
#include "platform/line/peers/spandsp_link.h"

namespace plat::line::exchange::testing {
namespace {

// Where the ringing at a line's side A changed, each ms from 0 to `to_ms`.
std::vector<std::pair<std::int64_t, bool>> RingChanges(const Line& line, std::int64_t to_ms) {
  std::vector<std::pair<std::int64_t, bool>> changes;
  bool ringing = false;
  for (std::int64_t ms = 0; ms <= to_ms; ++ms) {
    const bool now = line.Conditions(Side::kA, NsOfMs(ms)).ringing;
    if (now != ringing) changes.push_back({ms, now});
    ringing = now;
  }
  return changes;
}

// US ringing is 2 s on, 4 s off from the instant the number is complete, and
// stops at the answer.
TEST(ExchangeRinging, RingsTwoOnFourOffUntilTheAnswer) {
  Rig rig(2);
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002");
  rig.phone(1).Wait(14'100).OffHook();
  rig.RunTo(16'000);
  const auto changes = RingChanges(rig.phone(1).line, 16'000);
  ASSERT_EQ(changes.size(), 6u) << exchange.log().Text();
  // The last digit's tone starts at 1100 ms; the receiver takes it within three blocks.
  const std::int64_t first = changes[0].first;
  EXPECT_GE(first, 1100);
  EXPECT_LE(first, 1100 + 40);
  const std::int64_t expected[] = {0, 2000, 6000, 8000, 12'000};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(changes[i].first - first, expected[i]) << "change " << i;
    EXPECT_EQ(changes[i].second, i % 2 == 0);
  }
  // The set goes off hook at 14100 ms; 20 ms later that is an answer.
  EXPECT_EQ(changes[5].first, 14'120);
  EXPECT_FALSE(changes[5].second);
  ASSERT_EQ(exchange.log().Of(1, EventKind::kAnswer).size(), 1u);
}

std::vector<std::uint8_t> Text(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The caller is 5551001, named "CALLER 1", on 1 January at 00:00.
const std::vector<std::uint8_t> kSdmf =
    Concat({{0x04, 0x0F}, Text("01010000"), Text("5551001")});
const std::vector<std::uint8_t> kMdmf = Concat({{0x80, 0x1D, 0x01, 0x08},
                                                Text("01010000"),
                                                {0x02, 0x07},
                                                Text("5551001"),
                                                {0x07, 0x08},
                                                Text("CALLER 1")});
// spandsp delivers JCLIP's frame without parity and CRC, which it checked.
const std::vector<std::uint8_t> kJclip =
    Concat({{0x10, 0x01, 0x07, 0x10, 0x02, 0x40, 0x09, 0x02, 0x07}, Text("5551001"), {0x10, 0x03}});

struct CallerIdCase {
  const char* what;
  CallerId kind;
  CallerIdTime time;
  int standard;  // spandsp's
  std::vector<std::uint8_t> message;
};

// The first and one past the last sample of sound in [from, to).
std::pair<std::int64_t, std::int64_t> SoundSpan(const std::vector<std::int16_t>& heard,
                                                std::int64_t from, std::int64_t to) {
  const auto stretches = SoundStretches(heard, from, to, Ms(200));
  if (stretches.empty()) return {-1, -1};
  return {stretches.front().from, stretches.back().to};
}

TEST(ExchangeRinging, EveryCallerIdStandardDecodesAtTheCalledPort) {
  const CallerIdCase cases[] = {
      {"CLASS single data message", CallerId::kClassSdmf, CallerIdTime::kAfterFirstRing,
       ADSI_STANDARD_CLASS, kSdmf},
      {"CLASS multiple data message", CallerId::kClassMdmf, CallerIdTime::kAfterFirstRing,
       ADSI_STANDARD_CLASS, kMdmf},
      {"CLIP after the first ring", CallerId::kClip, CallerIdTime::kAfterFirstRing,
       ADSI_STANDARD_CLIP, kMdmf},
      {"CLIP before the first ring", CallerId::kClip, CallerIdTime::kBeforeFirstRing,
       ADSI_STANDARD_CLIP, kMdmf},
      {"CLIP by DTMF", CallerId::kClipDtmf, CallerIdTime::kBeforeFirstRing,
       ADSI_STANDARD_CLIP_DTMF, Text("A5551001C")},
  };
  for (const CallerIdCase& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig(2);
    rig.subscriber(1).caller_id = c.kind;
    rig.subscriber(1).caller_id_time = c.time;
    Exchange& exchange = rig.Build();
    rig.phone(0).OffHook().Wait(500).Dtmf("5551002");
    rig.RunTo(12'000);
    const auto& heard = rig.phone(1).heard.samples();
    EXPECT_EQ(DecodeCallerId(heard, c.standard), std::vector<std::vector<std::uint8_t>>{c.message}) << exchange.log().Text();
    const auto rings = RingChanges(rig.phone(1).line, 12'000);
    ASSERT_GE(rings.size(), 3u);
    std::int64_t from = 0, to = 0;
    if (c.time == CallerIdTime::kAfterFirstRing) {
      // From 500 ms after the first ring to before the second.
      std::tie(from, to) = SoundSpan(heard, Ms(rings[1].first), Ms(rings[2].first));
      EXPECT_EQ(from, Ms(rings[1].first + 500) + 1 + 1);  // the line's sample, then sin(0)
      EXPECT_LT(to, Ms(rings[2].first));
    } else {
      // Over before the first ring, which follows it by 500 ms.
      std::tie(from, to) = SoundSpan(heard, 0, Ms(rings[0].first));
      EXPECT_GT(from, 0);
      EXPECT_NEAR(static_cast<double>(Ms(rings[0].first) - to), static_cast<double>(Ms(500)),
                  static_cast<double>(Ms(1)));
    }
    // The log has the signal, from its first sample.
    const auto logged = exchange.log().Of(1, EventKind::kCallerId);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].at, InstantOfSample(from - 2));
  }
}

// JCLIP: the incoming-call ring (0.5 s on, 0.5 s off) until the set answers
// it; the message 300 ms later; ordinary ringing once the set hangs up.
TEST(ExchangeRinging, JclipComesOffHookBetweenTheIncomingCallRingAndRinging) {
  Rig rig(2);
  rig.subscriber(1).caller_id = CallerId::kJclip;
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002");
  Phone& b = rig.phone(1);
  b.WaitForRing().Wait(1200).OffHook().Wait(2000).OnHook();
  rig.RunTo(9000);
  const auto rings = RingChanges(b.line, 9000);
  ASSERT_GE(rings.size(), 4u) << exchange.log().Text();
  // The incoming-call ring: on 500 ms, off 500 ms, on again until the answer at 1200 ms.
  EXPECT_EQ(rings[1].first - rings[0].first, 500);
  EXPECT_EQ(rings[2].first - rings[0].first, 1000);
  const std::int64_t answered = rings[0].first + 1200;
  EXPECT_EQ(rings[3].first, answered + 20);  // 20 ms off hook is an answer
  EXPECT_EQ(DecodeCallerId(b.heard.samples(), ADSI_STANDARD_JCLIP), std::vector<std::vector<std::uint8_t>>{kJclip});
  const auto [from, to] = SoundSpan(b.heard.samples(), Ms(answered), Ms(answered + 2000));
  EXPECT_EQ(from, Ms(answered + 20 + 300) + 1 + 1);
  EXPECT_LT(to, Ms(answered + 2000));
  // On hook at answered + 2000 ms; once the break is longer than a flash
  // (1000 ms) the set has hung up, and the line rings 2 s on.
  ASSERT_EQ(rings.size(), 6u);
  EXPECT_EQ(rings[4].first, answered + 3001);
  EXPECT_TRUE(rings[4].second);
  EXPECT_EQ(rings[5].first, answered + 5001);
}

// A JCLIP set that does not answer the incoming-call ring within 6 s is rung
// on without its caller ID.
TEST(ExchangeRinging, JclipUnansweredRingsOnWithoutCallerId) {
  Rig rig(2);
  rig.subscriber(1).caller_id = CallerId::kJclip;
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002");
  rig.RunTo(12'000);
  const auto rings = RingChanges(rig.phone(1).line, 12'000);
  ASSERT_GE(rings.size(), 14u) << exchange.log().Text();
  // Six 1 s cycles of the incoming-call ring, then 2 s on.
  for (std::size_t k = 0; k < 12; ++k) EXPECT_EQ(rings[k].first - rings[0].first, 500 * static_cast<std::int64_t>(k));
  EXPECT_EQ(rings[12].first - rings[0].first, 6000);
  EXPECT_TRUE(rings[12].second);
  EXPECT_EQ(rings[13].first - rings[12].first, 2000);
  EXPECT_TRUE(DecodeCallerId(rig.phone(1).heard.samples(), ADSI_STANDARD_JCLIP).empty());
}

}  // namespace
}  // namespace plat::line::exchange::testing
