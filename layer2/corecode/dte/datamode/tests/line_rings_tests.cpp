// The line rings: when queued transmit data wakes the poll, what a full
// ring loses, and the receive ring's flow mark.
#include <gtest/gtest.h>

#include <vector>

#include "controller/standin/link_protocols_standin.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/line_rings.h"
#include "layer2/corecode/dte/datamode/tests/datamode_rig.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/link_protocols.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Lost() { return MachineState<ModemStatisticsBlock>().tx_bytes_lost; }

TEST(LineRings, SingleBytesWakeThePollOnceUntilTheTransmitSideIdles) {
  struct Case {
    const char* name;
    std::uint32_t mode;
    std::uint32_t puts;
    std::uint32_t wakes;
  };
  const std::vector<Case> cases = {
      {"direct: the first byte wakes", kModeDirect, 1, 1},
      {"direct: later bytes do not", kModeDirect, 40, 1},
      {"voice: the same", kModeVoice, 3, 1},
      {"V.80: 63 bytes do not wake", kModeV80, 63, 0},
      {"V.80: the 64th wakes", kModeV80, 64, 1},
      {"V.80: more wake no more", kModeV80, 100, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump&) {
      datamode_state().mode = c.mode;
      for (std::uint32_t i = 0; i < c.puts; ++i) line_tx_put_char(static_cast<std::uint8_t>(i));
      EXPECT_EQ(PollWakes(), c.wakes);
      EXPECT_EQ(line_tx_count(), c.puts);
      EXPECT_EQ(datamode_state().kick_pending, c.wakes != 0 ? 1 : 0);
    });
  }
}

TEST(LineRings, AByteWakesAgainOnceTheTransmitSideFoundTheRingEmpty) {
  RunDataChannel([](FakeDataPump&) {
    datamode_state().mode = kModeDirect;
    line_tx_put_char(1);
    line_tx_put_char(2);
    // The transmit handler drains the ring and, finding it empty, clears
    // the pending kick.
    line_tx_clear();
    datamode_state().kick_pending = 0;
    line_tx_put_char(3);
    EXPECT_EQ(PollWakes(), 2u);
  });
}

TEST(LineRings, WhatAFullRingCannotTakeIsCountedLost) {
  struct Case {
    const char* name;
    std::uint32_t mode;
    std::uint8_t framed;
    std::uint32_t preload;
    Bytes block;
    std::uint32_t count_after;
    std::uint32_t lost;
  };
  const std::vector<Case> cases = {
      {"direct: two bytes into a full ring", kModeDirect, 0, 1024, {7, 8}, 1024, 2},
      {"direct: a block that half fits", kModeDirect, 0, 1022, {1, 2, 3, 4}, 1024, 2},
      {"transparent V.80: a block past 64 is stored", kModeV80, 0, 100, {1, 2, 3}, 103, 0},
      {"transparent V.80: what fits of it", kModeV80, 0, 1020, Bytes(10, 5), 1024, 6},
      {"transparent V.80: EM 0xB0 block is stored", kModeV80, 0, 0, {0x19, 0xB0, 0x41}, 3, 0},
      {"framed V.80: a full ring", kModeV80, 1, 1024, {0x19, 0xB1}, 1024, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump&) {
      datamode_state().mode = c.mode;
      datamode_state().v80.framed = c.framed;
      PreloadTx(c.preload);
      line_tx_put_block(c.block);
      EXPECT_EQ(line_tx_count(), c.count_after);
      EXPECT_EQ(Lost(), c.lost);
    });
  }
}

TEST(LineRings, TransparentV80KeepsTheBytesOfABlockInOrder) {
  RunDataChannel([](FakeDataPump&) {
    datamode_state().mode = kModeV80;
    PreloadTx(70);
    line_tx_put_block(Bytes{0xA1, 0xA2});
    for (int i = 0; i < 70; ++i) datamode_state().tx.Drop();
    std::uint8_t c = 0;
    ASSERT_TRUE(datamode_state().tx.Take(c));
    EXPECT_EQ(c, 0xA1);
    ASSERT_TRUE(datamode_state().tx.Take(c));
    EXPECT_EQ(c, 0xA2);
  });
}

