// The pool tag the transform tests' own allocations carry.
#pragma once

#include "platform/ex/pool.h"

namespace qvls_test::transforms {

inline constexpr ULONG kTag = plat::ex::PoolTag("Ddk ");

}  // namespace qvls_test::transforms
