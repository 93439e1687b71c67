// The data-channel poll's handlers against the fake data pump: receive
// blocks the pump posts go into line_rx_ring by the rules of each mode,
// and line_tx_ring leaves in transmit blocks.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "controller/standin/link_protocols_standin.h"
#include "layer2/corecode/dte/datamode/datamode_poll.h"
#include "layer2/corecode/dte/datamode/datamode_select.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/line_rings.h"
#include "layer2/corecode/dte/datamode/tests/datamode_rig.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/task/critical_section.h"
#include "pump/core/comram.h"

namespace vxctl::testing {
namespace {


struct RxBlock {
  std::uint8_t status;
  std::uint8_t count;
  Bytes data;
};

// The mode selected with the real poll installed and enabled.
void SelectWithPoll(std::uint32_t mode) {
  datamode_set_poll_routine(datamode_poll);
  datamode_state().mode = mode;
  mbox_poll_enable();
}

// The pump posts the block, the poll takes it.
void Post(FakeDataPump& pump, const RxBlock& block) {
  pump.QueueRx(block.status, block.count, block.data);
  pump.Block();
  datamode_poll_now();
}

Bytes RxContents() {
  Bytes out;
  while (line_rx_count() != 0) out.push_back(line_rx_get_byte());
  return out;
}

ModemStatisticsBlock& Stats() { return MachineState<ModemStatisticsBlock>(); }

TEST(PollHandlers, DirectAndVoiceReceive) {
  struct Case {
    const char* name;
    std::uint32_t mode;
    std::uint8_t flow_enabled, pass_through;
    std::vector<RxBlock> blocks;
    Bytes ring;
    std::uint8_t tail_byte;  // 0: none
    std::uint32_t count_errors;
    std::uint32_t voice_received;
  };
  const std::vector<Case> cases = {
      {"direct: data", kModeDirect, 0, 0, {{0, 3, {1, 2, 3}}}, {1, 2, 3}, 0, 0, 0},
      {"direct: XON and XOFF filtered while flow is on", kModeDirect, 1, 0,
       {{0, 4, {17, 'a', 19, 'b'}}}, {'a', 'b'}, 0, 0, 0},
      {"direct: passed through", kModeDirect, 1, 1, {{0, 4, {17, 'a', 19, 'b'}}},
       {17, 'a', 19, 'b'}, 0, 0, 0},
      {"direct: flow off keeps them", kModeDirect, 0, 0, {{0, 2, {17, 19}}}, {17, 19}, 0, 0, 0},
      {"direct: status 5 ends with a tail byte", kModeDirect, 0, 0, {{5, 3, {1, 2, 0x7F}}},
       {1, 2}, 0x7F, 0, 0},
      {"direct: a report carries no data", kModeDirect, 0, 0, {{0, 255, {}}, {0, 1, {9}}}, {9}, 0, 0,
       0},
      {"direct: count 0 with status 0 is no block", kModeDirect, 0, 0, {{0, 0, {7}}, {0, 1, {9}}},
       {9}, 0, 0, 0},
      {"voice: no filter, counted", kModeVoice, 1, 0, {{0, 3, {17, 2, 19}}}, {17, 2, 19}, 0, 0, 3},
      {"voice: status 5 has no tail byte", kModeVoice, 0, 0, {{5, 2, {1, 2}}}, {1, 2}, 0, 0, 2},
      {"caller ID receives as voice", kModeCallerId, 0, 0, {{0, 2, {5, 6}}}, {5, 6}, 0, 0, 2},
      {"direct: 32 bytes in two blocks", kModeDirect, 0, 0,
       {{0, 32, Numbers(32)}, {0, 32, Numbers(32, 32)}}, Numbers(64), 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      SelectWithPoll(c.mode);
      datamode_state().flow_enabled = c.flow_enabled;
      datamode_state().flow_pass_through = c.pass_through;
      for (const RxBlock& block : c.blocks) Post(pump, block);
      EXPECT_EQ(RxContents(), c.ring);
      EXPECT_EQ(MachineState<LinkProtocolsStandin>().tail_byte, c.tail_byte);
      EXPECT_EQ(datamode_state().rx_count_errors, c.count_errors);
      EXPECT_EQ(Stats().bytes_to_dte, c.voice_received);
      std::uint8_t status = 0, count = 0;
      mbox_rx_state(status, count);
      EXPECT_EQ(count, 0) << "every block was released";
    });
  }
}

// The data pump's own post never gives a count above 32; a faulty one
// writes the mark itself.
TEST(PollHandlers, ACountAbove32CarriesNoDataAndIsCounted) {
  for (std::uint8_t count : {33, 64, 254}) {
    SCOPED_TRACE(static_cast<int>(count));
    RunDataChannel([&](FakeDataPump& pump) {
      SelectWithPoll(kModeDirect);
      for (std::uint8_t i = 0; i < 32; ++i) pump.Page().reg[pump::kRegRxMailbox + i] = 4;
      pump.Page().reg[pump::kRegRxCount] = count;
      pump.Page().reg[pump::kRegRxKind] = 0;
      datamode_poll_now();
      EXPECT_EQ(line_rx_count(), 0u);
      EXPECT_EQ(datamode_state().rx_count_errors, 1u);
      Post(pump, {0, 1, {9}});
      EXPECT_EQ(RxContents(), Bytes{9});
    });
  }
}

TEST(PollHandlers, ReceiveLimitsAndFlowMark) {
  struct Case {
    const char* name;
    std::uint32_t mode;
    std::uint8_t flow_enabled;
    std::uint32_t preload;
    std::uint8_t block;
    std::uint32_t count_after;
    std::uint32_t lost;
    std::uint8_t flow_stopped;
    std::uint16_t fax_overruns;
  };
  const std::vector<Case> cases = {
      {"direct stops at 1022", kModeDirect, 0, 1020, 4, 1022, 2, 0, 0},
      {"direct: 896 with flow on marks", kModeDirect, 1, 890, 6, 896, 0, 1, 0},
      {"direct: 896 with flow off does not", kModeDirect, 0, 890, 6, 896, 0, 0, 0},
      {"direct: passing 896 from below marks once reached", kModeDirect, 1, 880, 32, 912, 0, 1, 0},
      {"voice: 896 marks without flow", kModeVoice, 0, 890, 6, 896, 0, 1, 0},
      {"fax page: 10 free of 32", kModeFaxPage, 0, 1014, 32, 1024, 22, 0, 22},
      {"fax page: fits", kModeFaxPage, 0, 100, 32, 132, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      SelectWithPoll(c.mode);
      datamode_state().flow_enabled = c.flow_enabled;
      PreloadRx(Bytes(c.preload, 0xEE));
      // Above the flow characters, so the filter keeps every byte.
      Post(pump, {0, c.block, Numbers(c.block, 0x20)});
      EXPECT_EQ(line_rx_count(), c.count_after);
      EXPECT_EQ(Stats().rx_bytes_lost, c.lost);
      EXPECT_EQ(datamode_state().flow_stopped, c.flow_stopped);
      EXPECT_EQ(line_rx_overruns(), c.fax_overruns);
      // The bytes that were stored follow the preload in order.
      for (std::uint32_t i = 0; i < c.preload; ++i) line_rx_get_byte();
      EXPECT_EQ(RxContents(), Numbers(c.count_after - c.preload, 0x20));
    });
  }
}

