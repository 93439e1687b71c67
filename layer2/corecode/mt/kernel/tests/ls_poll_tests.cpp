// The line services' poll: the kernel clock's progress into timer
// advances, across the clock's wrap, with no message free, and with the
// timing thread advancing the clock while the task thread polls.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include "controller/standin/line_services_standin.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

MsgKernel* Kernel() { return &MachineState<LineServicesState>().kernel; }

std::uint8_t StartTimer(std::uint32_t ms) {
  std::uint8_t id = 0;
  TimerRequest request;
  request.kernel = Kernel();
  request.owner = &id;
  request.ms = ms;
  EXPECT_EQ(MK_timer_start(&request), kMkOk);
  return id;
}

std::optional<std::uint32_t> Remaining(std::uint8_t id) {
  TimerRequest request;
  request.kernel = Kernel();
  request.id = id;
  if (MK_timer_remaining(&request) != kMkOk) return std::nullopt;
  return request.ms;
}

std::vector<KernelMessage*> TakeEveryMessage() {
  std::vector<KernelMessage*> taken;
  KernelMessage* m = nullptr;
  while (MK_msg_get(Kernel(), &m) == kMkOk) taken.push_back(m);
  return taken;
}

void PostAll(const std::vector<KernelMessage*>& messages, std::uint8_t msg_class) {
  for (KernelMessage* m : messages) {
    m->msg_class = msg_class;
    MK_msg_post(Kernel(), m);
  }
}

int Count(std::string_view name) {
  const std::vector<std::string_view> names = MachineState<LineServicesStandin>().Names();
  return static_cast<int>(std::count(names.begin(), names.end(), name));
}

constexpr std::uint32_t kLong = 1'000'000;

TEST(LsPoll, ElapsedTimeAcrossTheClocksWrap) {
  struct Case {
    std::uint32_t before_wrap;  // the clock at the mark, this far below 2^32
    std::uint32_t step;
  };
  const std::vector<Case> cases = {{1, 1}, {1, 10}, {5, 10}, {3000, 5000}, {40, 40}, {70, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.before_wrap << " below the wrap, step " << c.step);
    RunOnController([&] {
      LS_init();
      MK_clock_advance(Kernel(), 0u - c.before_wrap);
      LS_poll();
      const std::uint8_t id = StartTimer(kLong);
      MK_clock_advance(Kernel(), c.step);
      LS_poll();
      EXPECT_EQ(Remaining(id), kLong - c.step);
    });
  }
}

TEST(LsPoll, NoFreeMessageKeepsTheElapsedTimeForTheNextPoll) {
  RunOnController([] {
    LS_init();
    LS_poll();
    const std::uint8_t id = StartTimer(1000);
    const std::vector<KernelMessage*> held = TakeEveryMessage();
    ASSERT_EQ(held.size(), kKernelMessages);
    MK_clock_advance(Kernel(), 30);
    LS_poll();
    EXPECT_EQ(Remaining(id), 1000u) << "no message: no advance";
    EXPECT_EQ(Count("RING_update"), 2) << "the cadence update runs on every poll";
    PostAll(held, kMsgCallProgress);
    MK_clock_advance(Kernel(), 20);
    LS_poll();
    EXPECT_EQ(Remaining(id), 950u) << "the next poll carries all 50 ms";
    EXPECT_EQ(Count("CPT_handler"), static_cast<int>(kKernelMessages));
    MK_clock_advance(Kernel(), 950);
    LS_poll();
    EXPECT_FALSE(Remaining(id).has_value());
  });
}

// A handler that waits inside its work, as the line services' busy waits
// do, polling while it waits.
void SleepAndPoll(KernelMessage*, void*) {
  SleepMs(1);
  LS_poll();
}

TEST(LsPoll, TimingThreadAdvancingWhileTheTaskPollsLosesNothing) {
  for (std::uint32_t seed = 1; seed <= 24; ++seed) {
    SCOPED_TRACE(seed);
    RunOnController([&] {
      LS_init();
      int context = 0;
      ASSERT_EQ(MK_register(Kernel(), kMsgLineEvents, SleepAndPoll, &context), kMkOk);
      const std::uint8_t id = StartTimer(kLong);
      std::uint64_t advanced = 0;
      std::atomic<bool> done{false};
      RunThreads({
          {16,
           [&] {  // the timing thread
             std::mt19937 rng(seed);
             for (int tick = 0; tick < 100; ++tick) {
               SleepMs(std::uniform_int_distribution<std::uint32_t>(1, 3)(rng));
               const auto ms = std::uniform_int_distribution<std::uint32_t>(1, 25)(rng);
               MK_clock_advance(Kernel(), ms);
               advanced += ms;
             }
             done = true;
           }},
          {16,
           [&] {  // the task thread
             std::mt19937 rng(seed * 7919 + 1);
             auto pick = [&](std::uint32_t hi) {
               return std::uniform_int_distribution<std::uint32_t>(0, hi)(rng);
             };
             while (!done) {
               SleepMs(pick(3) + 1);
               const std::uint32_t what = pick(9);
               if (what == 0) {  // every message held across a wait
                 const std::vector<KernelMessage*> held = TakeEveryMessage();
                 SleepMs(pick(5) + 1);
                 LS_poll();
                 PostAll(held, kMsgLineEvents);
               } else if (what == 1) {
                 MK_msg_send(Kernel(), false, kMsgLineEvents, 0);
               }
               LS_poll();
             }
           }},
      });
      LS_poll();
      EXPECT_EQ(Remaining(id), kLong - advanced);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
