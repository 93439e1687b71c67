// Elementary functions built only from IEEE-754 additions, multiplications,
// divisions, exact scalings and exact remainders, so that every result has the
// same bits on any x86-64 and with any C library. The line's filters, levels
// and noise use these in place of <cmath>'s, whose last bits vary between
// library versions.
#pragma once

namespace plat::line {

// sin(pi x) and cos(pi x): angles in half turns, reduced exactly.
double SinPi(double x);
double CosPi(double x);

double Exp(double x);
double Log(double x);  // x > 0

// 10^(db / 20): the amplitude ratio of a level difference in dB.
double DbToAmplitude(double db);

// The modified Bessel function of the first kind, order zero (Kaiser windows).
double BesselI0(double x);

}  // namespace plat::line
