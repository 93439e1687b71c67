// AfeContract: what the data pump relies on of a front end, on vxafe, the
// front end vxdsp runs on.
#include "afe/windows/tests/afe_contract_harness.h"
#include "pump/tests/support/afe_contract_suite.h"

namespace pump::testing {

INSTANTIATE_TYPED_TEST_SUITE_P(DataPumpOnVxafe, AfeContract,
                               ::testing::Types<afe::testing::VxafeHarness>);

}  // namespace pump::testing