TEST(LineRings, V80BlocksWakeThePollByTheirSubMode) {
  struct Case {
    const char* name;
    std::uint8_t framed;
    std::uint32_t preload;
    Bytes block;
    std::uint8_t permit;
    std::uint32_t wakes;
    std::uint8_t flags_queued;
    std::uint8_t frame_end_awaited;
  };
  const std::vector<Case> cases = {
      {"framed: a short ring and data", 1, 0, {1, 2, 3}, 1, 0, 0, 0},
      {"framed: 64 queued awaits the frame end", 1, 64, {1}, 1, 1, 0, 1},
      {"framed: EM 0xB1 queues a flag sequence", 1, 0, {0x19, 0xB1}, 1, 1, 1, 0},
      {"framed: 0x99 0xB2 ends the frame", 1, 64, {0x99, 0xB2}, 1, 1, 0, 0},
      {"framed: no permit, no wake", 1, 0, {0x19, 0xB1}, 0, 0, 1, 0},
      {"transparent: EM 0xB0 with data", 0, 0, {0x19, 0xB0, 7}, 1, 1, 0, 0},
      {"transparent: EM 0xB0 alone", 0, 0, {0x19, 0xB0}, 1, 0, 0, 0},
      {"transparent: 64 queued", 0, 64, {1}, 1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump&) {
      DataModeState& s = datamode_state();
      s.mode = kModeV80;
      s.v80.framed = c.framed;
      v80_kick_permit() = c.permit;
      PreloadTx(c.preload);
      line_tx_put_block(c.block);
      EXPECT_EQ(PollWakes(), c.wakes);
      EXPECT_EQ(s.v80.flags_queued, c.flags_queued);
      EXPECT_EQ(s.v80.frame_end_awaited, c.frame_end_awaited);
      EXPECT_EQ(v80_kick_permit(), c.wakes != 0 ? 0 : c.permit);
    });
  }
}

TEST(LineRings, KickWakesOnceAndTakesThePermit) {
  RunDataChannel([](FakeDataPump&) {
    line_tx_kick();
    line_tx_kick();
    EXPECT_EQ(PollWakes(), 1u);
    EXPECT_EQ(v80_kick_permit(), 0);
    EXPECT_EQ(MachineState<LinkProtocolsStandin>().v80_starts, 2u);
  });
}

TEST(LineRings, TakingResumesFlowBelow256) {
  RunDataChannel([](FakeDataPump&) {
    Bytes received(300);
    for (std::size_t i = 0; i < received.size(); ++i) received[i] = static_cast<std::uint8_t>(i);
    PreloadRx(received);
    datamode_state().flow_stopped = 1;
    for (int i = 0; i < 44; ++i) EXPECT_EQ(line_rx_get_char(), received[i]);
    EXPECT_EQ(line_rx_count(), 256u);
    EXPECT_EQ(datamode_state().flow_stopped, 1);
    EXPECT_EQ(line_rx_get_char(), received[44]);
    EXPECT_EQ(datamode_state().flow_stopped, 0);
  });
}

TEST(LineRings, TakingFromAnEmptyRingChangesNothing) {
  RunDataChannel([](FakeDataPump&) {
    EXPECT_EQ(line_rx_get_char(), 0);
    EXPECT_EQ(line_rx_get_byte(), 0);
    EXPECT_EQ(line_rx_count(), 0u);
    PreloadRx({9});
    EXPECT_EQ(line_rx_get_byte(), 9);
  });
}

TEST(LineRings, ClearingTheReceiveRingTellsTheDataPumpOnlyInV80) {
  for (std::uint32_t mode : {kModeDirect, kModeV80}) {
    SCOPED_TRACE(mode);
    RunDataChannel([&](FakeDataPump& pump) {
      datamode_state().mode = mode;
      PreloadRx({1, 2, 3});
      datamode_state().flow_stopped = 1;
      v80_rx_overruns() = 4;
      line_rx_clear();
      EXPECT_EQ(line_rx_count(), 0u);
      EXPECT_EQ(datamode_state().flow_stopped, 0);
      EXPECT_EQ(v80_rx_overruns(), 0);
      const std::vector<FakePacket> expected =
          mode == kModeV80 ? std::vector<FakePacket>{{0x8B, 2, {1, 0}}} : std::vector<FakePacket>{};
      EXPECT_EQ(pump.Commands(), expected);
    });
  }
}

TEST(LineRings, RingInfo) {
  RunDataChannel([](FakeDataPump&) {
    PreloadRx({1, 2, 3});
    std::uint16_t size = 0, stop = 0, resume = 0, count = 0;
    line_rx_ring_info(size, stop, resume, count);
    EXPECT_EQ(size, 1024);
    EXPECT_EQ(stop, 896);
    EXPECT_EQ(resume, 256);
    EXPECT_EQ(count, 3);
  });
}

}  // namespace
}  // namespace vxctl::testing
