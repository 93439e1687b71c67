// The HDLC handlers: frames leave in 32-byte blocks, received blocks are
// gathered into the sources' buffers by the block statuses, within the
// mode's frame limit, with the FCS stripped where the mode has one.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "controller/standin/frame_sources_standin.h"
#include "layer2/corecode/dte/datamode/datamode_poll.h"
#include "layer2/corecode/dte/datamode/datamode_select.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/hdlc.h"
#include "layer2/corecode/dte/datamode/tests/datamode_rig.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/task/critical_section.h"

namespace vxctl::testing {
namespace {

using Standin = FrameSourcesStandin;

Standin& Sources() { return MachineState<Standin>(); }

// A frame buffer in the LAPM layout.
Bytes LapmFrame(const Bytes& data) {
  Bytes f = {0, 0, 0, 0, static_cast<std::uint8_t>(data.size()),
             static_cast<std::uint8_t>(data.size() >> 8), 0, 0};
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// The selected mode with the real poll.
void Select(std::uint8_t m) {
  datamode_set_poll_routine(datamode_poll);
  datamode_set(m);
}

void SelectFaxHdlc() {
  datamode_set_poll_routine(datamode_poll);
  DataModeState& s = datamode_state();
  s.mode = kModeFaxHdlc;
  s.strip_fcs = 0;
  s.frame_limit = 266;
  s.frame_source = FrameSource::kFax;
  mbox_poll_enable();
}

TEST(PollHandlers, HdlcTransmitInBlocksOf32) {
  struct Case {
    const char* name;
    std::uint8_t m;
    Standin::Source source;
    std::vector<Bytes> frames;  // data of each
    std::vector<FakeBlock> blocks;
  };
  const Bytes f70 = Numbers(70);
  const std::vector<Case> cases = {
      {"MNP: 70 bytes", 1, Standin::kMnp, {f70},
       {{0, 32, Bytes(f70.begin(), f70.begin() + 32)},
        {0, 32, Bytes(f70.begin() + 32, f70.begin() + 64)},
        {1, 6, Bytes(f70.begin() + 64, f70.end())}}},
      {"MNP: 32 bytes end in one block", 1, Standin::kMnp, {Numbers(32)}, {{1, 32, Numbers(32)}}},
      {"LAPM: two frames", 3, Standin::kLapm, {Numbers(3), Numbers(2, 9)},
       {{1, 3, Numbers(3)}, {1, 2, Numbers(2, 9)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      Select(c.m);
      for (const Bytes& data : c.frames) {
        Sources().to_send[c.source].push_back(c.m == 3 ? LapmFrame(data) : MnpFrame(data));
      }
      datamode_poll_now();
      Turns(pump, 8);
      EXPECT_EQ(pump.TxBlocks(), c.blocks);
    });
  }
}

TEST(PollHandlers, HdlcTransmitHoldsBack) {
  RunDataChannel([](FakeDataPump& pump) {
    Select(1);
    datamode_state().tx_remaining = 513;
    Sources().to_send[Standin::kMnp].push_back(MnpFrame({1}));
    Turns(pump, 3);
    EXPECT_TRUE(pump.TxBlocks().empty()) << "513 remaining sends nothing";
  });
  RunDataChannel([](FakeDataPump& pump) {
    Select(1);
    Sources().to_send[Standin::kMnp].push_back(MnpFrame(Bytes(600, 1)));
    Sources().to_send[Standin::kMnp].push_back(MnpFrame({7}));
    Turns(pump, 3);
    EXPECT_EQ(pump.TxBlocks(), (std::vector<FakeBlock>{{1, 1, {7}}}))
        << "a frame longer than 512 is dropped";
  });
}

TEST(PollHandlers, FaxHdlcWaitsWhileTheDataPumpStillSends) {
  RunDataChannel([](FakeDataPump& pump) {
    SelectFaxHdlc();
    pump.SetRegister(54, 0);
    Sources().to_send[Standin::kFax].push_back(MnpFrame({5, 6}));
    Turns(pump, 3);
    EXPECT_TRUE(pump.TxBlocks().empty());
    EXPECT_EQ(datamode_state().fax_tx_wait, 1);
    pump.SetRegister(54, 0x40);
    Turns(pump, 3);
    EXPECT_EQ(pump.TxBlocks(), (std::vector<FakeBlock>{{1, 2, {5, 6}}}));
    EXPECT_EQ(datamode_state().fax_tx_wait, 0);
  });
}

struct HdlcRxBlock {
  std::uint8_t status;
  Bytes data;
};

// What a receive buffer holds: its status, length and data.
struct Received {
  std::uint8_t status;
  Bytes data;
  bool operator==(const Received&) const = default;
};

std::vector<Received> Delivered(Standin::Source source, bool lapm) {
  std::vector<Received> out;
  auto& buffers = Sources().received[source];
  // The last buffer handed out is the one being filled.
  for (std::size_t i = 0; i + 1 < buffers.size(); ++i) {
    const Standin::Buffer& b = buffers[i];
    const std::size_t len_at = lapm ? 4 : 2, status_at = lapm ? 6 : 0, data_at = lapm ? 8 : 4;
    const std::size_t len = b[len_at] | (b[len_at + 1] << 8);
    out.push_back({b[status_at], Bytes(b.begin() + data_at, b.begin() + data_at + len)});
  }
  return out;
}

TEST(PollHandlers, HdlcReceive) {
  struct Case {
    const char* name;
    std::uint8_t m;  // 8: fax
    std::vector<HdlcRxBlock> blocks;
    std::vector<Received> frames;
    std::size_t frame_errors;  // counted with the modem task
  };
  const Bytes a = Numbers(32), b = Numbers(10, 100);
  Bytes ab = a;
  ab.insert(ab.end(), b.begin(), b.end());
  const Bytes ab_no_fcs(ab.begin(), ab.end() - 2);
  const std::vector<Case> cases = {
      {"MNP: two blocks, FCS stripped", 1, {{0, a}, {1, b}}, {{0, ab_no_fcs}}, 0},
      {"MNP: status 2 ends a bad frame", 1, {{0, a}, {2, b}}, {{1, ab_no_fcs}}, 1},
      {"MNP: status 3 closes it bad", 1, {{0, a}, {3, {}}, {1, {1, 2, 3}}},
       {{1, Bytes(a.begin(), a.end() - 2)}, {0, {1}}}, 1},
      {"MNP: a 2-byte frame is bad", 1, {{1, {1, 2}}}, {{1, {1, 2}}}, 1},
      {"fax: a 2-byte frame is kept", 8, {{1, {1, 2}}}, {{0, {1, 2}}}, 0},
      {"LAPM: status 6 drops until the frame end", 3,
       {{0, a}, {6, {}}, {0, b}, {1, b}, {1, {7, 8, 9}}}, {{0, {7}}}, 1},
      {"fax: a bad frame is counted too", 8, {{2, {1, 2}}}, {{1, {1, 2}}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      const Standin::Source source =
          c.m == 3 ? Standin::kLapm : c.m == 8 ? Standin::kFax : Standin::kMnp;
      if (c.m == 8) {
        SelectFaxHdlc();
      } else {
        Select(c.m);
      }
      Sources().buffers_left[source] = 10;
      ntdrv_critical_enter();
      hdlc_rx_set_buffer(Sources().received[source].emplace_back().data());
      ntdrv_critical_leave();
      for (const HdlcRxBlock& block : c.blocks) {
        pump.QueueRx(block.status, static_cast<std::uint8_t>(block.data.size()), block.data);
        pump.Block();
        datamode_poll_now();
      }
      EXPECT_EQ(Delivered(source, c.m == 3), c.frames);
      EXPECT_EQ(std::size_t{MachineState<ModemTaskState>().frame_errors.load()}, c.frame_errors);
    });
  }
}

TEST(PollHandlers, HdlcFrameLimits) {
  struct Case {
    const char* name;
    std::uint8_t m;
    std::size_t first_length;
    std::uint8_t first_status;
  };
  // 300 bytes against MNP's 266; 140 against LAPM's 134; then a good frame.
  for (const Case& c : {Case{"MNP 300", 1, 300, 1}, Case{"LAPM 140", 3, 140, 1},
                        Case{"MNP 266 fits", 1, 266, 0}, Case{"LAPM 134 fits", 3, 134, 0}}) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      const Standin::Source source = c.m == 3 ? Standin::kLapm : Standin::kMnp;
      Select(c.m);
      Sources().buffers_left[source] = 10;
      ntdrv_critical_enter();
      hdlc_rx_set_buffer(Sources().received[source].emplace_back().data());
      ntdrv_critical_leave();
      const Bytes frame = Numbers(c.first_length);
      for (std::size_t at = 0; at < frame.size(); at += 32) {
        const std::size_t n = std::min<std::size_t>(32, frame.size() - at);
        const bool last = at + n == frame.size();
        pump.QueueRx(last ? 1 : 0, static_cast<std::uint8_t>(n),
                     Bytes(frame.begin() + at, frame.begin() + at + n));
        pump.Block();
        datamode_poll_now();
      }
      pump.QueueRx(1, 5, {1, 2, 3, 4, 5});
      pump.Block();
      datamode_poll_now();
      const std::vector<Received> got = Delivered(source, c.m == 3);
      ASSERT_EQ(got.size(), 2u);
      EXPECT_EQ(got[0].status, c.first_status);
      if (c.first_status == 0) {
        EXPECT_EQ(got[0].data, Numbers(c.first_length - 2));
      }
      EXPECT_EQ(got[1], (Received{0, {1, 2, 3}}));
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