TEST(PollHandlers, TransmitBlocksOfDirectVoiceAndFaxPage) {
  struct Case {
    const char* name;
    std::uint32_t mode;
    std::uint32_t queued;
    std::vector<std::uint8_t> counts;  // the blocks the pump takes
    std::uint32_t counted_sent;
  };
  const std::vector<Case> cases = {
      {"direct: 40 bytes go as 32 and 8", kModeDirect, 40, {32, 8}, 0},
      {"voice: counted", kModeVoice, 33, {32, 1}, 33},
      {"fax page: counted", kModeFaxPage, 5, {5}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      SelectWithPoll(c.mode);
      PreloadTx(c.queued);
      datamode_state().kick_pending = 1;
      for (int turn = 0; turn < 4; ++turn) {
        datamode_poll_now();
        pump.Block();
      }
      Bytes sent;
      ASSERT_EQ(pump.TxBlocks().size(), c.counts.size());
      for (std::size_t i = 0; i < c.counts.size(); ++i) {
        EXPECT_EQ(pump.TxBlocks()[i].kind, 0);
        EXPECT_EQ(pump.TxBlocks()[i].count, c.counts[i]);
        sent.insert(sent.end(), pump.TxBlocks()[i].data.begin(), pump.TxBlocks()[i].data.end());
      }
      EXPECT_EQ(sent, Numbers(c.queued));
      EXPECT_EQ(Stats().bytes_from_dte, c.counted_sent);
      EXPECT_EQ(line_tx_count(), 0u);
      // Found empty: direct and voice clear the kick, fax page runs dry.
      EXPECT_EQ(datamode_state().kick_pending, c.mode == kModeFaxPage ? 1 : 0);
      EXPECT_EQ(datamode_state().fax_run_dry, c.mode == kModeFaxPage ? 1 : 0);
    });
  }
}

