// An extension phone in parallel with a subscriber's set: its hook lowers the
// line's voltage reading and closes the loop, and it can answer a call, its
// audio mixed in both ways.
#include <gtest/gtest.h>

#include "platform/line/exchange/tests/exchange_rig.h"

namespace plat::line::exchange::testing {
namespace {

// A parallel set played by a script, with what it hears.
struct Extension {
  Extension() { peer.RecordTo(&heard); }
  ScriptedPeer peer;
  MemoryTap heard;
};

TEST(ExchangeExtension, ItsHookLowersTheReadingAndSeizesTheLine) {
  Rig rig(1);
  Extension extension;
  rig.subscriber(0).extension = &extension.peer;
  Exchange& exchange = rig.Build();
  extension.peer.Silence(Ms(1000)).Do(exchange.ExtensionHookAction(0, true));
  rig.RunTo(2000);
  const Line& line = rig.phone(0).line;
  EXPECT_EQ(line.Conditions(Side::kA, NsOfMs(900)).millivolts, kOnHookMillivolts);
  const sim::LineConditions reading = line.Conditions(Side::kA, NsOfMs(1500));
  EXPECT_EQ(reading.millivolts, kExtensionOffHookMillivolts);
  EXPECT_FALSE(reading.loop_current);  // the set itself stays on hook
  const auto seized = exchange.log().Of(0, EventKind::kSeized);
  ASSERT_EQ(seized.size(), 1u);
  EXPECT_EQ(seized[0].at, NsOfMs(1000));
  // The extension hears the dial tone the exchange sends from 1200 ms.
  const auto& heard = extension.heard.samples();
  EXPECT_NEAR(DbmOf(Amplitude(heard, Ms(1300), Ms(1900), 350.0)), -13.0, 0.3);
  EXPECT_NEAR(DbmOf(Amplitude(heard, Ms(1300), Ms(1900), 440.0)), -13.0, 0.3);
}

TEST(ExchangeExtension, TheExtensionAnswersAndTalksBothWays) {
  Rig rig(2);
  Extension extension;
  rig.subscriber(1).extension = &extension.peer;
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002").Wait(3000).peer.Tones({1000.0, -10.0}, Ms(1000));
  // The extension answers during the first ring and speaks a second later.
  extension.peer.Silence(Ms(2000)).Do(exchange.ExtensionHookAction(1, true)).Silence(Ms(1000));
  extension.peer.Tones({1700.0, -10.0}, Ms(3000));
  rig.RunTo(6000);
  const auto answer = exchange.log().Of(1, EventKind::kAnswer);
  ASSERT_EQ(answer.size(), 1u) << exchange.log().Text();
  EXPECT_EQ(answer[0].at, NsOfMs(2020));
  EXPECT_FALSE(rig.phone(1).line.OffHook(Side::kA, NsOfMs(3000)));
  // A's 1000 Hz reaches the extension; the extension's 1700 Hz reaches A.
  EXPECT_NEAR(DbmOf(Amplitude(extension.heard.samples(), Ms(4600), Ms(5100), 1000.0)), -10.0, 0.5);
  EXPECT_NEAR(DbmOf(Amplitude(rig.phone(0).heard.samples(), Ms(3200), Ms(5800), 1700.0)), -10.0, 0.5);
}

}  // namespace
}  // namespace plat::line::exchange::testing
