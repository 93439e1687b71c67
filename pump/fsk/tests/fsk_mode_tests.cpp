// The FSK modem driven by the controller's commands: 0x6E's V.21 loopback
// test through the front end's test loop, 0x75/0x74 on the transmit
// table, and the fax V.21 receiver against spandsp's HDLC over V.21
// channel 2.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pump/core/comram.h"
#include "pump/fsk/fsk_start.h"
#include "pump/fsk/fsk_tx.h"
#include "pump/framer/framer.h"
#include "pump/packets/dp_packets.h"
#include "pump/pending/pending_log.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"
#include <spandsp/fsk.h>

namespace pump {
namespace {

using testing::PumpHarness;

bool AllZero(std::span<const std::int16_t> s) {
  return std::all_of(s.begin(), s.end(), [](std::int16_t v) { return v == 0; });
}

std::uint8_t Status(PumpHarness& h) { return h.Host().comram.reg[kRegStatus]; }

TEST(FskLoopbackTest, DirectStartLoopsAnHdlcFrameThroughTheTestLoop) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    controller.Exchange(0x6E, {0x00, 2, 0x00, 0x00});
    EXPECT_EQ(harness.Context().fsk.start_type, kFskV21Loopback);
    const std::vector<std::uint8_t> frame = {0xFF, 0x03, 0x10, 0x55, 0xAA, 0x00};
    std::size_t looped = 0;
    bool offered = false;
    for (int block = 0; block < 150; ++block) {
      harness.RunBlocks(1);
      const auto& out = harness.Afe().LineOutput();
      harness.Afe().FeedLine(std::span(out).subspan(looped));
      looped = out.size();
      if (block == 40 && !offered) offered = controller.FillTx(1, frame);
    }
    ASSERT_TRUE(offered);
    EXPECT_EQ(Status(harness) & (kStatusCodeMask | kStatusCarrier),
              kStatusConnected | kStatusCarrier);
    std::vector<std::uint8_t> bytes;
    bool good = false;
    for (const auto& b : controller.RxBlocks()) {
      bytes.insert(bytes.end(), b.data.begin(), b.data.end());
      if (b.kind == 1) {
        good = true;
        break;
      }
    }
    EXPECT_TRUE(good);  // the frame check held
    ASSERT_GE(bytes.size(), frame.size() + 2);
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), bytes.end() - 2 - frame.size()));
  });
}

TEST(FskRts, RaiseStartsTheTransmitterAndDropEndsIt) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    StartFsk(context, kFskFaxTransmit);  // waits for the transmit request
    auto& out = harness.Afe().LineOutput();
    std::size_t from = out.size();
    harness.RunBlocks(5);
    EXPECT_TRUE(AllZero(std::span(out).subspan(from)));
    EXPECT_EQ(context.transmitting, 0u);

    controller.Exchange(0x75);
    harness.RunBlocks(3);
    EXPECT_EQ(context.transmitting, 1u);
    from = out.size();
    harness.RunBlocks(3);
    EXPECT_FALSE(AllZero(std::span(out).subspan(from)));

    const auto packets = controller.Exchange(0x74);
    EXPECT_TRUE(std::any_of(packets.begin(), packets.end(),
                            [](const auto& p) { return p.code == kDpFaxCd; }));
    harness.RunBlocks(3);  // FskTxDataExit, FskTxRestart, back to FskWaitForRts
    from = out.size();
    harness.RunBlocks(5);
    EXPECT_TRUE(AllZero(std::span(out).subspan(from)));
    EXPECT_EQ(context.tx_request, 0u);
    EXPECT_EQ(context.tx.table.data(), FskTxTable().data());
    EXPECT_EQ(context.tx.position, 0);

    // Raised again, it sends again.
    controller.Exchange(0x75);
    harness.RunBlocks(3);
    from = out.size();
    harness.RunBlocks(3);
    EXPECT_FALSE(AllZero(std::span(out).subspan(from)));
  });
}

// With no transmit table of either kind, 0x74 only clears the request.
TEST(FskRts, DropWithNoTransmitterOnlyClearsTheRequest) {
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    const auto table = context.tx.table.data();
    const auto position = context.tx.position;
    harness.Controller().Exchange(0x74);
    EXPECT_EQ(context.tx_request, 0u);
    EXPECT_EQ(context.tx.table.data(), table);
    EXPECT_EQ(context.tx.position, position);
    EXPECT_TRUE(context.fax.tx.machine.table.empty());
  });
}

// spandsp's HDLC transmitter on V.21 channel 2: `flags` flags, a frame,
// then the carrier ends.
std::vector<std::int16_t> FaxFlags(int flags, int level_db) {
  hdlc_tx_state_t* hdlc = hdlc_tx_init(nullptr, false, 1, false, nullptr, nullptr);
  hdlc_tx_flags(hdlc, flags);
  const std::uint8_t frame[] = {0xFF, 0x13, 0x80, 0x00, 0x01};
  hdlc_tx_frame(hdlc, frame, sizeof frame);
  fsk_tx_state_t* tx = fsk_tx_init(
      nullptr, &preset_fsk_specs[FSK_V21CH2],
      [](void* user) { return hdlc_tx_get_bit(static_cast<hdlc_tx_state_t*>(user)); }, hdlc);
  fsk_tx_power(tx, static_cast<float>(level_db));
  const int bits = flags * 8 + 8 * 10;
  int samples_left = bits * 8000 / 300;
  testing::SpandspSource source([&](std::span<std::int16_t> out) {
    const int n = std::min<int>(samples_left, static_cast<int>(out.size()));
    samples_left -= n;
    return n > 0 ? fsk_tx(tx, out.data(), n) : 0;
  });
  std::vector<std::int16_t> line(4800, 0);  // 0.5 s of silence first
  const std::vector<std::int16_t> signal = source.Take(static_cast<std::size_t>(bits * 32 + 9600));
  line.insert(line.end(), signal.begin(), signal.end());
  fsk_tx_free(tx);
  hdlc_tx_free(hdlc);
  return line;
}

