// Timer callbacks: their arguments by kind, restarts through the owner's
// variable, timers started while an advance fires, nested resets and
// advances, and the 24-timer limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "layer2/corecode/mt/kernel/msg_kernel.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

struct Call {
  std::string who;
  std::vector<TimerArg> args;
  bool operator==(const Call&) const = default;
};

// Callbacks of kind 0 have nothing but the machine to record into.
struct CallLog {
  std::vector<Call> calls;
};

void NoArgument() { MachineState<CallLog>().calls.push_back({"none", {}}); }
void OneArgument(TimerArg a) { MachineState<CallLog>().calls.push_back({"one", {a}}); }
void TwoArguments(TimerArg a, TimerArg b) {
  MachineState<CallLog>().calls.push_back({"two", {a, b}});
}

TimerRequest RequestOn(MsgKernel& kernel, std::uint32_t ms, std::uint8_t* owner) {
  TimerRequest request;
  request.kernel = &kernel;
  request.owner = owner;
  request.ms = ms;
  return request;
}

std::optional<std::uint32_t> Remaining(MsgKernel& kernel, std::uint8_t id) {
  TimerRequest request = RequestOn(kernel, 0, nullptr);
  request.id = id;
  if (MK_timer_remaining(&request) != kMkOk) return std::nullopt;
  return request.ms;
}

