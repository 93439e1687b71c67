// The shared front-end contract, on the test-side front end.
#include "pump/tests/support/afe_contract_suite.h"
#include "pump/tests/support/test_afe_harness.h"

namespace pump::testing {

INSTANTIATE_TYPED_TEST_SUITE_P(TestFrontEnd, AfeContract, ::testing::Types<TestAfeHarness>);

}  // namespace pump::testing