struct FaxRun {
  std::vector<testing::ReceivedPacket> packets;
  std::vector<std::uint8_t> statuses;  // register 54 after each block
  bool detected_1650 = false;
};

FaxRun HearFax(const std::vector<std::int16_t>& line, bool watch) {
  FaxRun run;
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    context.v21_watch = watch ? 1 : 0;
    StartFsk(context, kFskFaxReceive);
    InitFramerRx(context, kFramerHdlc);  // the fax data format (command 0x61)
    harness.Afe().FeedLine(line);
    for (std::size_t k = 0; k < line.size() / 96; ++k) {
      harness.RunBlocks(1);
      run.statuses.push_back(Status(harness));
      if (context.rx.position == 2) run.detected_1650 = true;
    }
    run.packets = harness.Controller().TakePackets();
  });
  return run;
}

bool Has(const FaxRun& run, std::uint8_t code) {
  return std::any_of(run.packets.begin(), run.packets.end(),
                     [code](const auto& p) { return p.code == code; });
}

TEST(FaxV21, FlagsGiveTheFaxCarrierAndItsEndTheCarrierDrop) {
  const FaxRun run = HearFax(FaxFlags(40, -12), false);
  EXPECT_TRUE(run.detected_1650);
  EXPECT_TRUE(std::any_of(run.statuses.begin(), run.statuses.end(), [](std::uint8_t s) {
    return (s & (kStatusCodeMask | kStatusCarrier)) == (kStatusFaxCarrier | kStatusCarrier);
  }));
  EXPECT_EQ(run.statuses.back() & (kStatusCodeMask | kStatusCarrier), kStatusIdle);
  EXPECT_TRUE(Has(run, kDpFaxCd));
  EXPECT_FALSE(Has(run, kDpV21OnFax));
}

TEST(FaxV21, TheWatchReportsV21InsteadOfTheCarrier) {
  const FaxRun run = HearFax(FaxFlags(40, -12), true);
  EXPECT_TRUE(Has(run, kDpV21OnFax));
  EXPECT_FALSE(std::any_of(run.statuses.begin(), run.statuses.end(), [](std::uint8_t s) {
    return (s & kStatusCodeMask) == kStatusFaxCarrier;
  }));
}

// Flags at -12 dBm0 for a second, then `drop_db` quieter for a second.
std::vector<std::int16_t> FadingFlags(double drop_db) {
  hdlc_tx_state_t* hdlc = hdlc_tx_init(nullptr, false, 1, false, nullptr, nullptr);
  hdlc_tx_flags(hdlc, 80);
  fsk_tx_state_t* tx = fsk_tx_init(
      nullptr, &preset_fsk_specs[FSK_V21CH2],
      [](void* user) { return hdlc_tx_get_bit(static_cast<hdlc_tx_state_t*>(user)); }, hdlc);
  fsk_tx_power(tx, -12.0f);
  int made = 0;
  testing::SpandspSource source([&](std::span<std::int16_t> out) {
    if (made == 8000) fsk_tx_power(tx, static_cast<float>(-12 - drop_db));
    // Up to the change, then up to the end.
    const int n = std::min(static_cast<int>(out.size()), (made < 8000 ? 8000 : 16000) - made);
    made += n;
    return n > 0 ? fsk_tx(tx, out.data(), n) : 0;
  });
  std::vector<std::int16_t> line(4800, 0);
  const std::vector<std::int16_t> signal = source.Take(2 * 9600);
  line.insert(line.end(), signal.begin(), signal.end());
  fsk_tx_free(tx);
  hdlc_tx_free(hdlc);
  return line;
}

// A fax carrier 8 dB down from its level at the first flags is lost while
// it is still well above the carrier threshold; 3 dB down it stays.
TEST(FaxV21, ACarrierThatFadesSixDecibelsIsLost) {
  const auto during_signal = [](const FaxRun& run) {
    // Blocks 160 to 240: after the fade (block 150), before the end (250).
    return std::vector<std::uint8_t>(run.statuses.begin() + 160, run.statuses.begin() + 240);
  };
  const FaxRun faded = HearFax(FadingFlags(8), false);
  EXPECT_TRUE(Has(faded, kDpFaxCd));
  const auto late = during_signal(faded);
  EXPECT_TRUE(std::all_of(late.begin(), late.end(), [](std::uint8_t s) {
    return (s & (kStatusCodeMask | kStatusCarrier)) == kStatusIdle;
  }));
  const FaxRun kept = HearFax(FadingFlags(3), false);
  const auto late_kept = during_signal(kept);
  EXPECT_TRUE(std::all_of(late_kept.begin(), late_kept.end(), [](std::uint8_t s) {
    return (s & (kStatusCodeMask | kStatusCarrier)) == (kStatusFaxCarrier | kStatusCarrier);
  }));
}

}  // namespace
}  // namespace pump
