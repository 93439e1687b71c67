#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/line/det_math.h"

namespace plat::line {
namespace {

// Our own functions agree with the C library's to within a few units in the
// last place over the ranges the line uses.
TEST(DetMath, AgreesWithTheLibraryFunctions) {
  for (double x = -50.0; x <= 50.0; x += 0.01171875 * 1.37) {
    // pi x would round away the accuracy of large angles: reduce exactly first.
    const double r = std::remainder(x, 2.0);
    EXPECT_NEAR(SinPi(x), std::sin(std::numbers::pi * r), 5e-16) << x;
    EXPECT_NEAR(CosPi(x), std::cos(std::numbers::pi * r), 5e-16) << x;
  }
  for (double x = -40.0; x <= 40.0; x += 0.173) {
    EXPECT_NEAR(Exp(x) / std::exp(x), 1.0, 4e-15) << x;
  }
  for (double x : {1e-300, 1e-17, 0.001, 0.5, 0.7071, 1.0, 1.5, 2.0, 10.0, 12345.678, 1e200}) {
    EXPECT_NEAR(Log(x), std::log(x), 4e-15 * std::max(1.0, std::abs(std::log(x)))) << x;
  }
  EXPECT_NEAR(DbToAmplitude(-20.0), 0.1, 1e-16);
  EXPECT_NEAR(DbToAmplitude(6.0), std::pow(10.0, 0.3), 1e-15);
  // I0 from its tabulated values.
  EXPECT_NEAR(BesselI0(0.0), 1.0, 0.0);
  EXPECT_NEAR(BesselI0(1.0), 1.2660658777520082, 1e-15);
  EXPECT_NEAR(BesselI0(5.0) / 27.239871823604442, 1.0, 1e-15);
  EXPECT_NEAR(BesselI0(10.0) / 2815.716628466254, 1.0, 1e-15);
}

TEST(DetMath, AnglesAreReducedExactly) {
  EXPECT_EQ(SinPi(0.0), 0.0);
  EXPECT_EQ(SinPi(1.0), 0.0);
  EXPECT_EQ(SinPi(0.5), 1.0);
  EXPECT_EQ(SinPi(-0.5), -1.0);
  EXPECT_EQ(CosPi(1.0), -1.0);
  EXPECT_EQ(SinPi(1e6 + 0.25), SinPi(0.25));
  EXPECT_EQ(CosPi(-3.75), CosPi(0.25));
}

}  // namespace
}  // namespace plat::line
