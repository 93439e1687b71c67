// Selecting the DataMode: what each selection resets, the format packet
// and register 60 it sends, the line's flow characters, the fall-back to
// direct mode that keeps what was received, and the tick's countdowns.
#include <gtest/gtest.h>

#include <vector>

#include "controller/standin/link_protocols_standin.h"
#include "layer2/corecode/dte/datamode/datamode_select.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/line_rings.h"
#include "layer2/corecode/dte/datamode/tests/datamode_rig.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kRegisterBefore = 0x41;  // register 60 before, bit 3 clear

LinkProtocolsStandin& Lp() { return MachineState<LinkProtocolsStandin>(); }

// The transport sends whole words: a one-byte format goes as two bytes,
// the flow characters' three as four.
TEST(DataModeSet, EachSelectionResetsItsModeAndSendsItsFormat) {
  struct Case {
    std::uint8_t m;
    std::uint8_t link_flag;  // 9: left as it was
    std::uint32_t mode;
    std::uint32_t rx_after, tx_after;  // of 5 bytes each
    std::vector<FakePacket> commands;
    std::uint8_t register60;
  };
  const std::vector<Case> cases = {
      {0, 0, kModeMnpAsync, 5, 5, {{0x61, 2, {0, 0}}}, kRegisterBefore},
      {1, 1, kModeMnpHdlc, 5, 5, {{0x61, 2, {2, 0}}}, kRegisterBefore | 8},
      {2, 0, kModeDirect, 0, 0, {{0x61, 2, {0, 0}}}, kRegisterBefore},
      {3, 1, kModeLapm, 5, 5, {{0x61, 2, {2, 0}}}, kRegisterBefore | 8},
      // The V.80 options: bit set, code 2, transparent idle 0x55, last 0x22.
      {4, 9, kModeV80, 0, 0, {{0x8B, 2, {1, 0}}, {0x61, 4, {1, 7, 0x55, 0x22}}}, kRegisterBefore},
      {5, 0, kModeVoice, 0, 0, {{0x61, 2, {0, 0}}}, kRegisterBefore},
      {6, 0, kModeCallerId, 0, 0, {{0x61, 2, {0, 0}}}, kRegisterBefore},
      {7, 0, kModeCallerId, 0, 0, {{0x61, 2, {1, 0}}}, kRegisterBefore},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.m));
    RunDataChannel([&](FakeDataPump& pump) {
      DataModeState& s = datamode_state();
      s.mode = kModeV42Detect;
      s.v80 = {.framed = 1, .option_bit = 1, .option_code = 2, .idle_char = 0x55,
               .last_option = 0x22};
      s.tx_remaining = 40;
      s.deferred_restarts = 2;
      s.kick_pending = 1;
      Lp().link_flag = 9;
      PreloadTx(5);
      PreloadRx(Bytes(5, 1));
      dsp_reg_write(60, kRegisterBefore);
      mbox_poll_disable();
      pump.ClearTraces();

      datamode_set(c.m);

      EXPECT_EQ(Lp().link_flag, c.link_flag);
      EXPECT_EQ(s.mode, c.mode);
      EXPECT_EQ(line_rx_count(), c.rx_after);
      EXPECT_EQ(line_tx_count(), c.tx_after);
      EXPECT_EQ(pump.Commands(), c.commands);
      EXPECT_EQ(dsp_reg_read(60), c.register60);
      EXPECT_EQ(s.tx_remaining, 0);
      EXPECT_EQ(s.deferred_restarts, 0);
      EXPECT_EQ(s.kick_pending, c.m == 0 || c.m == 1 || c.m == 3 ? 1 : 0);
      EXPECT_TRUE(mbox_poll_enabled());
      EXPECT_EQ(PollWakes(), 1u);
      EXPECT_EQ(Lp().async_tx_resets, c.m == 0 ? 1u : 0u);
    });
  }
}

TEST(DataModeSet, HdlcSelectionsSetTheFrameLimitAndFcsStripping) {
  for (const auto& [m, limit] : {std::pair{1, 266}, std::pair{3, 134}}) {
    SCOPED_TRACE(m);
    RunDataChannel([&](FakeDataPump&) {
      datamode_set(static_cast<std::uint8_t>(m));
      EXPECT_EQ(datamode_state().frame_limit, limit);
      EXPECT_EQ(datamode_state().strip_fcs, 1);
    });
  }
}

