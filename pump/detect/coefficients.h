// The coefficient sets of the tone detectors, one table for every procedure
// that runs them: the notch sets of the notch-ratio detectors, the band
// filters of the energy detectors and the receive front end's rejection
// filters. Detectors hold a pointer to their set, never a copy.
#pragma once

#include <array>
#include <cstdint>

namespace pump {

// One notch section: y = (c0 x + c1 x1 + c2 x2 + c3 y1 + c4 y2) >> 15 with
// c = round(32767 {1, -2 cos w, 1, 2 r cos w, -r^2}), w = 2 pi hz / rate_hz and
// r = 0.9: zeros on the unit circle at hz, poles of radius 0.9 at the same
// angle. The 2225 Hz set's c1 is -7480 where -7490 is computed; its zeros sit
// 0.2 Hz above 2225 Hz, which no detector can tell.
struct NotchSet {
  std::int32_t hz;
  std::int32_t rate_hz;
  std::array<std::int32_t, 5> c;
};

namespace notch {

inline constexpr NotchSet k1100{1100, 9600, {32767, -49271, 32767, 44344, -26541}};
inline constexpr NotchSet k2100{2100, 9600, {32767, -12785, 32767, 11507, -26541}};
// The notch pair of the V.32 watch. Run at 7200 Hz, as V.32 runs, the same
// angles put the notches at 1800 and 600 Hz.
inline constexpr NotchSet k2400{2400, 9600, {32767, 0, 32767, 0, -26541}};
inline constexpr NotchSet k800{800, 9600, {32767, -56754, 32767, 51079, -26541}};
// The handshakes' tone sets.
inline constexpr NotchSet k2225{2225, 9600, {32767, -7480, 32767, 6741, -26541}};
inline constexpr NotchSet k1800{1800, 9600, {32767, -25079, 32767, 22571, -26541}};
inline constexpr NotchSet k1300{1300, 9600, {32767, -43210, 32767, 38889, -26541}};
inline constexpr NotchSet k1650{1650, 9600, {32767, -30893, 32767, 27803, -26541}};
inline constexpr NotchSet k3000{3000, 9600, {32767, 25079, 32767, -22571, -26541}};
inline constexpr NotchSet k600{600, 9600, {32767, -60545, 32767, 54491, -26541}};
inline constexpr NotchSet k2250{2250, 9600, {32767, -6423, 32767, 5781, -26541}};
inline constexpr NotchSet k2850{2850, 9600, {32767, 19024, 32767, -17121, -26541}};
inline constexpr NotchSet k520{520, 9600, {32767, -61775, 32767, 55598, -26541}};
// A Bell 103 caller's mark, heard while V.22bis waits for S1.
inline constexpr NotchSet k1270{1270, 9600, {32767, -44169, 32767, 39752, -26541}};
// The automode watch inside the V.32 caller, per sample at 7200 Hz.
inline constexpr NotchSet k1650At7200{1650, 7200, {32767, -8554, 32767, 7699, -26541}};
inline constexpr NotchSet k1300At7200{1300, 7200, {32767, -27696, 32767, 24926, -26541}};
inline constexpr NotchSet k2100At7200{2100, 7200, {32767, 16961, 32767, -15265, -26541}};
inline constexpr NotchSet k2250At7200{2250, 7200, {32767, 25078, 32767, -22571, -26541}};
inline constexpr NotchSet k2850At7200{2850, 7200, {32767, 51992, 32767, -46792, -26541}};

inline constexpr std::array<const NotchSet*, 19> kAll = {
    &k1100, &k2100,       &k2400,       &k800,        &k2225,       &k1800,
    &k1300, &k1650,       &k3000,       &k600,        &k2250,       &k2850,
    &k520,  &k1270,       &k1650At7200, &k1300At7200, &k2100At7200, &k2250At7200,
    &k2850At7200,
};

}  // namespace notch

// A fourth-order filter of two sections, each with its zeros on the unit
// circle (numerator 1, 2c, 1) and its poles given by two feedback words; only
// six of the ten coefficient words the filter is described by differ from
// the unit value, and only those are kept. Coefficients are Q31; k, m, o and
// d are the input, first-section, second-section and output shifts (a
// negative shift is to the left).
struct BandFilterCoefficients {
  std::int32_t c1, c3, c4;  // first section: zeros, then the feedback of s2 and s1
  std::int32_t c6, c8, c9;  // second section: zeros, then the feedback of z2 and z1
  std::int32_t k, m, o, d;
};

// An energy detector: a band filter around `centre_hz`, the averaging shift
// of its rectified output, and the on and off thresholds of the average's
// high 16 bits.
struct EnergyRecord {
  std::int32_t centre_hz;
  BandFilterCoefficients filter;
  std::int32_t shift;
  std::int32_t on;
  std::int32_t off;
};

namespace energy {

inline constexpr EnergyRecord k2100{
    2100,
    {-520764948, -1066106646, 405024840, -315172242, -1066172184, 429863742, 2, 3, -2, 4},
    8,
    640,
    480};
inline constexpr EnergyRecord k600{
    600,
    {-1946083107, -1066106110, 1973355476, -2018134729, -1066106110, 1980505095, 2, 2, -1, 4},
    5,
    640,
    480};
inline constexpr EnergyRecord k3000{
    3000,
    {907990397, -1066106110, -827501689, 734042393, -1066106110, -810240982, 2, 2, -1, 4},
    7,
    256,
    128};
// The USB1 band, 2225 to 2250 Hz.
inline constexpr EnergyRecord k2250{
    2250,
    {-115899455, -1066106110, 209740440, -339410556, -1066106110, 244555169, 2, 3, -2, 4},
    7,
    512,
    384};
inline constexpr EnergyRecord k1650{
    1650,
    {-928319574, -1066106110, 1000462897, -1094367677, -1066106110, 1016939704, 2, 2, -1, 4},
    7,
    640,
    480};
inline constexpr EnergyRecord k1800{
    1800,
    {-893396887, -1068000000, 828398771, -748030352, -1068000000, 810829923, 2, 2, -1, 4},
    7,
    640,
    480};
inline constexpr EnergyRecord k1300{
    1300,
    {-1343795008, -1066106110, 1403854098, -1485351378, -1066106110, 1417900611, 2, 2, -1, 4},
    7,
    640,
    480};

inline constexpr std::array<const EnergyRecord*, 7> kAll = {&k2100, &k600,  &k3000, &k2250,
                                                            &k1650, &k1800, &k1300};

}  // namespace energy

// The receive front end's rejection filters: this modem's own tone taken out
// of what it hears (zeros a few hertz either side of it, poles of radius
// 0.82 on it).
namespace rejection {

// Zeros at 1295 and 1305 Hz: the calling tone.
inline constexpr BandFilterCoefficients k1300{
    -1410643137, -723393439, 1162198919, -1421210413, -723393439, 1162198919, 2, 0, 1, -1};
// Zeros at 2096 and 2105 Hz: the answer tone.
inline constexpr BandFilterCoefficients k2100{
    -412058456, -723393439, 343876849, -425843611, -723393439, 343876849, 2, 0, 0, 0};

}  // namespace rejection

}  // namespace pump
