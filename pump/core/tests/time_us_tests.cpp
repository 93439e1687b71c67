#include <gtest/gtest.h>

#include "platform/ke/ke.h"
#include "pump/core/tests/debug_lines.h"
#include "pump/core/time_us.h"

namespace pump {
namespace {

TEST(GetTimeUs, IsTheSystemTimeInMicrosecondsAndFollowsTheClock) {
  testing::DebugLinesOf([] {
    LARGE_INTEGER before;
    KeQuerySystemTime(&before);
    std::uint64_t stored = 0;
    const std::uint64_t first = GetTimeUs(&stored);
    EXPECT_EQ(stored, first);
    EXPECT_GE(first, static_cast<std::uint64_t>(before.QuadPart) / 10);
    EXPECT_LT(first, static_cast<std::uint64_t>(before.QuadPart) / 10 + 1000);

    LARGE_INTEGER interval;
    interval.QuadPart = -25'000 * 10;  // 25 ms
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
    const std::uint64_t later = GetTimeUs();
    EXPECT_GE(later - first, 25'000u);
    EXPECT_LT(later - first, 26'000u);
  });
}

}  // namespace
}  // namespace pump
