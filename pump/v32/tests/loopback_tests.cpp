// Our transmitter into our receiver: S, S-bar, TRN and data at every rate,
// straight and with white noise added, the data recovered bit for bit.
#include <gtest/gtest.h>

#include <cmath>
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
};

struct Result {
  std::size_t compared = 0;
  std::size_t errors = 0;
  std::uint16_t rate_word = 0;  // what the receiver confirmed
  std::uint16_t e_word = 0;
  DataRate rate = DataRate::k4800;
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
  for (const double sample : line) {
    const auto x = static_cast<std::int16_t>(std::clamp(std::lround(sample + noise(random)), -32768L, 32767L));
    if (const auto out = ReceiverStep(rx, x)) received.push_back(out->bits);
  }

  Result result{.rate_word = rx.rate_word, .e_word = rx.e_word, .rate = rx.rate};
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

// The measured table: set V32_BER_SWEEP=1 to print bit errors per rate and SNR.
TEST(V32Loopback, BerSweepWhenAsked) {
  if (std::getenv("V32_BER_SWEEP") == nullptr) GTEST_SKIP() << "set V32_BER_SWEEP=1";
  for (const DataRate rate : kAllRates) {
    for (double snr = 12; snr <= 32; snr += 2) {
      const Result r = RunLink({rate, Polynomial::kCaller, NoiseRmsFor(rate, snr), 1.0}, 20000, 3);
      std::printf("bits %d trellis %d snr %4.1f dB: %zu errors in %zu bits\n", ModeOf(rate).bits,
                  ModeOf(rate).trellis ? 1 : 0, snr, r.errors, r.compared * ModeOf(rate).bits);
    }
  }
}

}  // namespace
}  // namespace pump::v32
