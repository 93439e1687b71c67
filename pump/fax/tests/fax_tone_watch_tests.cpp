// The fax tone watch of our originating fax call (0x68 with the fax bit),
// hearing spandsp's answerer: its answer tone (CED) then a V.21 channel 2
// preamble, or a preamble alone.
#include <gtest/gtest.h>

#include <memory>

#include "pump/core/comram.h"
#include "pump/fax/fax_tone_watch.h"
#include "pump/handshake/tests/handshake_rig.h"
#include "pump/idle/idle_mode.h"
#include "pump/tests/support/spandsp_headers.h"

#include <spandsp/power_meter.h>
#include <spandsp/fsk.h>

namespace pump {
namespace {

using handshake_test::AnswerTone;
using handshake_test::FarEnd;
using handshake_test::kBlock;
using handshake_test::LineGenerator;
using handshake_test::PumpHarness;

// spandsp's V.21 channel 2 sending HDLC flags (0x7E, first bit first).
LineGenerator Preamble() {
  struct Flags {
    int bit = 0;
    static int Get(void* user) {
      auto* f = static_cast<Flags*>(user);
      const int b = (0x7E >> f->bit) & 1;
      f->bit = (f->bit + 1) % 8;
      return b;
    }
  };
  auto flags = std::make_shared<Flags>();
  std::shared_ptr<fsk_tx_state_t> tx(fsk_tx_init(nullptr, &preset_fsk_specs[FSK_V21CH2], Flags::Get, flags.get()),
                                     fsk_tx_free);
  fsk_tx_power(tx.get(), -13.0f);
  return [tx, flags](std::span<std::int16_t> out) { return fsk_tx(tx.get(), out.data(), static_cast<int>(out.size())); };
}

struct WatchHeard {
  int reports = 0;           // status 8 with the carrier bit, counted as it appears
  int first_report = -1;     // its block
  int calling_tone_end = -1; // the block the transmitter went idle
};

// Our fax call started (0x68: mode 3, originating, the fax bit), then
// `blocks` blocks of the far end.
WatchHeard Watch(std::vector<handshake_test::Stretch> far_end, int blocks) {
  WatchHeard heard;
  PumpHarness harness;
  harness.Run([&] {
    cp_test::StartCall(harness);
    harness.Controller().Exchange(0x68, {0x00, 0x03, 0x24, 0x00});
    ASSERT_EQ(harness.Context().rx.table.data(), FaxToneWatchTable().data());
    ASSERT_NE(harness.Context().tx.table.data(), kTxIdleTable.data()) << "the calling tone";
    FarEnd far(std::move(far_end));
    const std::uint8_t& status = harness.Host().comram.reg[kRegStatus];
    bool reported = false;
    std::int16_t block[kBlock];
    for (int b = 0; b < blocks; ++b) {
      far.Next(block);
      harness.Afe().FeedLine(block);
      harness.RunBlocks(1);
      const bool now = (status & 0x0F) == 8 && (status & kStatusCarrier) != 0;
      if (now && !reported && heard.first_report < 0) heard.first_report = b;
      heard.reports += now && !reported ? 1 : 0;
      reported = now;
      if (heard.calling_tone_end < 0 && harness.Context().tx.table.data() == kTxIdleTable.data()) heard.calling_tone_end = b;
    }
  });
  return heard;
}

constexpr int kBlocksPerSecond = 100;

TEST(FaxToneWatch, AnAnswerToneThenAPreambleReportOnceWhenTheToneEnds) {
  // CED for 2.6 s, half a second of silence, then the preamble for a
  // second: the report belongs to the tone's end (block 260) and comes
  // long before the preamble starts (block 310).
  const WatchHeard heard =
      Watch({{AnswerTone(MODEM_CONNECT_TONES_ANS), 2600}, {nullptr, 500}, {Preamble(), 1000}}, 4 * kBlocksPerSecond);
  EXPECT_EQ(heard.reports, 1);
  EXPECT_GE(heard.first_report, 260);
  EXPECT_LT(heard.first_report, 260 + 8);
  EXPECT_EQ(heard.calling_tone_end, heard.first_report);
}

// V.21 channel 2's mark (1650 Hz) alone, as a preamble starts.
TEST(FaxToneWatch, AV21CarrierAloneReportsAtOnceAndStopsTheCallingTone) {
  const WatchHeard heard = Watch({{nullptr, 300}, {handshake_test::FskMarks(FSK_V21CH2), 1500}}, 2 * kBlocksPerSecond);
  EXPECT_EQ(heard.reports, 1);
  // Ten blocks of the preamble, and a few for the detector's filter.
  EXPECT_GE(heard.first_report, 30 + 10);
  EXPECT_LT(heard.first_report, 30 + 10 + 6);
  EXPECT_EQ(heard.calling_tone_end, heard.first_report);
}

TEST(FaxToneWatch, NothingHeardNothingReported) {
  const WatchHeard heard = Watch({{nullptr, 1000}}, kBlocksPerSecond);
  EXPECT_EQ(heard.reports, 0);
  EXPECT_EQ(heard.calling_tone_end, -1);
}

}  // namespace
}  // namespace pump
