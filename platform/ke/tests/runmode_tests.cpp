#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ke/kernel.h"
#include "platform/ke/runmode.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::SleepNs;

// A wall clock under the test's control. Sleeping to an instant moves the
// clock there at once; sleeping for ever waits for a wake.
class FakeWallClock final : public WallClock {
 public:
  std::uint64_t NowNs() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  void SleepUntil(std::uint64_t wall_ns) override {
    std::unique_lock lock(mutex_);
    if (wall_ns != kForever) {
      now_ = std::max(now_, wall_ns);
      return;
    }
    woken_.wait(lock, [this] { return wake_; });
    wake_ = false;
  }
  void Wake() override {
    {
      std::lock_guard lock(mutex_);
      wake_ = true;
    }
    woken_.notify_all();
  }
  void Advance(std::uint64_t ns) {
    std::lock_guard lock(mutex_);
    now_ += ns;
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  std::uint64_t now_ = 1'000'000'000;
  bool wake_ = false;
};

// Virtual time is paced to the wall clock at the chosen speed: each timer
// fires when the wall clock reaches its instant.
TEST(KeRunMode, PacedToTheWallClock) {
  for (const double speed : {1.0, 4.0}) {
    FakeWallClock clock;
    SimulationOptions options;
    options.wall_clock = &clock;
    options.speed = speed;
    Simulation sim(options);
    Kernel& machine = sim.AddMachine("A");
    const std::uint64_t wall_start = clock.NowNs();
    std::vector<std::pair<std::uint64_t, std::uint64_t>> wakes;  // virtual, wall elapsed
    ASSERT_TRUE(sim.RunUserThread(machine, "sleeper", [&] {
      for (int i = 0; i < 3; ++i) {
        SleepNs(8 * kMs);
        wakes.emplace_back(machine.Now(), clock.NowNs() - wall_start);
      }
    }));
    for (std::size_t i = 0; i < wakes.size(); ++i) {
      EXPECT_EQ(wakes[i].first, (i + 1) * 8 * kMs);
      EXPECT_EQ(wakes[i].second, static_cast<std::uint64_t>((i + 1) * 8 * kMs / speed)) << speed;
    }
  }
}

// A context that holds its CPU for a while of wall time makes virtual time
// lag; its next switch point catches up, and lag and hold are recorded.
TEST(KeRunMode, LagAndLongestHold) {
  FakeWallClock clock;
  SimulationOptions options;
  options.wall_clock = &clock;
  Simulation sim(options);
  Kernel& machine = sim.AddMachine("A");
  std::uint64_t after_catch_up = 0;
  ASSERT_TRUE(sim.RunUserThread(machine, "worker", [&] {
    clock.Advance(5 * kMs);  // five wall milliseconds of computing
    KeQueryInterruptTime();  // a switch point
    after_catch_up = machine.Now();
  }));
  EXPECT_GE(after_catch_up, 5 * kMs);
  EXPECT_EQ(sim.MaxLagNs(), 5 * kMs - 1'000) << "the read's own 1 us charge came first";
  EXPECT_EQ(machine.longest_holds().at("worker#1"), 5 * kMs);
}

// A host thread outside the emulation injects work: it runs on the machine
// at DISPATCH_LEVEL and can wake a thread.
TEST(KeRunMode, InjectFromAHostThread) {
  FakeWallClock clock;
  SimulationOptions options;
  options.wall_clock = &clock;
  Simulation sim(options);
  Kernel& machine = sim.AddMachine("A");
  struct Shared {
    KEVENT event;
    std::atomic<bool> ready{false};
    KIRQL injected_level = 99;
    bool woke = false;
  } s;
  machine.CreateUserThread(
      "waiter",
      [&] {
        KeInitializeEvent(&s.event, SynchronizationEvent, FALSE);
        s.ready = true;
        testing::WaitForever(&s.event);
        s.woke = true;
      },
      nullptr);
  std::thread host([&] {
    while (!s.ready) std::this_thread::yield();
    sim.Inject(machine, [&] {
      s.injected_level = KeGetCurrentIrql();
      KeSetEvent(&s.event, 0, FALSE);
    });
  });
  EXPECT_TRUE(sim.RunUntil([&] { return s.woke; }));
  host.join();
  EXPECT_EQ(s.injected_level, DISPATCH_LEVEL);
}

// ExternalCall runs a host call outside the emulation: the caller waits as
// in a kernel wait while the machine's other threads go on.
TEST(KeRunMode, ExternalCallLetsOthersRun) {
  FakeWallClock clock;
  SimulationOptions options;
  options.wall_clock = &clock;
  Simulation sim(options);
  Kernel& machine = sim.AddMachine("A");
  std::atomic<int> ticks{0};
  int ticks_when_back = -1;
  machine.CreateUserThread(
      "ticker",
      [&] {
        for (int i = 0; i < 5; ++i) {
          SleepNs(kMs);
          ++ticks;
        }
      },
      nullptr);
  ASSERT_TRUE(sim.RunUserThread(machine, "caller", [&] {
    ExternalCall([&] {
      while (ticks < 3) std::this_thread::yield();  // a host call that blocks
    });
    ticks_when_back = ticks;
  }));
  EXPECT_GE(ticks_when_back, 3);
}

// The real clock, fast: only the order of events is checked.
TEST(KeRunMode, RealClockSmoke) {
  SteadyWallClock clock;
  SimulationOptions options;
  options.wall_clock = &clock;
  options.speed = 100.0;
  Simulation sim(options);
  Kernel& machine = sim.AddMachine("A");
  std::vector<std::string> order;
  for (const auto& [name, ms] : {std::pair{"late", 30}, std::pair{"early", 10}}) {
    machine.CreateUserThread(
        name,
        [&order, name = std::string(name), ms = ms] {
          SleepNs(static_cast<std::uint64_t>(ms) * kMs);
          order.push_back(name);
        },
        nullptr);
  }
  EXPECT_TRUE(sim.RunUntil([&] { return order.size() == 2; }, 1'000 * kMs));
  EXPECT_EQ(order, (std::vector<std::string>{"early", "late"}));
}

}  // namespace
}  // namespace plat::ke
