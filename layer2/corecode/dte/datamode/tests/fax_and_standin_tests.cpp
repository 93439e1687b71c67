// The fax data phase's start and stop, the frames handed to the transmit
// side (fax, HDLC and the asynchronous framer), and the blocks of
// DataModes 0, 4 and 10, whose handlers belong to the link protocols.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "controller/standin/fax_voice_standin.h"
#include "controller/standin/frame_sources_standin.h"
#include "controller/standin/link_protocols_standin.h"
#include "layer2/corecode/dte/datamode/datamode_poll.h"
#include "layer2/corecode/dte/datamode/datamode_select.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/hdlc.h"
#include "layer2/corecode/dte/datamode/line_rings.h"
#include "layer2/corecode/dte/datamode/tests/datamode_rig.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/services/fax_voice.h"
#include "layer2/corecode/mt/task/critical_section.h"

namespace vxctl::testing {
namespace {


TEST(FaxDataPhase, StartSelectsTheModeAndItsFormat) {
  struct Case {
    const char* name;
    std::uint8_t kind;
    std::uint8_t fax_class;
    std::uint32_t mode;
    std::uint8_t framer;  // payload byte 0 of the format
    bool hdlc_bit;
    bool woken;
  };
  for (const Case& c : {Case{"frames, class 1", 1, 1, kModeFaxHdlc, 2, true, true},
                        Case{"page data, class 1", 0, 1, kModeFaxPage, 1, false, true},
                        Case{"frames, class 2", 1, 2, kModeFaxHdlc, 2, true, false},
                        Case{"page data, class 2.0", 0, 20, kModeFaxPage, 1, false, false}}) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      DataModeState& s = datamode_state();
      s.strip_fcs = 1;
      s.frame_limit = 134;
      s.fax_rx_overruns = 5;
      s.kick_pending = 1;
      s.fax_tx_wait = 1;
      PreloadTx(10);
      PreloadRx({1, 2, 3});
      MachineState<FaxVoiceStandin>().fax_class = c.fax_class;
      const std::uint32_t wakes = PollWakes();
      datamode_fax_start(c.kind, 1, 100);
      EXPECT_EQ(s.mode, c.mode);
      EXPECT_EQ(fax_direction(), 1);
      EXPECT_TRUE(mbox_poll_enabled());
      EXPECT_EQ(PollWakes() - wakes, c.woken ? 1u : 0u);
      ASSERT_EQ(FormatPackets(pump).size(), 1u);
      EXPECT_EQ(FormatPackets(pump)[0].payload[0], c.framer);
      EXPECT_EQ((dsp_reg_read(60) & 0x08) != 0, c.hdlc_bit);
      EXPECT_EQ(s.fax_tx_wait, 0);
      if (c.mode == kModeFaxHdlc) {
        EXPECT_EQ(s.strip_fcs, 0);
        EXPECT_EQ(s.frame_limit, 266);
        EXPECT_EQ(s.frame_source, FrameSource::kFax);
        EXPECT_EQ(line_tx_count(), 10u) << "frames leave the rings alone";
      } else {
        EXPECT_EQ(line_tx_count(), 0u);
        EXPECT_EQ(line_rx_count(), 0u);
        EXPECT_EQ(line_rx_overruns(), 0);
        EXPECT_EQ(s.kick_pending, 0);
      }
      datamode_fax_stop();
      EXPECT_EQ(s.mode, kModeMnpAsync);
      EXPECT_TRUE(mbox_poll_enabled());
    });
  }
}

TEST(FaxDataPhase, FramesGoOutAndComeInThroughTheFaxLayersBuffers) {
  RunDataChannel([](FakeDataPump& pump) {
    datamode_set_poll_routine(datamode_poll);
    MachineState<FaxVoiceStandin>().fax_class = 1;
    datamode_fax_start(1, 1, 100);
    pump.SetRegister(54, 0x40);
    Bytes sent = MnpFrame(Numbers(40));
    datamode_fax_tx_frame(sent.data());
    Turns(pump, 3);
    EXPECT_EQ(pump.TxBlocks(), (std::vector<FakeBlock>{{0, 32, Numbers(32)}, {1, 8, Numbers(8, 32)}}));

    FrameSourcesStandin& sources = MachineState<FrameSourcesStandin>();
    sources.buffers_left[FrameSourcesStandin::kFax] = 1;
    Bytes buffer(300, 0xCC);
    datamode_fax_rx_frame(buffer.data());
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[2], 0);
    pump.QueueRx(0, 32, Numbers(32));
    pump.QueueRx(1, 3, {7, 8, 9});
    Turns(pump, 3);
    EXPECT_EQ(buffer[0], 0) << "good";
    EXPECT_EQ(buffer[2] | (buffer[3] << 8), 35) << "the fax frame keeps its check bytes";
    Bytes expected = Numbers(32);
    expected.insert(expected.end(), {7, 8, 9});
    EXPECT_EQ(Bytes(buffer.begin() + 4, buffer.begin() + 39), expected);
    EXPECT_EQ(sources.end_statuses, Bytes{1});
    EXPECT_EQ(sources.received[FrameSourcesStandin::kFax].size(), 1u) << "the next buffer";
  });
}

