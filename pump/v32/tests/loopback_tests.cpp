// Our transmitter into our receiver: S, S-bar, TRN and data at every rate,
// straight and with white noise added, the data recovered bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "pump/v32/rate_words.h"
#include "pump/v32/receiver.h"
#include "pump/v32/transmitter.h"

namespace pump::v32 {
namespace {

struct Link {
  DataRate rate;
  Polynomial polynomial;
  double noise_rms;  // added to every line sample
  double gain;       // of the line
  double ppm = 0;    // the receiver's sample clock against the transmitter's
  double shift_hz = 0;  // frequency offset of the line (single sideband)
  double jitter_deg = 0;  // sinusoidal phase jitter: peak and rate
  double jitter_hz = 0;
};

// The line's phase turned as a channel's frequency offset and phase jitter
// turn it: x cos(p) - H{x} sin(p) with p = 2 pi hz t + jitter, the Hilbert
// transform a Blackman-windowed FIR of 32 samples a side (the line's band
// sits well inside 0..3600 Hz).
std::vector<double> TurnPhase(const std::vector<double>& line, const Link& link) {
  if (link.shift_hz == 0 && link.jitter_deg == 0) return line;
  constexpr int kSide = 32;
  constexpr double kPi = 3.14159265358979323846;
  std::vector<double> taps(2 * kSide + 1, 0.0);
  for (int k = 1; k <= kSide; k += 2) {
    const double w = 0.42 + 0.5 * std::cos(kPi * k / (kSide + 1)) + 0.08 * std::cos(2 * kPi * k / (kSide + 1));
    taps[kSide + k] = 2 / (kPi * k) * w;
    taps[kSide - k] = -taps[kSide + k];
  }
  std::vector<double> out(line.size(), 0.0);
  for (std::size_t n = kSide; n + kSide < line.size(); ++n) {
    double h = 0;
    for (int k = -kSide; k <= kSide; ++k) h += taps[kSide + k] * line[n - k];
    const double t = static_cast<double>(n) / 7200.0;
    const double phase = 2 * kPi * link.shift_hz * t + link.jitter_deg * kPi / 180 * std::sin(2 * kPi * link.jitter_hz * t);
    out[n] = line[n] * std::cos(phase) - h * std::sin(phase);
  }
  return out;
}

// The line as sampled by a clock `ppm` parts per million fast: a
// Blackman-windowed sinc of 32 samples a side (the line's band ends well
// below the 3600 Hz Nyquist edge).
std::vector<double> Resample(const std::vector<double>& line, double ppm) {
  if (ppm == 0) return line;
  constexpr int kSide = 32;
  constexpr double kPi = 3.14159265358979323846;
  const double period = 1.0 / (1.0 + ppm * 1e-6);
  // Each tap one sample further back: x falls by one, sin(pi x) changes sign
  // and the window's cosines turn by -pi/32 and -2 pi/32.
  const std::complex<double> turn = std::polar(1.0, -kPi / kSide);
  std::vector<double> out;
  for (double t = kSide; t < static_cast<double>(line.size()) - kSide; t += period) {
    const auto base = static_cast<long>(std::floor(t));
    double x = t - static_cast<double>(base - kSide + 1);
    double sine = std::sin(kPi * x);
    std::complex<double> w1 = std::polar(1.0, kPi * x / kSide);
    double sum = 0;
    for (long k = base - kSide + 1; k <= base + kSide; ++k) {
      const double sinc = std::abs(x) < 1e-12 ? 1.0 : sine / (kPi * x);
      const std::complex<double> w2 = w1 * w1;
      sum += line[static_cast<std::size_t>(k)] * sinc * (0.42 + 0.5 * w1.real() + 0.08 * w2.real());
      x -= 1;
      sine = -sine;
      w1 *= turn;
    }
    out.push_back(sum);
  }
  return out;
}

struct Result {
  std::size_t compared = 0;
  std::size_t errors = 0;
  std::uint16_t rate_word = 0;  // what the receiver confirmed
  std::uint16_t e_word = 0;
  DataRate rate = DataRate::k4800;
  double learnt_ppm = 0;  // the timing loop's steady correction per symbol
  double learnt_hz = 0;   // the carrier loop's frequency
};

// The rate sequence that offers only the rate, and its E.
std::uint16_t RateWordFor(DataRate rate) {
  switch (rate) {
    case DataRate::k4800: return LocalRateWord(16, 0x02);
    case DataRate::k7200: return LocalRateWord(16, 0x04);
    case DataRate::k9600Trellis: return LocalRateWord(16, 0x08);
    case DataRate::k9600Uncoded: return 0x88C0;  // a V.32 word without trellis coding
    case DataRate::k12000: return LocalRateWord(16, 0x10);
    case DataRate::k14400: return LocalRateWord(16, 0x20);
  }
  return 0;
}
std::uint16_t EFor(DataRate rate) { return HighestRateWord(RateWordFor(rate)) | 0xF; }

Result RunLink(const Link& link, int data_symbols, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, link.noise_rms);
  const int bits = ModeOf(link.rate).bits;
  constexpr int kTrn2 = 256;
  constexpr int kTrn4 = 1024;

