// Commands 0x73 and 0x76: the mode word, the machines, the framer, the
// V.21 receiver and its watch; what hostile payloads leave.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "pump/core/comram.h"
#include "pump/fax/fax_modulator.h"
#include "pump/fax/fax_rx.h"
#include "pump/fax/fax_rx_silence.h"
#include "pump/fax/fax_tx_states.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/fsk/fsk_start.h"
#include "pump/fsk/fsk_tx.h"
#include "pump/idle/idle_mode.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::PumpHarness;

enum class FaxCmdRx { kIdle, kFskIdle, kFaxDetect, kFaxFskRx, kSilence, kFaxRx };
enum class FaxCmdTx { kIdle, kFaxBlock, kFskTx, kFskIdle };

struct FaxCmdRow {
  const char* name;
  std::vector<std::uint8_t> payload;
  std::uint16_t mode_word;  // expected; 0xFFFF: as before (0)
  FaxCmdTx tx;
  FaxCmdRx rx;
  std::uint32_t framer_tx;  // after the command
  std::uint32_t framer_rx;
  int fsk_start;            // -1: no FSK start
  std::uint32_t watch;
  std::uint32_t fax_rx_starts;  // 1: the fax receive machine starts its training
};

// The fax receive machine at the silence state of a training table.
bool FaxCmdTrainingStarted(const DspContext& c) {
  const auto& m = c.fax.rx.machine;
  return !m.table.empty() && m.position == 0 && std::string_view(m.table[0].name) == "RxSilence";
}

bool FaxCmdTxIs(const DspContext& c, FaxCmdTx tx) {
  switch (tx) {
    case FaxCmdTx::kIdle:
      return c.tx.table.data() == kTxIdleTable.data();
    case FaxCmdTx::kFaxBlock:
      return c.tx.table.data() == FaxBlockTable(c.fax.mode_word).data() &&
             c.fax.tx.machine.table.data() == FaxTxTable(c.fax.mode_word).data() &&
             c.fax.tx.machine.position == 0;
    case FaxCmdTx::kFskTx:
      return c.tx.table.data() == FskTxTable().data();
    case FaxCmdTx::kFskIdle:
      return c.tx.table.data() == FskTxIdleTable().data();
  }
  return false;
}

bool FaxCmdRxIs(const DspContext& c, FaxCmdRx rx) {
  switch (rx) {
    case FaxCmdRx::kIdle:
      return c.rx.table.data() == kRxIdleTable.data();
    case FaxCmdRx::kFskIdle:
      return c.rx.table.data() == RxIdleTable().data();
    case FaxCmdRx::kFaxDetect:
      return c.rx.table.data() == FaxDetectTable().data() && c.rx.position == 0;
    case FaxCmdRx::kFaxFskRx:
      return c.rx.table.data() == FaxDetectTable().data() && c.rx.position == kFaxFskRxEntry;
    case FaxCmdRx::kSilence:
      return c.rx.table.data() == FaxRxSilenceTable().data();
    case FaxCmdRx::kFaxRx:
      return c.rx.table.data() == FaxRxTable().data() && c.fax.rx.mode_word == c.fax.mode_word;
  }
  return false;
}