TEST(DataModeSet, V80FormatsCarryTheOptionsOfTheSubMode) {
  struct Case {
    const char* name;
    V80TransmitState v80;
    std::uint8_t kind;
    FakePacket packet;
    std::uint8_t stats_mode;
  };
  const std::vector<Case> cases = {
      {"framed, 0xFF idle, code 1", {.flags_queued = 3, .framed = 1, .option_code = 1, .idle_ff = 1,
                                      .last_option = 5},
       kFormatSync, {0x61, 4, {1, 2, 0xFF, 5}}, 2},
      {"framed, flag idle, code 3, bit", {.framed = 1, .option_bit = 1, .option_code = 3},
       kFormatSync, {0x61, 4, {1, 5, 0x7E, 0}}, 2},
      {"transparent, HDLC kind", {.option_code = 2, .idle_char = 0x13}, kFormatHdlc,
       {0x61, 4, {2, 3, 0x13, 0}}, 1},
      {"the asynchronous kind carries no options", {.framed = 1}, kFormatAsync, {0x61, 2, {0, 0}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      DataModeState& s = datamode_state();
      s.mode = kModeV80;
      s.v80 = c.v80;
      MachineState<ModemStatisticsBlock>().v80_mode = 9;
      datamode_send_format(c.kind);
      EXPECT_EQ(pump.Commands(), std::vector<FakePacket>{c.packet});
      EXPECT_EQ(MachineState<ModemStatisticsBlock>().v80_mode, c.stats_mode);
      EXPECT_EQ(s.v80.flags_queued, c.v80.framed != 0 && c.kind != kFormatAsync ? 0 : c.v80.flags_queued);
    });
  }
}

TEST(DataModeSet, AnUnknownFormatKindSendsNothing) {
  RunDataChannel([](FakeDataPump& pump) {
    datamode_send_format(4);
    datamode_send_format(255);
    EXPECT_TRUE(pump.Commands().empty());
  });
}

TEST(DataModeSet, SevenSelectsCallerIdReceiveWithTheSynchronousFramer) {
  RunDataChannel([](FakeDataPump& pump) {
    datamode_set(7);
    EXPECT_EQ(datamode_state().mode, kModeCallerId);
    ASSERT_EQ(FormatPackets(pump).size(), 1u);
    EXPECT_EQ(FormatPackets(pump)[0].payload, (Bytes{1, 0}));
  });
}

TEST(DataModeSet, RawSelectionsForTheV8Exchanges) {
  struct Case {
    std::uint8_t m;
    std::uint8_t framer;
    std::uint8_t register60;
  };
  for (const Case& c : {Case{7, 1, kRegisterBefore}, Case{8, 2, kRegisterBefore | 8},
                        Case{0, 0, kRegisterBefore}}) {
    SCOPED_TRACE(static_cast<int>(c.m));
    RunDataChannel([&](FakeDataPump& pump) {
      datamode_state().mode = kModeDirect;
      PreloadTx(3);
      PreloadRx({1, 2});
      dsp_reg_write(60, kRegisterBefore);
      mbox_poll_disable();
      datamode_select_raw(c.m);
      EXPECT_EQ(datamode_state().mode, c.m);
      EXPECT_EQ(pump.Commands(), (std::vector<FakePacket>{{0x61, 2, {c.framer, 0}}}));
      EXPECT_EQ(dsp_reg_read(60), c.register60);
      EXPECT_EQ(line_tx_count(), 3u);
      EXPECT_EQ(line_rx_count(), 2u);
      EXPECT_TRUE(mbox_poll_enabled());
      EXPECT_EQ(PollWakes(), 1u);
    });
  }
}

TEST(DataModeSet, RawSelectionRefusesOtherModes) {
  RunDataChannel([](FakeDataPump& pump) {
    datamode_state().mode = kModeDirect;
    datamode_select_raw(3);
    datamode_select_raw(200);
    EXPECT_EQ(datamode_state().mode, kModeDirect);
    EXPECT_TRUE(pump.Commands().empty());
  });
}

TEST(DataModeSet, FlowCharacters) {
  for (std::uint8_t enable : {0, 1, 5}) {
    SCOPED_TRACE(static_cast<int>(enable));
    RunDataChannel([&](FakeDataPump& pump) {
      datamode_set_flow_chars(0x41, 0x42, 1, enable);
      const std::uint8_t on = enable != 0 ? 1 : 0;
      EXPECT_EQ(pump.Commands(), (std::vector<FakePacket>{{0x79, 4, {on, 17, 19, 0}}}));
      EXPECT_EQ(datamode_state().flow_enabled, enable);
      EXPECT_EQ(datamode_state().flow_pass_through, 1);
    });
  }
}

