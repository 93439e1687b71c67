// The test-side front end on a fresh machine, started the way the data pump
// starts a front end: with an AfeEventBlock whose ProfileFlags word and
// per-block event the front end uses. The harness the AfeContract suite
// runs on; data-pump tests use it too.
//
//   TestAfeHarness harness;
//   harness.Run([&] {
//     AfeAccess* access = BuildAfeAccess(&harness.Interface());
//     harness.Afe().Step();
//     ...
//   });
#pragma once

#include <functional>
#include <memory>

#include "afe/windows/afe_contract.h"
#include "pump/tests/support/test_afe.h"

namespace pump::testing {

class TestAfeHarness {
 public:
  // Runs `body` as the data pump's thread ("pump", PASSIVE_LEVEL) of a new
  // machine whose front end has answered the start request; the front end
  // is taken down when `body` returns. Fails the test when `body` does not
  // return within a virtual hour.
  void Run(const std::function<void()>& body);

  afe::AfeInterface& Interface() { return front_->Interface(); }
  afe::AfeEventBlock& Events() { return events_; }
  ULONG& ProfileFlags() { return profile_flags_; }
  TestAfe& Afe() { return *front_; }

 private:
  afe::AfeEventBlock events_{};
  ULONG profile_flags_ = 0;
  std::unique_ptr<TestAfe> front_;
};

}  // namespace pump::testing
