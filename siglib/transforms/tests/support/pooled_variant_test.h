// A test per processor variant that runs on a pool of its own, installed for
// the test's life; every block must be back in the pool at its end.
#pragma once

#include <gtest/gtest.h>

#include "platform/ex/expool.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test::transforms {

class PooledVariantTest : public VariantTest {
 protected:
  ~PooledVariantTest() override { EXPECT_EQ(pool_.LeakReport(), ""); }

  plat::ex::Pool pool_{"transform test"};
  plat::ex::ScopedPool installed_{pool_};
};

}  // namespace qvls_test::transforms
