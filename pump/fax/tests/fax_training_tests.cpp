// The transmitter's bursts symbol by symbol: the echo-protection tone
// framed by silence, each modulation's training and marks, against the
// points spandsp's transmitters send.
#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <vector>

#include "pump/fax/fax_configure.h"
#include "pump/fax/tests/fax_test_kind.h"
#include "pump/fax/fax_tx_states.h"
#include "pump/fax/tests/spandsp_fax_tx_points.h"
#include "pump/core/comram.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::SpandspFaxModem;

// Our transmitter's first `symbols` points after a transmit configuration.
std::vector<std::complex<double>> OurBurst(std::uint16_t mode_word, int symbols) {
  std::vector<std::complex<double>> points;
  testing::PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    context.fax.mode_word = mode_word;
    context.fax.modulation_kind = testing::FaxKindOf(mode_word);
    context.fax.options = 0;
    ConfigureFax(context);
    for (int s = 0; s < symbols; ++s) {
      FaxTxSymbol(context);
      points.emplace_back(context.fax.tx.point_i, context.fax.tx.point_q);
    }
  });
  return points;
}

struct TrainingRow {
  const char* name;
  std::uint16_t mode_word;
  SpandspFaxModem modem;
  int bit_rate;
  bool short_training;
  int our_start;    // our first alternation symbol
  int their_start;  // spandsp's
  int symbols;      // compared from there: the training
};

// From the alternation on, our training is spandsp's, point for point up
// to one scale (and a constant turn).
TEST(FaxTxBursts, TrainingEqualsSpandspTransmitters) {
  const TrainingRow rows[] = {
      {"V.17 14400 long", 0x20, SpandspFaxModem::kV17, 14400, false, 1 + 458 + 54, 528, 256 + 2976 + 64},
      {"V.17 7200 short", 0x2B, SpandspFaxModem::kV17, 7200, true, 1 + 458 + 54, 528, 256 + 38},
      {"V.29 9600", 0x10, SpandspFaxModem::kV29, 9600, false, 1 + 262 + 458 + 62, 528, 128 + 384},
      {"V.29 4800", 0x12, SpandspFaxModem::kV29, 4800, false, 1 + 262 + 458 + 62, 528, 128 + 384},
      {"V.27ter 4800", 0x00, SpandspFaxModem::kV27ter, 4800, false, 1 + 42 + 306 + 42, 352, 50 + 1074},
      {"V.27ter 2400", 0x01, SpandspFaxModem::kV27ter, 2400, false, 1 + 42 + 230 + 24, 352, 50 + 1074},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto ours = OurBurst(row.mode_word, row.our_start + row.symbols);
    const auto theirs = testing::SpandspBurstPoints(row.modem, row.bit_rate, row.short_training,
                                                     row.their_start + row.symbols);
    // One complex factor: the sets' units, and for differential phase
    // modulation any constant turn; never a mirror.
    const std::complex<double> scale = theirs[static_cast<std::size_t>(row.their_start)] /
                                       ours[static_cast<std::size_t>(row.our_start)];
    int mismatches = 0;
    for (int k = 0; k < row.symbols; ++k) {
      const auto o = ours[static_cast<std::size_t>(row.our_start + k)] * scale;
      const auto t = theirs[static_cast<std::size_t>(row.their_start + k)];
      if (std::abs(o - t) > 0.03 * std::max(1.0, std::abs(t))) {
        if (++mismatches <= 4) ADD_FAILURE() << "symbol " << k << ": ours " << o << " theirs " << t;
      }
    }
    EXPECT_EQ(0, mismatches);
  }
}

}  // namespace
}  // namespace pump

namespace pump {
namespace {

int FaxOrderCdCount(const std::vector<testing::ReceivedPacket>& packets) {
  int n = 0;
  for (const auto& p : packets) n += p.code == kDpFaxCd ? 1 : 0;
  return n;
}

// V.17 14400 long through the commands: with the request already raised
// the training starts in the first block; status 8 and the carrier bit
// come with the first data symbol (3857 symbols in: block 161); 0x74 in
// data leaves 168 marks (7 blocks) before the transmitter's DP_FAX_CD;
// 0x74 in training goes back to waiting, and 0x75 starts a new burst.
TEST(FaxTxBursts, OrderOfABurstAndItsEnd) {
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    controller.Exchange(0x73, {0xE0, 0x00});
    DspContext& c = harness.Context();
    const std::uint8_t& status = harness.Host().comram.reg[kRegStatus];
    harness.RunBlocks(1);
    EXPECT_EQ(c.fax.tx.machine.position, 1);                // TxCarrier
    EXPECT_EQ(c.fax.tx.machine.remaining_count, 458 - 23);  // 23 of the block's 24 symbols
    harness.RunBlocks(159);
    EXPECT_EQ(status & 0x1F, 0);
    const int interrupts = controller.Interrupts();
    harness.RunBlocks(1);
    EXPECT_EQ(status & 0x0F, 8);
    EXPECT_NE(status & kStatusCarrier, 0);
    EXPECT_EQ(c.transmitting, 1u);
    EXPECT_GT(controller.Interrupts(), interrupts);
    harness.RunBlocks(3);
    controller.TakePackets();
    EXPECT_EQ(FaxOrderCdCount(controller.Exchange(0x74)), 1);  // the command's own
    harness.RunBlocks(7);
    EXPECT_EQ(FaxOrderCdCount(controller.TakePackets()), 0);
    harness.RunBlocks(1);
    EXPECT_EQ(FaxOrderCdCount(controller.TakePackets()), 1);  // TxEnd
    EXPECT_EQ(c.fax.tx.machine.position, 0);                 // waiting again
    EXPECT_EQ(c.transmitting, 0u);

    // Raised again: a new burst; dropped in its training, it waits again
    // without a tail and without the transmitter's DP_FAX_CD.
    controller.Exchange(0x75);
    harness.RunBlocks(40);
    EXPECT_EQ(c.fax.tx.machine.position, 4);  // TxPrsV17
    controller.Exchange(0x74);
    controller.TakePackets();
    harness.RunBlocks(10);
    EXPECT_EQ(c.fax.tx.machine.position, 0);
    EXPECT_EQ(FaxOrderCdCount(controller.TakePackets()), 0);
    controller.Exchange(0x75);
    harness.RunBlocks(1);
    EXPECT_EQ(c.fax.tx.machine.position, 1);
  });
}

}  // namespace
}  // namespace pump
