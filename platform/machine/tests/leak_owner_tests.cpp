// What a driver leaves at shutdown is named after that driver, not after
// whichever driver ran last: the leaking driver boots between two that
// leave nothing.
#include <gtest/gtest.h>

#include <utility>

#include "platform/machine/machine.h"
#include "platform/machine/tests/test_drivers.h"

namespace plat::machine::testing {
namespace {

void QuietUnload(PDRIVER_OBJECT) {}
NTSTATUS QuietDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  driver->DriverUnload = QuietUnload;
  return STATUS_SUCCESS;
}

class LeakOwner : public ::testing::TestWithParam<std::pair<Leak, const char*>> {};

TEST_P(LeakOwner, EachKindOfLeakNamesTheDriverThatMadeIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto [leak, rule] = GetParam();
  EXPECT_DEATH(
      {
        Simulation sim;
        Machine m(sim, {.name = "leaky",
                        .drivers = {{u"before", QuietDriverEntry},
                                    {u"leaky", LeakDriverEntry},
                                    {u"after", QuietDriverEntry}}});
        m.kernel().slots().Get<LeakChoice>().leak = leak;
        if (m.Boot() == STATUS_SUCCESS) m.Shutdown();
      },
      std::string("FATAL \\[") + rule + "\\].*made by \\\\Driver\\\\leaky");
}

INSTANTIATE_TEST_SUITE_P(Kinds, LeakOwner,
                         ::testing::Values(std::pair{Leak::kMapping, "hal-mapping-leak"},
                                           std::pair{Leak::kCommonBuffer, "hal-common-buffer-leak"},
                                           std::pair{Leak::kInterrupt, "hal-interrupt-leak"},
                                           std::pair{Leak::kThread, "ke.thread-alive-at-shutdown"},
                                           std::pair{Leak::kTimer, "ke.timer-queued-at-shutdown"},
                                           std::pair{Leak::kRequest,
                                                     "io.outstanding-at-shutdown"}));

}  // namespace
}  // namespace plat::machine::testing
