// The reference modulator plays a caller's start and data, built from the
// recommendation's rules, into our receiver: every rate's data comes back.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "pump/v32/rate_words.h"
#include "pump/v32/receiver.h"
#include "pump/v32/tests/reference.h"

namespace pump::v32 {
namespace {

TEST(V32Reference, OurReceiverDecodesTheReferenceCallerAtEveryRate) {
  struct Case {
    DataRate rate;
    std::uint16_t word;
  };
  const Case cases[] = {{DataRate::k4800, 0x89B0},        {DataRate::k7200, 0x8B90},
                        {DataRate::k9600Trellis, 0x89D0}, {DataRate::k9600Uncoded, 0x88C0},
                        {DataRate::k12000, 0x8D90},       {DataRate::k14400, 0x9990}};
  for (const Case& c : cases) {
    for (const Polynomial p : {Polynomial::kCaller, Polynomial::kAnswerer}) {
      SCOPED_TRACE(::testing::Message() << "bits " << ModeOf(c.rate).bits << " trellis " << ModeOf(c.rate).trellis
                                        << " polynomial " << static_cast<int>(p));
      const int bits = ModeOf(c.rate).bits;
      std::mt19937 random(static_cast<unsigned>(c.word));
      std::vector<std::uint32_t> data(1500);
      for (auto& d : data) d = random() & ((1u << bits) - 1);
      const std::uint16_t e = HighestRateWord(c.word) | 0xF;
      std::vector<reference::PointD> points = reference::CallerSequence(c.rate, p, c.word, e, data);
      points.insert(points.end(), 40, reference::PointD{0, 0});
      Receiver rx;
      ResetReceiver(rx, {.far_polynomial = p, .trn2_symbols = 256, .trn4_symbols = 1024});
      std::vector<std::uint32_t> received;
      for (const double x : reference::Modulate(points)) {
        if (const auto out = ReceiverStep(rx, static_cast<std::int16_t>(std::lround(x)))) received.push_back(out->bits);
      }
      EXPECT_EQ(rx.rate_word, c.word);
      EXPECT_EQ(rx.e_word, e);
      ASSERT_GE(received.size(), data.size() - 20);
      int errors = 0;
      for (std::size_t k = 0; k < data.size() - 20; ++k) errors += received[k] != data[k];
      EXPECT_EQ(errors, 0);
    }
  }
}

}  // namespace
}  // namespace pump::v32