  TxSymbolState tx;
  tx.polynomial = link.polynomial;
  Modulator modulator;
  std::vector<std::uint32_t> sent;
  std::vector<double> line;
  auto send = [&](TxSignal signal, int symbols) {
    for (int k = 0; k < symbols; ++k) {
      const std::uint32_t data = random() & ((1u << bits) - 1);
      bool took = false;
      const Point p = NextSymbol(tx, signal, data, &took);
      if (took) sent.push_back(data);
      std::int16_t samples[3];
      ModulateSymbol(modulator, p, samples);
      for (const std::int16_t s : samples) line.push_back(s * link.gain);
    }
  };
  send(TxSignal::kSilence, 40);
  send(TxSignal::kS, 256);
  send(TxSignal::kSbar, 16);
  StartTraining(tx);
  send(TxSignal::kTrn2, kTrn2);
  send(TxSignal::kTrn4, kTrn4);
  StartWord(tx, RateWordFor(link.rate));
  send(TxSignal::kRateWord, 4 * 8);
  StartWord(tx, EFor(link.rate));
  send(TxSignal::kRateWord, 8);
  StartData(tx, link.rate);
  send(TxSignal::kData, kOnesBeforeData + data_symbols + 60);

  Receiver rx;
  ResetReceiver(rx, {.far_polynomial = link.polynomial, .trn2_symbols = kTrn2, .trn4_symbols = kTrn4});
  std::vector<std::uint32_t> received;
  for (const double sample : Resample(TurnPhase(line, link), link.ppm)) {
    const auto x = static_cast<std::int16_t>(std::clamp(std::lround(sample + noise(random)), -32768L, 32767L));
    if (const auto out = ReceiverStep(rx, x)) received.push_back(out->bits);
  }

