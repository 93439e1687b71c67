// The transmitter's line samples against the reference modulator.
#include <gtest/gtest.h>

namespace pump::v32 {
namespace {
}  // namespace
}  // namespace pump::v32