TEST(DataModeSet, FallingBackToDirectKeepsWhatWasReceived) {
  RunDataChannel([](FakeDataPump& pump) {
    datamode_set(1);
    PreloadRx({10, 11, 12, 13, 14});
    EXPECT_EQ(line_rx_get_char(), 10);
    EXPECT_EQ(line_rx_get_char(), 11);
    PreloadTx(4);
    pump.ClearTraces();
    datamode_fall_back_direct();
    EXPECT_EQ(datamode_state().mode, kModeDirect);
    EXPECT_EQ(line_tx_count(), 0u);
    ASSERT_EQ(line_rx_count(), 3u);
    EXPECT_EQ(line_rx_get_char(), 12);
    EXPECT_EQ(line_rx_get_char(), 13);
    EXPECT_EQ(line_rx_get_char(), 14);
    EXPECT_EQ(Lp().fallbacks, 1u);
    EXPECT_EQ(pump.Commands(), (std::vector<FakePacket>{{0x61, 2, {0, 0}}}));
  });
}

TEST(DataModeSet, DeferredRestartRunsOnceFromTheReceivePoll) {
  RunDataChannel([](FakeDataPump&) {
    datamode_set(3);
    PreloadRx({7, 8});
    DataModeState& s = datamode_state();
    s.deferred_restarts = 1;
    s.rx_pending = 1;
    datamode_rx_poll();
    EXPECT_EQ(s.mode, kModeDirect);
    EXPECT_EQ(s.rx_pending, 0);
    EXPECT_EQ(s.deferred_restarts, 0);
    EXPECT_EQ(Lp().async_rx_resets, 1u);
    EXPECT_EQ(Lp().fallbacks, 1u);
    EXPECT_EQ(line_rx_get_char(), 7);
    EXPECT_EQ(line_rx_get_char(), 8);
    datamode_rx_poll();
    EXPECT_EQ(Lp().fallbacks, 1u);
  });
}

TEST(DataModeSet, DetectionResultIsHandedOnAndTheFormatResent) {
  RunDataChannel([](FakeDataPump& pump) {
    datamode_set(3);
    pump.ClearTraces();
    mbox_poll_disable();
    DataModeState& s = datamode_state();
    s.detection_result[0] = 3;
    s.detection_result[1] = 4;
    s.detection_pending = 1;
    datamode_rx_poll();
    EXPECT_EQ(Lp().detection_results, 1u);
    EXPECT_EQ(Lp().detection_first, 3);
    EXPECT_EQ(Lp().detection_second, 4);
    EXPECT_EQ(s.detection_pending, 0);
    EXPECT_EQ(pump.Commands(), (std::vector<FakePacket>{{0x61, 2, {2, 0}}}));
    EXPECT_TRUE(mbox_poll_enabled());
  });
}

TEST(DataModeSet, FallbackCountdownByTheTick) {
  struct Case {
    const char* name;
    std::uint8_t task_state;
    std::uint32_t ticks;
    std::uint16_t seconds_after;
    std::uint32_t restarts;
  };
  const std::vector<Case> cases = {
      {"one second gone", 1, 100, 1, 0},
      {"not yet at the end", 1, 199, 1, 0},
      {"the end asks for a restart", 1, 200, 0, 1},
      {"nothing more after it", 1, 1000, 0, 1},
      {"held while the task is in state 3", 3, 1000, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump&) {
      MachineState<ModemTaskState>().state = c.task_state;
      datamode_state().fallback_seconds = 2;
      for (std::uint32_t i = 0; i < c.ticks; ++i) datamode_tick();
      EXPECT_EQ(datamode_state().fallback_seconds, c.seconds_after);
      EXPECT_EQ(Lp().restart_requests, c.restarts);
    });
  }
}

TEST(DataModeSet, TickRunsTheDetectionTimerOnlyInDetectionMode) {
  for (std::uint32_t mode : {kModeV42Detect, kModeLapm}) {
    SCOPED_TRACE(mode);
    RunDataChannel([&](FakeDataPump&) {
      datamode_state().mode = mode;
      for (int i = 0; i < 5; ++i) datamode_tick();
      EXPECT_EQ(Lp().v42det_ticks, mode == kModeV42Detect ? 5u : 0u);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
