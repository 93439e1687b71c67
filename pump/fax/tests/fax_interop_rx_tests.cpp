// spandsp's fax transmitters into our receiver with its own training,
// through the line port's resampler from 8000 Hz: seeded data and a TCF of
// zeros, with and without the echo-protection tone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>

#include "pump/tests/support/fax_rx_line_rig.h"
#include "pump/tests/support/fax_train_rig.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"

#include <spandsp/v17tx.h>
#include <spandsp/v27ter_tx.h>
#include <spandsp/v29tx.h>

namespace pump {
namespace {

using testing::CountRawBitErrors;
using testing::FaxRxSeededBytes;
using testing::FaxRxWithNoise;
using testing::FaxTrainReceive;
using testing::LineGenerator;
using testing::SpandspSource;

enum class Modem { kV17, kV29, kV27ter };

// The bits of `bytes`, first bit first, then ones.
struct BitFeed {
  std::vector<std::uint8_t> bytes;
  std::size_t at = 0;
  static int Next(void* user) {
    auto& self = *static_cast<BitFeed*>(user);
    if (self.at >= self.bytes.size() * 8) return 1;
    const int bit = (self.bytes[self.at / 8] >> (self.at % 8)) & 1;
    ++self.at;
    return bit;
  }
};

// A spandsp transmitter as a line generator (8000 Hz).
struct SpandspTx {
  std::shared_ptr<BitFeed> feed;
  std::shared_ptr<v17_tx_state_t> v17;
  std::shared_ptr<v29_tx_state_t> v29;
  std::shared_ptr<v27ter_tx_state_t> v27;
  LineGenerator generator() const {
    SpandspTx self = *this;
    return [self](std::span<std::int16_t> out) {
      const int n = static_cast<int>(out.size());
      if (self.v17) return v17_tx(self.v17.get(), out.data(), n);
      if (self.v29) return v29_tx(self.v29.get(), out.data(), n);
      return v27ter_tx(self.v27.get(), out.data(), n);
    };
  }
};

SpandspTx MakeTx(Modem modem, int bit_rate, bool tep, std::vector<std::uint8_t> bytes) {
  SpandspTx tx;
  tx.feed = std::make_shared<BitFeed>(BitFeed{std::move(bytes)});
  switch (modem) {
    case Modem::kV17:
      tx.v17.reset(v17_tx_init(nullptr, bit_rate, tep, BitFeed::Next, tx.feed.get()), v17_tx_free);
      break;
    case Modem::kV29:
      tx.v29.reset(v29_tx_init(nullptr, bit_rate, tep, BitFeed::Next, tx.feed.get()), v29_tx_free);
      break;
    case Modem::kV27ter:
      tx.v27.reset(v27ter_tx_init(nullptr, bit_rate, tep, BitFeed::Next, tx.feed.get()), v27ter_tx_free);
      break;
  }
  return tx;
}

// `ms` of the transmitter at 9600 Hz after 30 ms of silence, then 300 ms
// of silence.
std::vector<std::int16_t> Burst(const SpandspTx& tx, int ms) {
  std::vector<std::int16_t> line(288, 0);
  SpandspSource source(tx.generator());
  const auto sent = source.Take(static_cast<std::size_t>(ms) * 96 / 10);
  line.insert(line.end(), sent.begin(), sent.end());
  line.insert(line.end(), 2880, 0);
  return line;
}

struct InteropRow {
  const char* name;
  Modem modem;
  int bit_rate;
  std::uint8_t config;  // our 0x73 byte 0
  int training_ms;      // spandsp's training, echo-protection tone included
};

const InteropRow kInteropRows[] = {
    {"v29_tx 9600", Modem::kV29, 9600, 0xB7, 500},   {"v29_tx 7200", Modem::kV29, 7200, 0xB6, 500},
    {"v29_tx 4800", Modem::kV29, 4800, 0xB5, 500},   {"v17_tx 14400", Modem::kV17, 14400, 0xE9, 1700},
    {"v17_tx 12000", Modem::kV17, 12000, 0xE8, 1700}, {"v17_tx 9600", Modem::kV17, 9600, 0xE7, 1700},
    {"v17_tx 7200", Modem::kV17, 7200, 0xE5, 1700},
};

int InteropErrors(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& got) {
  return static_cast<int>(CountRawBitErrors(data, got).errors);
}

TEST(FaxInterop, SpandspTransmittersIntoOurReceiverWithAndWithoutTheEchoProtectionTone) {
  for (const InteropRow& row : kInteropRows) {
    for (const bool tep : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (tep ? " with the tone" : " without the tone"));
      const auto data = FaxRxSeededBytes(300, 44);
      const int data_ms = static_cast<int>(data.size() * 8 * 1000 / static_cast<std::size_t>(row.bit_rate)) + 100;
      const auto line = FaxRxWithNoise(Burst(MakeTx(row.modem, row.bit_rate, tep, data), row.training_ms + data_ms), 30, 4);
      const auto run = FaxTrainReceive(row.config, line);
      EXPECT_EQ(InteropErrors(data, run.bytes), 0);
      EXPECT_EQ(run.data_reports, 1);
      EXPECT_EQ(run.carrier_lost, 1);
    }
  }
}

// Bit errors in 2400 seeded bits against the SNR, spandsp's transmitter and
// ours into our receiver; printed, run only with FAX_TRAIN_BER_SWEEP=1.
TEST(FaxInterop, BitErrorsAgainstNoiseSweep) {
  if (std::getenv("FAX_TRAIN_BER_SWEEP") == nullptr) GTEST_SKIP() << "set FAX_TRAIN_BER_SWEEP=1 to run";
  const double snrs[] = {9, 12, 15, 18, 21, 24, 30};
  for (const InteropRow& row : kInteropRows) {
    std::printf("%-14s", row.name);
    const auto data = FaxRxSeededBytes(300, 47);
    const int data_ms = static_cast<int>(data.size() * 8 * 1000 / static_cast<std::size_t>(row.bit_rate)) + 100;
    const auto spandsp_line = Burst(MakeTx(row.modem, row.bit_rate, false, data), row.training_ms + data_ms);
    const auto our_line = testing::FaxRxTransmitted(row.config, data);
    for (const double snr : snrs) {
      const int theirs = InteropErrors(data, FaxTrainReceive(row.config, FaxRxWithNoise(spandsp_line, snr, 8)).bytes);
      const int ours = InteropErrors(data, FaxTrainReceive(row.config, FaxRxWithNoise(our_line, snr, 8)).bytes);
      std::printf(" %4.0f dB %4d/%4d", snr, ours, theirs);
    }
    std::printf("   (ours/spandsp's transmitter)\n");
  }
}

// The bits of `bytes`, first bit first.
std::vector<std::uint8_t> BitsOf(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> bits;
  for (const std::uint8_t byte : bytes) {
    for (int k = 0; k < 8; ++k) bits.push_back(static_cast<std::uint8_t>((byte >> k) & 1));
  }
  return bits;
}

// A TCF: 1.5 s of zeros, then a seeded tail that fixes where the zeros
// end, at V.17's top and bottom rates. The tail arrives bit-exact and
// right behind it an unbroken run of zeros: all of them but the first
// 80 octets at most, which the receiver spends on its marks before its
// data output begins.
TEST(FaxInterop, ATcfOfZerosComesThroughBitExact) {
  for (const InteropRow& row : {kInteropRows[3], kInteropRows[6]}) {
    SCOPED_TRACE(row.name);
    std::vector<std::uint8_t> sent(static_cast<std::size_t>(row.bit_rate) * 3 / 16, 0);
    const std::size_t zero_bits = sent.size() * 8;
    const auto tail = FaxRxSeededBytes(64, 12);
    sent.insert(sent.end(), tail.begin(), tail.end());
    const auto line = FaxRxWithNoise(Burst(MakeTx(row.modem, row.bit_rate, false, sent), row.training_ms + 1600), 30, 5);
    const auto got = BitsOf(FaxTrainReceive(row.config, line).bytes);
    const auto tail_bits = BitsOf(tail);
    const auto at = std::search(got.begin(), got.end(), tail_bits.begin(), tail_bits.end());
    ASSERT_NE(at, got.end()) << "the tail never arrived whole";
    const auto last_one = std::find(std::make_reverse_iterator(at), got.rend(), std::uint8_t{1});
    const auto zero_run = static_cast<std::size_t>(std::distance(std::make_reverse_iterator(at), last_one));
    EXPECT_LE(zero_run, zero_bits);
    EXPECT_GE(zero_run + 80 * 8, zero_bits);
  }
}

}  // namespace
}  // namespace pump