// 0x73 after a reset and a data format of 0 (framer mode and type 0).
TEST(FaxConfig, Command73ByKindAndDirection) {
  constexpr std::uint16_t kSame = 0xFFFF;
  const FaxCmdRow rows[] = {
      {"V.17 long 12000 send", {0xE6, 0x00}, 0x23, FaxCmdTx::kFaxBlock, FaxCmdRx::kIdle, 1, 1, -1, 0, 0},
      {"V.17 short 14400 send", {0xD9, 0x80}, 0x28, FaxCmdTx::kFaxBlock, FaxCmdRx::kIdle, 1, 1, -1, 0, 0},
      {"V.29 7200 send", {0xB6, 0x00}, 0x11, FaxCmdTx::kFaxBlock, FaxCmdRx::kIdle, 1, 1, -1, 0, 0},
      {"V.27ter 2400 send", {0xA4, 0x00}, 0x01, FaxCmdTx::kFaxBlock, FaxCmdRx::kIdle, 1, 1, -1, 0, 0},
      // A high-speed receive also listens for V.21 flags, and arms the watch.
      {"V.27ter 4800 receive", {0xA5, 0x04}, 0x00, FaxCmdTx::kIdle, FaxCmdRx::kFaxRx, 0, 8, 3, 1, 1},
      {"V.17 long 9600 receive", {0xE7, 0x84}, 0x22, FaxCmdTx::kIdle, FaxCmdRx::kFaxRx, 0, 8, 3, 1, 1},
      {"V.21 send", {0x30, 0x00}, kSame, FaxCmdTx::kFskTx, FaxCmdRx::kFskIdle, 2, 2, 2, 0, 0},
      {"V.21 receive", {0x30, 0x04}, kSame, FaxCmdTx::kFskIdle, FaxCmdRx::kFaxDetect, 2, 8, 3, 0, 0},
      {"none send", {0x10, 0x00}, kSame, FaxCmdTx::kIdle, FaxCmdRx::kIdle, 0, 0, -1, 0, 0},
      {"none receive", {0x10, 0x04}, kSame, FaxCmdTx::kIdle, FaxCmdRx::kSilence, 0, 0, -1, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    PumpHarness harness;
    harness.Run([&] {
      auto& controller = harness.Controller();
      controller.Exchange(0x60, {0});
      controller.Exchange(0x61, {0, 0});
      DspContext& c = harness.Context();
      c.fsk.start_type = -1;
      const auto packets = controller.Exchange(0x73, row.payload);
      ASSERT_FALSE(packets.empty());
      EXPECT_EQ(packets.back().code, kDpAck);
      EXPECT_EQ(c.fax.mode_word, row.mode_word == kSame ? 0 : row.mode_word);
      EXPECT_TRUE(FaxCmdTxIs(c, row.tx)) << row.name;
      EXPECT_TRUE(FaxCmdRxIs(c, row.rx)) << row.name;
      EXPECT_EQ(c.framer.tx_mode, row.framer_tx);
      EXPECT_EQ(c.framer.rx_type, row.framer_rx);
      EXPECT_EQ(c.fsk.start_type, row.fsk_start);
      EXPECT_EQ(c.v21_watch, row.watch);
      EXPECT_EQ(FaxCmdTrainingStarted(c), row.fax_rx_starts != 0) << row.name;
      EXPECT_EQ(c.tx_request, 1u);
      EXPECT_EQ(harness.Host().comram.reg[kRegStatus] & 0x1F, 0);
    });
  }
}

// V.21 after a high-speed receive: when the watch heard V.21 flags the
// receiver carries on at its FSK state; otherwise FSK starts afresh. The
// watch is disarmed either way.
TEST(FaxConfig, V21ReceiveAfterTheWatch) {
  for (const bool heard : {true, false}) {
    SCOPED_TRACE(heard ? "heard" : "not heard");
    PumpHarness harness;
    harness.Run([&] {
      auto& controller = harness.Controller();
      controller.Exchange(0x60, {0});
      controller.Exchange(0x73, {0xB7, 0x04});  // V.29 9600 receive
      DspContext& c = harness.Context();
      ASSERT_EQ(c.v21_watch, 1u);
      c.v21_recognised = heard ? 1 : 0;  // what the V.21 receiver sets on flags
      c.fsk.start_type = -1;
      controller.Exchange(0x73, {0x30, 0x04});
      EXPECT_TRUE(FaxCmdRxIs(c, heard ? FaxCmdRx::kFaxFskRx : FaxCmdRx::kFaxDetect));
      EXPECT_EQ(c.fsk.start_type, heard ? -1 : int{kFskFaxReceive});
      EXPECT_EQ(c.v21_watch, 0u);
      EXPECT_EQ(c.v21_recognised, 0u);
    });
  }
}

// The settling value: a rate code above 3 that differs from the last one.
TEST(FaxConfig, SettlingValueOnANewRate) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    DspContext& c = harness.Context();
    const struct {
      std::uint8_t byte0;
      std::int16_t mask;
    } steps[] = {{0xE5, -5}, {0xE5, 0}, {0xB5, 0}, {0xB6, -5}, {0xA3, 0}, {0xA4, -5}, {0x14, 0}};
    for (const auto& step : steps) {
      controller.Exchange(0x73, {step.byte0, 0x00});
      EXPECT_EQ(c.fax.data_mask, step.mask) << int{step.byte0};
    }
  });
}