  Result result{.rate_word = rx.rate_word, .e_word = rx.e_word, .rate = rx.rate};
  // The integrator's share of the instant's move per symbol (three samples).
  result.learnt_ppm = -static_cast<double>(rx.timing_loop.integrator >> 8) / kTimingOne / 3 * 1e6;
  // The carrier phase (2^27 a turn) advances by the frequency each symbol.
  result.learnt_hz = rx.frequency / 134217728.0 * 2400;
  result.compared = std::min(received.size(), static_cast<std::size_t>(data_symbols));
  for (std::size_t k = 0; k < result.compared; ++k) {
    result.errors += static_cast<std::size_t>(__builtin_popcount(sent[k] ^ received[k]));
  }
  return result;
}

TEST(V32Loopback, EveryRateIsRecoveredErrorFreeWithoutNoise) {
  for (const DataRate rate : kAllRates) {
    for (const Polynomial p : {Polynomial::kCaller, Polynomial::kAnswerer}) {
      SCOPED_TRACE(testing::Message() << "bits " << ModeOf(rate).bits << " trellis " << ModeOf(rate).trellis
                                      << " poly " << static_cast<int>(p));
      const Result r = RunLink({rate, p, 0.0, 1.0}, 2000, 5);
      EXPECT_EQ(r.rate_word, RateWordFor(rate));
      EXPECT_EQ(r.e_word, EFor(rate));
      EXPECT_EQ(r.rate, rate);
      EXPECT_EQ(r.compared, 2000u);
      EXPECT_EQ(r.errors, 0u);
    }
  }
}

// Noise as a signal-to-noise ratio: the transmitter's data power over the
// noise power on the line.
double NoiseRmsFor(DataRate rate, double snr_db) {
  double power = 0;
  for (unsigned k = 0; k < SetSize(rate); ++k) {
    const Point p = PointOf(rate, k);
    power += static_cast<double>(p.i) * p.i + static_cast<double>(p.q) * p.q;
  }
  power /= SetSize(rate);
  // A real line sample carries half the complex symbol power.
  return std::sqrt(power / 2 / std::pow(10.0, snr_db / 10));
}

// Each rate at an SNR 6 to 8 dB above the theoretical 10^-5 point of its
// set (uncoded QAM; the trellis rates with the code's 4 dB of gain), on a
// line at half gain.
TEST(V32Loopback, EveryRateIsErrorFreeThroughNoiseAtItsMargin) {
  struct Case {
    DataRate rate;
    double snr_db;
  };
  const Case cases[] = {{DataRate::k4800, 19}, {DataRate::k7200, 20},  {DataRate::k9600Trellis, 23},
                        {DataRate::k9600Uncoded, 25}, {DataRate::k12000, 27}, {DataRate::k14400, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "bits " << ModeOf(c.rate).bits << " trellis " << ModeOf(c.rate).trellis);
    const Result r = RunLink({c.rate, Polynomial::kCaller, NoiseRmsFor(c.rate, c.snr_db) * 0.5, 0.5}, 3000, 11);
    EXPECT_EQ(r.compared, 3000u);
    EXPECT_EQ(r.errors, 0u);
  }
}

// A receiver clock 100 ppm off the transmitter's drifts 0.72 samples a
// second; over 8000 symbols (3.3 s, 2.4 samples of drift) the timing
// loop keeps every rate error-free at its margin, and its integrator has
// learnt the offset.
TEST(V32Loopback, TimingLoopTracksTheFarClockWithinAHundredPpm) {
  struct Case {
    DataRate rate;
    double snr_db;
  };
  const Case cases[] = {{DataRate::k4800, 19}, {DataRate::k9600Uncoded, 25}, {DataRate::k14400, 30}};
  for (const Case& c : cases) {
    for (const double ppm : {-100.0, 100.0}) {
      SCOPED_TRACE(testing::Message() << "bits " << ModeOf(c.rate).bits << " ppm " << ppm);
      const Result r = RunLink({c.rate, Polynomial::kCaller, NoiseRmsFor(c.rate, c.snr_db), 1.0, ppm}, 8000, 7);
      EXPECT_EQ(r.compared, 8000u);
      EXPECT_EQ(r.errors, 0u);
      EXPECT_NEAR(r.learnt_ppm, ppm, 15.0);
    }
  }
}

// A line that moves the carrier by a few hertz: the carrier loop follows
// through training into data, its frequency term is the offset, and the
// rates stay error-free at their margins.
TEST(V32Loopback, CarrierLoopFollowsAFrequencyOffset) {
  struct Case {
    DataRate rate;
    double snr_db;
  };
  const Case cases[] = {{DataRate::k4800, 19}, {DataRate::k14400, 30}};
  for (const Case& c : cases) {
    for (const double hz : {-7.0, -2.0, 2.0, 7.0}) {
      SCOPED_TRACE(testing::Message() << "bits " << ModeOf(c.rate).bits << " offset " << hz << " Hz");
      const Result r = RunLink({c.rate, Polynomial::kCaller, NoiseRmsFor(c.rate, c.snr_db), 1.0, 0, hz}, 3000, 13);
      EXPECT_EQ(r.compared, 3000u);
      EXPECT_EQ(r.errors, 0u);
      EXPECT_NEAR(r.learnt_hz, hz, 0.5);
    }
  }
}

// 5 degrees of 50 Hz phase jitter at 14400 and 30 dB: the carrier loop
// alone leaves errors (450 in these 24000 bits); with the jitter predictor
// the data is error-free.
TEST(V32Loopback, JitterPredictorRemovesFiftyHertzPhaseJitter) {
  const Result r = RunLink({DataRate::k14400, Polynomial::kCaller, NoiseRmsFor(DataRate::k14400, 30), 1.0, 0, 0, 5, 50}, 4000, 3);
  EXPECT_EQ(r.compared, 4000u);
  EXPECT_EQ(r.errors, 0u);
}

// The measured table: set V32_BER_SWEEP=1 to print bit errors per rate and
// SNR, V32_PPM to offset the receiver's clock, V32_JITTER to add that many
// degrees of 50 Hz phase jitter.
TEST(V32Loopback, BerSweepWhenAsked) {
  if (std::getenv("V32_BER_SWEEP") == nullptr) GTEST_SKIP() << "set V32_BER_SWEEP=1";
  const char* ppm = std::getenv("V32_PPM");
  const char* jitter = std::getenv("V32_JITTER");
  for (const DataRate rate : kAllRates) {
    for (double snr = 12; snr <= 32; snr += 2) {
      const Result r = RunLink({rate, Polynomial::kCaller, NoiseRmsFor(rate, snr), 1.0, ppm ? std::atof(ppm) : 0.0, 0,
                                jitter ? std::atof(jitter) : 0.0, 50}, 20000, 3);
      std::printf("bits %d trellis %d snr %4.1f dB: %zu errors in %zu bits\n", ModeOf(rate).bits,
                  ModeOf(rate).trellis ? 1 : 0, snr, r.errors, r.compared * ModeOf(rate).bits);
    }
  }
}

}  // namespace
}  // namespace pump::v32
