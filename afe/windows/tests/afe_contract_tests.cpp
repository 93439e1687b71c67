// What the data pump relies on of a front end, on the real one.
#include "afe/windows/tests/afe_contract_harness.h"
#include "pump/tests/support/afe_contract_suite.h"

namespace pump::testing {

INSTANTIATE_TYPED_TEST_SUITE_P(Vxafe, AfeContract, ::testing::Types<afe::testing::VxafeHarness>);

}  // namespace pump::testing
