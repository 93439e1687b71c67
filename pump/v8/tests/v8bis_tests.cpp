// V.8bis on the data pump: the tone classifier reports the V.8bis tones
// with DP_TONE_DETECTION_RESULTS, and HDLC messages on spandsp's V.21
// channels arrive through the V.8bis FSK receivers and framer type 7.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "pump/fsk/fsk_start.h"
#include "pump/packets/dp_packets.h"
#include "pump/v8/tests/v8_rig.h"
// clang-format off
#include <tiffio.h>
#include <spandsp.h>
// clang-format on

namespace pump::v8_test {
namespace {

using handshake_test::Tone;

Call V8bisCall(bool originate) {
  return {.mode = kModeV34, .direction = originate ? 1 : 0, .v8bis = 1};
}

// V.8bis's dual tones: the initiating (1375 + 2002 Hz) and the responding
// (1529 + 2225 Hz) segments, 400 ms each.
TEST(V8bis, ClassifierReportsTheV8bisTones) {
  struct Case {
    const char* name;
    int f1, f2;
    std::uint8_t report;
  };
  const Case cases[] = {{"Initiating", 1375, 2002, 0x80}, {"Responding", 1529, 2225, 0x81}};
  for (const Case& c : cases) {
    PumpHarness harness;
    harness.Run([&] {
      BeginCall(harness, V8bisCall(true));
      EXPECT_EQ(harness.Context().rx.table.data(), V8bisTable().data());
      harness.Controller().TakePackets();
      FarEnd far({{nullptr, 100}, {Tone(c.f1, c.f2, -13), 400}, {nullptr, 300}});
      EventLog events;
      HearWatching(harness, far, 90, events);
      std::vector<std::uint8_t> reports;
      for (const auto& p : harness.Controller().TakePackets()) {
        if (p.code == kDpToneDetectionResults && !p.payload.empty()) reports.push_back(p.payload[0]);
      }
      EXPECT_EQ(reports, std::vector<std::uint8_t>{c.report}) << c.name;
    });
  }
}

// A far end's HDLC frame (flags, the frame, its FCS) on the channel our
// side hears: the originating V.8bis receiver (type 17) hears channel 2, the
// answering one (type 16) channel 1.
TEST(V8bis, HdlcMessagesArriveThroughTheV8bisReceiver) {
  const std::vector<std::uint8_t> frame = {0x81, 0x05, 0x42, 0x10, 0x3C};
  for (const bool originate : {true, false}) {
    SCOPED_TRACE(originate ? "originating" : "answering");
    PumpHarness harness;
    harness.Run([&] {
      BeginCall(harness, V8bisCall(originate));
      EXPECT_EQ(harness.Context().fsk.start_type,
                originate ? kFskV8bisOriginate : kFskV8bisAnswer);
      std::shared_ptr<hdlc_tx_state_t> hdlc(hdlc_tx_init(nullptr, false, 2, false, nullptr, nullptr),
                                            hdlc_tx_free);
      hdlc_tx_flags(hdlc.get(), 30);
      hdlc_tx_frame(hdlc.get(), frame.data(), frame.size());
      std::shared_ptr<fsk_tx_state_t> fsk(
          fsk_tx_init(nullptr, &preset_fsk_specs[originate ? FSK_V21CH2 : FSK_V21CH1],
                      reinterpret_cast<get_bit_func_t>(hdlc_tx_get_bit), hdlc.get()),
          fsk_tx_free);
      fsk_tx_power(fsk.get(), -13);
      LineGenerator far_modem = [fsk](std::span<std::int16_t> out) {
        return fsk_tx(fsk.get(), out.data(), static_cast<int>(out.size()));
      };
      FarEnd far({{nullptr, 100}, {far_modem, 1500}});
      EventLog events;
      HearWatching(harness, far, 170, events);
      // Data blocks (kind 0) between the status reports (kind 7), then the
      // frame's end (kind 1).
      std::vector<std::uint8_t> bytes;
      bool ended = false;
      for (const auto& block : harness.Controller().RxBlocks()) {
        if (block.kind == 0 && !ended) bytes.insert(bytes.end(), block.data.begin(), block.data.end());
        if (block.kind == 1 && !bytes.empty()) ended = true;
      }
      EXPECT_TRUE(ended);
      EXPECT_NE(std::search(bytes.begin(), bytes.end(), frame.begin(), frame.end()), bytes.end());
    });
  }
}

}  // namespace
}  // namespace pump::v8_test
