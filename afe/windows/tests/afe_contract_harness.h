// The real front end as a harness of the data pump's AfeContract suite: a
// fresh machine with the simulator and vxafe per Run, started the way the
// data pump starts it, the body on a kernel thread, stopped afterwards.
#pragma once

#include <functional>

#include "afe/windows/afe_contract.h"

namespace afe::testing {

class VxafeHarness {
 public:
  void Run(const std::function<void()>& body);

  AfeInterface& Interface() { return *interface_; }
  AfeEventBlock& Events() { return events_; }
  ULONG& ProfileFlags() { return profile_flags_; }

 private:
  AfeEventBlock events_{};
  ULONG profile_flags_ = 0;
  AfeInterface* interface_ = nullptr;
};

}  // namespace afe::testing