TEST(PollHandlers, AWrappedTransmitRingLeavesInOrder) {
  RunDataChannel([](FakeDataPump& pump) {
    SelectWithPoll(kModeDirect);
    PreloadTx(1010);
    for (int i = 0; i < 1010; ++i) datamode_state().tx.Drop();
    for (std::uint8_t c : Numbers(30)) datamode_state().tx.Put(c);  // wraps at 1024
    datamode_poll_now();
    pump.Block();
    ASSERT_EQ(pump.TxBlocks().size(), 1u);
    EXPECT_EQ(pump.TxBlocks()[0].data, Numbers(30));
  });
}

TEST(PollHandlers, AFaxPageTransmitterThatRanDryWakesOnTheNextByte) {
  RunDataChannel([](FakeDataPump& pump) {
    SelectWithPoll(kModeFaxPage);
    datamode_poll_now();
    EXPECT_EQ(datamode_state().fax_run_dry, 1);
    line_tx_put_byte(0x42);
    EXPECT_EQ(datamode_state().fax_run_dry, 0);
    pump.Block();
    ASSERT_EQ(pump.TxBlocks().size(), 1u);
    EXPECT_EQ(pump.TxBlocks()[0].data, Bytes{0x42});
  });
}

TEST(PollHandlers, NothingMovesWhileThePollIsDisabled) {
  RunDataChannel([](FakeDataPump& pump) {
    SelectWithPoll(kModeDirect);
    mbox_poll_disable();
    PreloadTx(3);
    Post(pump, {0, 2, {1, 2}});
    pump.Block();
    EXPECT_EQ(line_rx_count(), 0u);
    EXPECT_TRUE(pump.TxBlocks().empty());
  });
}

TEST(PollHandlers, TransmitBusyAndRegisterBlock) {
  RunDataChannel([](FakeDataPump& pump) {
    pump.SetRegister(54, 0);
    EXPECT_EQ(line_tx_busy(), 1u) << "the data pump still sends";
    pump.SetRegister(54, 0x40);
    EXPECT_EQ(line_tx_busy(), 0u);
    PreloadTx(7);
    EXPECT_EQ(line_tx_busy(), 7u);
    pump.SetRegister(55, 0x12);
    pump.SetRegister(56, 0x34);
    Bytes regs(3);
    dsp_reg_read_block(54, regs);
    EXPECT_EQ(regs, (Bytes{0x40, 0x12, 0x34}));
  });
}

}  // namespace
}  // namespace vxctl::testing