TEST(FaxDataPhase, NoReceiveBufferDropsTheFrame) {
  RunDataChannel([](FakeDataPump& pump) {
    datamode_set_poll_routine(datamode_poll);
    datamode_fax_start(1, 0, 100);
    Bytes buffer(300, 0xCC);
    datamode_fax_rx_frame(buffer.data());
    datamode_fax_rx_frame(nullptr);
    pump.QueueRx(1, 3, {7, 8, 9});
    Turns(pump, 2);
    EXPECT_EQ(buffer[2], 0) << "the buffer taken back is not written";
    EXPECT_EQ(buffer[4], 0xCC);
  });
}

TEST(FaxDataPhase, QueuedFramesReachTheTransmitSideOfTheMode) {
  struct Case {
    const char* name;
    std::uint8_t m;
    std::size_t length;
    std::vector<FakeBlock> blocks;
    std::uint32_t async_frames;
  };
  const std::vector<Case> cases = {
      {"MNP over HDLC", 1, 3, {{1, 3, Numbers(3)}}, 0},
      {"LAPM takes the same layout", 3, 34, {{0, 32, Numbers(32)}, {1, 2, Numbers(2, 32)}}, 0},
      {"a frame over 512 bytes is dropped", 1, 513, {}, 0},
      {"asynchronous framing", 0, 3, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      datamode_set_poll_routine(datamode_poll);
      datamode_set(c.m);
      Bytes frame = MnpFrame(Numbers(c.length));
      datamode_queue_tx_frame(frame.data());
      Turns(pump, 4);
      EXPECT_EQ(pump.TxBlocks(), c.blocks);
      LinkProtocolsStandin& lp = MachineState<LinkProtocolsStandin>();
      EXPECT_EQ(lp.async_tx_frames, c.async_frames);
      if (c.async_frames != 0) {
        EXPECT_EQ(lp.async_tx_frame, frame.data());
      }
    });
  }
  RunDataChannel([](FakeDataPump&) {
    const std::uint32_t wakes = PollWakes();
    datamode_queue_tx_frame(nullptr);
    datamode_fax_tx_frame(nullptr);
    EXPECT_EQ(PollWakes(), wakes) << "a null frame does nothing";
    EXPECT_EQ(MachineState<LinkProtocolsStandin>().async_tx_frames, 0u);
  });
}

// DataModes 0, 4 and 10 hand their blocks to the link protocols' handlers;
// a V.80 mode change (status 7) is V.80's alone.
TEST(PollHandlers, LinkProtocolModesAndTheV80ModeChange) {
  struct Case {
    const char* name;
    std::uint32_t mode;
    std::uint8_t status;
    // The handlers given the receive and the transmit block (null: none).
    StandinHandlerCalls LinkProtocolsStandin::*rx_handler;
    StandinHandlerCalls LinkProtocolsStandin::*tx_handler;
  };
  using L = LinkProtocolsStandin;
  const std::vector<Case> cases = {
      {"asynchronous framing", kModeMnpAsync, 0, &L::async_handler, &L::async_handler},
      {"V.80", kModeV80, 0, &L::v80_handler, &L::v80_handler},
      {"V.80 mode change", kModeV80, 7, &L::v80_handler, &L::v80_handler},
      {"V.42 detection", kModeV42Detect, 0, &L::v42det_handler, &L::v42det_handler},
      {"mode change in direct mode", kModeDirect, 7, nullptr, nullptr},
      {"mode change in LAPM", kModeLapm, 7, nullptr, nullptr},
      {"mode change in asynchronous framing", kModeMnpAsync, 7, nullptr, &L::async_handler},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      datamode_set_poll_routine(datamode_poll);
      datamode_state().mode = c.mode;
      mbox_poll_enable();
      pump.QueueRx(c.status, 3, {1, 2, 3});
      pump.Block();
      datamode_poll_now();
      LinkProtocolsStandin& lp = MachineState<LinkProtocolsStandin>();
      for (auto handler : {&L::async_handler, &L::v80_handler, &L::v42det_handler}) {
        const bool receives = handler == c.rx_handler;
        EXPECT_EQ((lp.*handler).rx_blocks, receives ? 1u : 0u);
        if (receives) {
          EXPECT_EQ((lp.*handler).last_rx_status, c.status);
        }
        EXPECT_EQ((lp.*handler).tx_blocks != 0, handler == c.tx_handler);
      }
      EXPECT_EQ(line_rx_count(), 0u);
      EXPECT_EQ(MachineState<ModemTaskState>().frame_errors.load(), 0u);
      std::uint8_t status = 0, count = 0;
      mbox_rx_state(status, count);
      EXPECT_EQ(count, 0) << "released";
      EXPECT_EQ(status, 0);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
