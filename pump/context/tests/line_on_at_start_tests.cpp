// The line monitor's first tick (the first after the reset that makes the
// data pump ready): the front end starts with its line off, so the monitor
// starts stopped and acts on the hook relay at once.
#include <gtest/gtest.h>

#include <vector>

#include "pump/context/tests/hook_relay.h"

namespace pump {
namespace {

using testing::LineRequests;
using testing::PumpHarness;
using testing::SetHookRelay;

struct StartCase {
  const char* name;
  bool on_hook;                     // the relay bit before the first tick
  std::vector<ULONG> first_tick;    // the line requests of that tick
  std::uint32_t stopped_after;      // the monitor's state after it
};

TEST(LineOnAtStart, TheFirstTickFollowsTheHookRelay) {
  const StartCase cases[] = {
      {"off hook: the line goes on at once", false, {afe::kAfeLineOn}, 0},
      {"on hook: the line stays off, nothing is stopped again", true, {}, 1},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.name);
    PumpHarness harness;
    harness.Run([&] {
      harness.Controller().Post(0x60, {0});
      EXPECT_EQ(harness.Context().line_monitor.afe_stopped, 1u) << "the front end starts off";
      SetHookRelay(harness, c.on_hook);
      harness.Afe().ClearLog();
      harness.RunBlocks(1);
      EXPECT_EQ(LineRequests(harness.Afe()), c.first_tick);
      EXPECT_EQ(harness.Context().line_monitor.afe_stopped, c.stopped_after);
    });
  }
}

}  // namespace
}  // namespace pump
