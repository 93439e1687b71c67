#include "pump/tests/support/test_afe_harness.h"

#include <gtest/gtest.h>

#include "platform/ke/simulation.h"

namespace pump::testing {

void TestAfeHarness::Run(const std::function<void()>& body) {
  constexpr std::uint64_t kHour = 3'600'000'000'000ULL;
  plat::Simulation simulation;
  plat::ke::Kernel& machine = simulation.AddMachine("modem");
  const bool returned = simulation.RunUserThread(
      machine, "pump",
      [&] {
        events_ = {};
        KeInitializeEvent(&events_.PerBlockEvent, SynchronizationEvent, FALSE);
        profile_flags_ = 0;
        events_.ProfileFlags = &profile_flags_;
        front_ = std::make_unique<TestAfe>(&events_);
        body();
        front_.reset();
      },
      kHour);
  front_.reset();  // before its machine goes, also when the body never returned
  EXPECT_TRUE(returned) << "the data pump's side did not return within a virtual hour";
}

}  // namespace pump::testing