TEST(KernelTimerCallbacks, EachKindGetsItsArguments) {
  struct Case {
    const char* name;
    void (*set)(TimerRequest&);
    Call expected;
  };
  const std::vector<Case> cases = {
      {"kind 0", [](TimerRequest& r) { r.SetCallback(NoArgument); }, {"none", {}}},
      {"kind 1", [](TimerRequest& r) { r.SetCallback(OneArgument, 0x1234); }, {"one", {0x1234}}},
      {"kind 2",
       [](TimerRequest& r) { r.SetCallback(TwoArguments, 7, ~TimerArg{0}); },
       {"two", {7, ~TimerArg{0}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOnController([&] {
      MsgKernel kernel;
      MK_init(&kernel);
      std::uint8_t owner = 0;
      TimerRequest request = RequestOn(kernel, 20, &owner);
      c.set(request);
      ASSERT_EQ(MK_timer_start(&request), kMkOk);
      MK_timers_advance(&kernel.timers, 19);
      EXPECT_TRUE(MachineState<CallLog>().calls.empty());
      MK_timers_advance(&kernel.timers, 1);
      EXPECT_EQ(MachineState<CallLog>().calls, std::vector<Call>{c.expected});
      EXPECT_EQ(owner, 0);
    });
  }
}

// A callback that restarts its own timer through the same owner variable.
struct Restarter {
  MsgKernel* kernel;
  std::uint8_t owner = 0;
  std::uint32_t restart_ms;
  std::vector<std::uint8_t> owner_seen{};  // the variable as each call found it
  std::vector<std::uint8_t> ids{};         // the id each restart got
  int calls_left;                          // restarts stop here, so a loop cannot hang the test

  static void Expired(TimerArg self) {
    auto* r = reinterpret_cast<Restarter*>(self);
    r->owner_seen.push_back(r->owner);
    if (--r->calls_left < 0) return;
    TimerRequest request = RequestOn(*r->kernel, r->restart_ms, &r->owner);
    request.SetCallback(Expired, self);
    ASSERT_EQ(MK_timer_start(&request), kMkOk);
    r->ids.push_back(r->owner);
  }

  std::uint8_t Start(std::uint32_t ms) {
    TimerRequest request = RequestOn(*kernel, ms, &owner);
    request.SetCallback(Expired, reinterpret_cast<TimerArg>(this));
    EXPECT_EQ(MK_timer_start(&request), kMkOk);
    return owner;
  }
};

TEST(KernelTimerCallbacks, RestartThroughTheOwnerGetsANewId) {
  RunOnController([] {
    MsgKernel kernel;
    MK_init(&kernel);
    Restarter r{.kernel = &kernel, .restart_ms = 30, .calls_left = 100};
    std::uint8_t first = r.Start(30);
    std::uint8_t previous = first;
    for (int round = 1; round <= 30; ++round) {
      SCOPED_TRACE(round);
      MK_timers_advance(&kernel.timers, 30);
      ASSERT_EQ(r.ids.size(), static_cast<std::size_t>(round));
      EXPECT_EQ(r.owner_seen.back(), 0) << "the owner is cleared before the callback";
      EXPECT_NE(r.ids.back(), previous) << "the expired record is freed after the callback";
      EXPECT_EQ(r.owner, r.ids.back());
      EXPECT_EQ(Remaining(kernel, r.owner), 30u);
      EXPECT_FALSE(Remaining(kernel, previous).has_value());
      previous = r.ids.back();
    }
    EXPECT_NE(first, 0);
  });
}

TEST(KernelTimerCallbacks, ZeroMsRestartFiresAtTheNextNonZeroAdvance) {
  RunOnController([] {
    MsgKernel kernel;
    MK_init(&kernel);
    Restarter r{.kernel = &kernel, .restart_ms = 0, .calls_left = 50};
    r.Start(10);
    MK_timers_advance(&kernel.timers, 10);
    ASSERT_EQ(r.owner_seen.size(), 1u) << "the restarted 0 ms timer fired in the same advance";
    EXPECT_EQ(Remaining(kernel, r.owner), 0u);
    MK_timers_advance(&kernel.timers, 0);
    EXPECT_EQ(r.owner_seen.size(), 1u);
    for (int n = 2; n <= 5; ++n) {
      MK_timers_advance(&kernel.timers, 1);
      EXPECT_EQ(r.owner_seen.size(), static_cast<std::size_t>(n));
    }
  });
}

// Records its own firing, then starts `ms` ms timers at the advance's end.
struct Starter {
  MsgKernel* kernel;
  std::uint32_t ms;
  std::uint8_t started = 0;
  static void Expired(TimerArg self) {
    auto* s = reinterpret_cast<Starter*>(self);
    MachineState<CallLog>().calls.push_back({"starter", {}});
    TimerRequest request = RequestOn(*s->kernel, s->ms, &s->started);
    request.SetCallback(OneArgument, 99);
    ASSERT_EQ(MK_timer_start(&request), kMkOk);
  }
};

TEST(KernelTimerCallbacks, TimersStartedByACallbackCountFromTheAdvancesEnd) {
  RunOnController([] {
    MsgKernel kernel;
    MK_init(&kernel);
    Starter starter{&kernel, 5};
    TimerRequest request = RequestOn(kernel, 10, nullptr);
    request.SetCallback(Starter::Expired, reinterpret_cast<TimerArg>(&starter));
    ASSERT_EQ(MK_timer_start(&request), kMkOk);
    MK_timers_advance(&kernel.timers, 100);  // the starter fires 10 ms in
    EXPECT_EQ(MachineState<CallLog>().calls, (std::vector<Call>{{"starter", {}}}));
    EXPECT_EQ(Remaining(kernel, starter.started), 5u);
    MK_timers_advance(&kernel.timers, 4);
    EXPECT_EQ(MachineState<CallLog>().calls.size(), 1u);
    MK_timers_advance(&kernel.timers, 1);
    EXPECT_EQ(MachineState<CallLog>().calls.back(), (Call{"one", {99}}));
  });
}

// A callback that resets or advances the timers while an advance fires.
struct Meddler {
  KernelTimerBlock* block;
  std::uint32_t advance;  // 0: reset instead
  static void Expired(TimerArg self, TimerArg tag) {
    auto* m = reinterpret_cast<Meddler*>(self);
    MachineState<CallLog>().calls.push_back({"meddler", {tag}});
    if (m->advance == 0) {
      MK_timers_reset(m->block);
    } else {
      MK_timers_advance(m->block, m->advance);
    }
  }
};

TEST(KernelTimerCallbacks, ResetOrAdvanceInsideACallback) {
  struct Case {
    const char* name;
    std::uint32_t advance;
    std::vector<Call> expected;
  };
  const std::vector<Case> cases = {
      {"a reset: the other timers due in the advance never fire", 0, {{"meddler", {1}}}},
      {"an advance: what the outer advance reached fires first, each once, in order",
       10,
       {{"meddler", {1}}, {"two", {2, 0}}, {"two", {3, 0}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOnController([&] {
      MsgKernel kernel;
      MK_init(&kernel);
      Meddler meddler{&kernel.timers, c.advance};
      TimerRequest request = RequestOn(kernel, 10, nullptr);
      request.SetCallback(Meddler::Expired, reinterpret_cast<TimerArg>(&meddler), 1);
      ASSERT_EQ(MK_timer_start(&request), kMkOk);
      request.SetCallback(TwoArguments, 2, 0);
      ASSERT_EQ(MK_timer_start(&request), kMkOk);  // 10 ms too
      request.ms = 20;
      request.SetCallback(TwoArguments, 3, 0);
      ASSERT_EQ(MK_timer_start(&request), kMkOk);
      MK_timers_advance(&kernel.timers, 10);
      MK_timers_advance(&kernel.timers, 100);
      EXPECT_EQ(MachineState<CallLog>().calls, c.expected);
      // Every record is back on the free list exactly once.
      std::vector<std::uint8_t> owners(kKernelTimers + 1, 0);
      TimerRequest all = RequestOn(kernel, 1000, nullptr);
      for (std::size_t n = 0; n < kKernelTimers; ++n) {
        all.owner = &owners[n];
        ASSERT_EQ(MK_timer_start(&all), kMkOk);
      }
      all.owner = &owners[kKernelTimers];
      EXPECT_EQ(MK_timer_start(&all), kMkRefused);
      std::vector<std::uint8_t> ids(owners.begin(), owners.end() - 1);
      std::sort(ids.begin(), ids.end());
      for (std::size_t n = 0; n < kKernelTimers; ++n) EXPECT_EQ(ids[n], n + 1);
    });
  }
}

TEST(KernelTimerCallbacks, TheTwentyFifthStartRefuses) {
  RunOnController([] {
    MsgKernel kernel;
    MK_init(&kernel);
    std::uint8_t owners[kKernelTimers + 1] = {};
    for (std::size_t n = 0; n < kKernelTimers; ++n) {
      TimerRequest request = RequestOn(kernel, 100 + static_cast<std::uint32_t>(n), &owners[n]);
      ASSERT_EQ(MK_timer_start(&request), kMkOk);
      EXPECT_EQ(owners[n], n + 1) << "ids in free-list order";
    }
    owners[kKernelTimers] = 0xEE;
    TimerRequest extra = RequestOn(kernel, 5, &owners[kKernelTimers]);
    EXPECT_EQ(MK_timer_start(&extra), kMkRefused);
    EXPECT_EQ(owners[kKernelTimers], 0xEE) << "a refused start leaves the owner alone";
    // A stopped timer's record is the only free one: the next start gets it.
    TimerRequest stop = RequestOn(kernel, 0, nullptr);
    stop.id = 7;
    MK_timer_stop(&stop);
    EXPECT_EQ(MK_timer_start(&extra), kMkOk);
    EXPECT_EQ(owners[kKernelTimers], 7);
    EXPECT_EQ(Remaining(kernel, 7), 5u);
  });
}

}  // namespace
}  // namespace vxctl::testing
