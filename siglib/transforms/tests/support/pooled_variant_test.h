// Tests that run on a pool of their own, installed for the test's life;
// every block must be back in the pool at its end. PooledVariantTest runs
// once per processor variant.
#pragma once

#include <gtest/gtest.h>

#include "platform/ex/expool.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test::transforms {

template <class Base>
class Pooled : public Base {
 protected:
  ~Pooled() override { EXPECT_EQ(pool_.LeakReport(), ""); }

  plat::ex::Pool pool_{"transform test"};
  plat::ex::ScopedPool installed_{pool_};
};

using PooledVariantTest = Pooled<VariantTest>;

}  // namespace qvls_test::transforms
