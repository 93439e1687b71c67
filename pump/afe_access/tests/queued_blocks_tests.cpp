// GetQueuedBlocks: the front end's block balance as the data pump sees it.
// Once the echo runs in step, each tick the data pump misses leaves one
// more received block queued, and each tick it catches up takes one away.
#include <gtest/gtest.h>

#include "pump/afe_access/tests/afe_access_fixture.h"

namespace pump::testing {
namespace {

class QueuedBlocks : public AfeAccessTest {};

TEST_F(QueuedBlocks, EachMissedTickQueuesOneBlock) {
  struct Case {
    int missed;  // front-end blocks without a data-pump tick
  };
  for (const Case c : {Case{0}, Case{1}, Case{5}}) {
    SCOPED_TRACE(::testing::Message() << c.missed << " missed");
    Run([&](AfeAccess& access) {
      for (int t = 0; t < 8; ++t) EchoTick(access);
      Afe().Step();  // the block of the next tick
      const LONG in_step = GetQueuedBlocks(access);
      EXPECT_EQ(in_step, Context().BlockBalance);
      for (int t = 0; t < c.missed; ++t) Afe().Step();
      EXPECT_EQ(GetQueuedBlocks(access), in_step + c.missed);
      for (int t = 0; t <= c.missed; ++t) {
        ResetSampleCursors(access);
        AdvanceAfeBlock(access);
      }
      Afe().Step();
      EXPECT_EQ(GetQueuedBlocks(access), in_step) << "caught up";
    });
  }
}

}  // namespace
}  // namespace pump::testing