// 0x76: the same fields in three bytes, and no V.21 receiver.
TEST(FaxConfig, Command76ConfiguresWithoutTheV21Receiver) {
  struct Row {
    std::vector<std::uint8_t> payload;
    std::uint16_t mode_word;
    FaxCmdTx tx;
    FaxCmdRx rx;
    std::uint32_t fax_rx_starts;
  };
  const Row rows[] = {
      {{5, 11, 0x00}, 0x12, FaxCmdTx::kFaxBlock, FaxCmdRx::kIdle, 0},
      {{8, 13, 0x04}, 0x29, FaxCmdTx::kIdle, FaxCmdRx::kFaxRx, 1},
      {{0, 1, 0x04}, 0, FaxCmdTx::kIdle, FaxCmdRx::kSilence, 0},
  };
  for (const auto& row : rows) {
    PumpHarness harness;
    harness.Run([&] {
      auto& controller = harness.Controller();
      controller.Exchange(0x60, {0});
      DspContext& c = harness.Context();
      c.fsk.start_type = -1;
      controller.Exchange(0x76, row.payload);
      EXPECT_EQ(c.fax.mode_word, row.mode_word);
      EXPECT_TRUE(FaxCmdTxIs(c, row.tx));
      EXPECT_TRUE(FaxCmdRxIs(c, row.rx));
      EXPECT_EQ(c.fsk.start_type, -1);
      EXPECT_EQ(c.v21_watch, 0u);
      EXPECT_EQ(FaxCmdTrainingStarted(c), row.fax_rx_starts != 0);
    });
  }
}

// Hostile payloads: unknown kinds act as none, every rate code of every
// kind gives a mode word of the kind's list, short payloads read zeros,
// and a configuration mid-burst starts over. After each, a good 0x73
// sends a burst.
TEST(FaxConfig, HostilePayloadsThenAGoodConfiguration) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    DspContext& c = harness.Context();
    const auto good_burst_starts = [&] {
      controller.Exchange(0x73, {0xB7, 0x00});  // V.29 9600 send
      harness.RunBlocks(20);  // into the echo-protection tone, past the line's latency
      const auto& line = harness.Afe().LineOutput();
      bool sound = false;
      for (std::size_t k = line.size() - 96; k < line.size(); ++k) sound = sound || line[k] != 0;
      return sound && c.fax.tx.machine.table.data() == FaxTxTable(0x10).data();
    };
    for (int kind = 0; kind < 16; ++kind) {
      for (int rate = 0; rate < 16; ++rate) {
        controller.Exchange(0x73, {static_cast<std::uint8_t>(kind << 4 | rate), 0x00});
        const bool high_speed = kind == 10 || kind == 11 || kind == 13 || kind == 14;
        const bool known = high_speed || kind == 1 || kind == 3;
        EXPECT_EQ(c.fax.modulation_kind, known ? static_cast<std::uint32_t>(kind) : 1u);
        if (high_speed) {
          EXPECT_EQ(c.fax.mode_word & kFaxModulationMask, kind == 10 ? 0x00 : kind == 11 ? 0x10 : 0x20);
        }
        harness.RunBlocks(1);
      }
    }
    EXPECT_TRUE(good_burst_starts());
    // Unknown kinds from 0x76, receiving: as none.
    controller.Exchange(0x76, {7, 12, 0x04});
    EXPECT_EQ(c.fax.modulation_kind, 1u);
    EXPECT_TRUE(FaxCmdRxIs(c, FaxCmdRx::kSilence));
    // Payloads of 0 and 1 bytes: kind 0 (unknown, none) and transmit.
    for (const std::vector<std::uint8_t>& payload : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0xE0}}) {
      controller.Exchange(0x73, payload);
      controller.Exchange(0x76, payload);
      EXPECT_EQ(c.fax.modulation_kind, 1u);
      EXPECT_FALSE((c.fax.options & 0x04) != 0);
      harness.RunBlocks(1);
    }
    EXPECT_TRUE(good_burst_starts());
    // Repeated mid-burst, in data: the burst starts again from WaitForRTS.
    controller.Exchange(0x73, {0xE5, 0x00});
    harness.RunBlocks(160);  // V.17 long training lasts 3858 symbols (161 blocks)
    controller.Exchange(0x73, {0xE5, 0x00});
    EXPECT_EQ(c.fax.tx.machine.position, 0);
    EXPECT_EQ(c.transmitting, 0u);
    EXPECT_TRUE(good_burst_starts());
  });
}

}  // namespace
}  // namespace pump
