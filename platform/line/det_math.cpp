#include "platform/line/det_math.h"

#include <cmath>

namespace plat::line {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLn2 = 0.693147180559945309417;
constexpr double kLn10 = 2.30258509299404568402;

// sin(pi r) and cos(pi r) for |r| <= 1/4 by their Taylor series; the terms left
// out are below 1e-19.
double SinPiSmall(double r) {
  const double a = kPi * r;
  const double a2 = a * a;
  double term = a;
  double sum = a;
  for (int k = 1; k <= 10; ++k) {
    term *= -a2 / ((2.0 * k) * (2.0 * k + 1.0));
    sum += term;
  }
  return sum;
}

double CosPiSmall(double r) {
  const double a = kPi * r;
  const double a2 = a * a;
  double term = 1.0;
  double sum = 1.0;
  for (int k = 1; k <= 10; ++k) {
    term *= -a2 / ((2.0 * k - 1.0) * (2.0 * k));
    sum += term;
  }
  return sum;
}

// Reduces x to r in [-1, 1) with x = r (mod 2); fmod is exact.
double ReduceHalfTurns(double x) {
  double r = std::fmod(x, 2.0);
  if (r >= 1.0) r -= 2.0;
  if (r < -1.0) r += 2.0;
  return r;
}

}  // namespace

double SinPi(double x) {
  double r = ReduceHalfTurns(x);
  const bool negative = r < 0.0;
  if (negative) r = -r;      // r in [0, 1]
  if (r > 0.5) r = 1.0 - r;  // sin(pi (1 - r)) = sin(pi r), exact for r in [0.5, 1]
  const double s = r <= 0.25 ? SinPiSmall(r) : CosPiSmall(0.5 - r);
  return negative ? -s : s;
}

double CosPi(double x) {
  double r = ReduceHalfTurns(x);
  if (r < 0.0) r = -r;  // r in [0, 1]
  bool negative = false;
  if (r > 0.5) {
    r = 1.0 - r;  // cos(pi (1 - r)) = -cos(pi r)
    negative = true;
  }
  const double c = r <= 0.25 ? CosPiSmall(r) : SinPiSmall(0.5 - r);
  return negative ? -c : c;
}

double Exp(double x) {
  if (x > 709.0) return HUGE_VAL;
  if (x < -745.0) return 0.0;
  // x = k ln2 + r with |r| <= ln2 / 2; k ln2 split in two parts keeps r exact enough.
  const double k = std::nearbyint(x / kLn2);
  constexpr double kLn2High = 6.93147180369123816490e-01;  // low bits zero: k * high is exact
  constexpr double kLn2Low = 1.90821492927058770002e-10;
  const double r = (x - k * kLn2High) - k * kLn2Low;
  double term = 1.0;
  double sum = 1.0;
  for (int n = 1; n <= 16; ++n) {
    term *= r / n;
    sum += term;
  }
  return std::ldexp(sum, static_cast<int>(k));
}

double Log(double x) {
  int exponent = 0;
  double m = std::frexp(x, &exponent);  // x = m 2^exponent, m in [0.5, 1)
  if (m < 0.70710678118654752440) {
    m *= 2.0;
    --exponent;
  }
  // log(m) = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172.
  const double s = (m - 1.0) / (m + 1.0);
  const double s2 = s * s;
  double power = s;
  double sum = s;
  for (int n = 3; n <= 29; n += 2) {
    power *= s2;
    sum += power / n;
  }
  return 2.0 * sum + exponent * kLn2;
}

double DbToAmplitude(double db) { return Exp(db * (kLn10 / 20.0)); }

double BesselI0(double x) {
  const double half = x / 2.0;
  double term = 1.0;
  double sum = 1.0;
  for (int k = 1; k < 200; ++k) {
    term *= (half / k) * (half / k);
    sum += term;
    if (term < sum * 1e-21) break;
  }
  return sum;
}

}  // namespace plat::line
