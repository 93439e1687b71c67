// What the controller does with each packet the data pump posts, taken
// through the data pump's own PostDpPacket and the controller callback.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "controller/standin/command_interpreter_standin.h"
#include "controller/standin/fax_voice_standin.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_on_hold_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/modem_task/v8bis_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Every place a packet's dispatch can change.
struct Effects {
  std::uint16_t fax_carrier = 0;
  std::uint8_t v21 = 0;
  std::uint8_t voice_tone = 0;
  std::int32_t v8bis_tone = kNoToneResult;
  std::uint16_t call_flags = 0;
  std::uint16_t v92_status = 0;
  std::uint8_t hold_request = 0;
  std::uint8_t hold_grant = 0;
  std::uint16_t peer_rate = kPeerRateWordReset;
  std::uint32_t ring_events = 0;
  std::uint8_t ring_code = 0;  // of the packet the line services read
  Bytes overlay;
  DspReply reply{};
  bool operator==(const Effects&) const = default;
};

void PrintTo(const Effects& e, std::ostream* os) {
  *os << "{fax " << e.fax_carrier << " v21 " << int(e.v21) << " tone " << int(e.voice_tone)
      << " v8bis " << e.v8bis_tone << " flags 0x" << std::hex << e.call_flags << " v92 0x"
      << e.v92_status << std::dec << " request " << int(e.hold_request) << " grant "
      << int(e.hold_grant) << " peer 0x" << std::hex << e.peer_rate << std::dec << " rings "
      << e.ring_events << " of 0x" << std::hex << int(e.ring_code) << std::dec << " overlay "
      << ::testing::PrintToString(e.overlay) << " reply " << ::testing::PrintToString(e.reply)
      << "}";
}

// Reads every effect; the overlay ring is drained.
Effects Observe() {
  Effects e;
  e.fax_carrier = MachineState<FaxVoiceStandin>().carrier_event;
  e.v21 = MachineState<FaxVoiceStandin>().v21_detected;
  e.voice_tone = MachineState<FaxVoiceStandin>().detected_tone;
  e.v8bis_tone = MachineState<V8bisState>().pending_tone_result;
  e.call_flags = MachineState<ModemTaskState>().call_flags;
  e.v92_status = MachineState<ModemOnHoldState>().v92_status;
  e.hold_request = MachineState<ModemOnHoldState>().request_value;
  e.hold_grant = MachineState<CommandInterpreterStandin>().moh_grant;
  e.peer_rate = MachineState<RetrainState>().peer_rate_word;
  e.ring_events = MachineState<CommandInterpreterStandin>().ring_events;
  e.ring_code = MachineState<CommandInterpreterStandin>().ring_packet.code;
  std::uint8_t byte = 0;
  while (MachineState<DspTransportState>().overlay.TakeByte(byte)) e.overlay.push_back(byte);
  e.reply = MachineState<DspTransportState>().reply;
  return e;
}

TEST(DspPacketDispatch, EachCodeHasItsEffect) {
  struct Case {
    const char* name;
    std::uint8_t code;
    Bytes payload;
    std::function<void(Effects&)> effect;  // on the state before
    std::uint16_t call_flags_before = 0;
  };
  const Bytes header = {1, 0, 0x30, 0x84, 0x1C, 0x07};
  const std::vector<Case> cases = {
      {"DP_ACK while no send waits", 0xC0, {0x60}, [](Effects&) {}},
      {"DP_FAX_CD", 0xC3, {0, 0}, [](Effects& e) { e.fax_carrier = 9; }},
      {"tone 0x80", 0xC4, {0x80}, [](Effects& e) { e.v8bis_tone = 0; }},
      {"tone 0x87", 0xC4, {0x87}, [](Effects& e) { e.v8bis_tone = 7; }},
      {"tone 0x7F", 0xC4, {0x7F}, [](Effects& e) { e.voice_tone = 0x7F; }},
      {"tone 0x88", 0xC4, {0x88}, [](Effects& e) { e.voice_tone = 0x88; }},
      {"tone 2100 Hz", 0xC4, {0x4E}, [](Effects& e) { e.voice_tone = 0x4E; }},
      {"DP_V21_ON_FAX", 0xC8, {1, 0}, [](Effects& e) { e.v21 = 1; }},
      {"DP_HANDSHAKE_NOTIFICATION", 0xCE, {1, 2}, [](Effects&) {}},
      {"DP_DEBUG", 0xCF, {1, 2}, [](Effects&) {}},
      {"DP_DISPLAY", 0xD7, {1, 2}, [](Effects&) {}},
      {"call progress",
       0xD1,
       {1, 0, 0x20, 0x01, 3, 0},
       [](Effects& e) {
         e.ring_events = 1;
         e.ring_code = 0xD1;
       }},
      {"V.92 quick connect 6", 0xD4, {6, 5}, [](Effects& e) { e.call_flags = 0x0A01; }, 0x0101},
      {"V.92 quick connect 3", 0xD4, {3, 5}, [](Effects& e) { e.call_flags = 0x0201; }, 0x0101},
      {"V.92 quick connect 2", 0xD4, {2, 5}, [](Effects& e) { e.call_flags = 0x0001; }, 0x0101},
      {"V.92 hold grant", 0xD4, {1, 6}, [](Effects& e) { e.hold_grant = 1; }},
      {"V.92 hold request",
       0xD4,
       {0x35, 0},
       [](Effects& e) {
         e.v92_status = 0x0001;
         e.hold_request = 0x35;
       }},
      {"V.92 type 3", 0xD4, {9, 3}, [](Effects& e) { e.v92_status = 0x0008; }},
      {"V.92 type 15", 0xD4, {9, 15}, [](Effects& e) { e.v92_status = 0x8000; }},
      {"V.92 type beyond the status word", 0xD4, {9, 20}, [](Effects&) {}},
      {"V.92 without payload", 0xD4, {}, [](Effects&) {}},
      {"overlay header", 0xD5, header,
       [](Effects& e) { e.overlay = {0, 6, 1, 0, 0x30, 0x84, 0x1C, 0x07}; }},
      {"overlay control",
       0xD6,
       {17, 0},
       [](Effects& e) {
         e.overlay = {17, 0};
       }},
      {"connect rate", 0xD9, {0x40, 0x12}, [](Effects& e) { e.peer_rate = 0x1240; }},
      {"memory read reply",
       0x14,
       {1, 2, 3, 4},
       [](Effects& e) {
         e.reply = {1, 2, 3, 4};
       }},
      {"data rate reply", 0xC1, {5}, [](Effects& e) { e.reply = {5}; }},
      {"an echo",
       0x64,
       {7, 8},
       [](Effects& e) {
         e.reply = {7, 8};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      MachineState<ModemTaskState>().call_flags = c.call_flags_before;
      MachineState<DspTransportState>().reply = {0xEE, 0xEE};
      Effects expected = Observe();
      c.effect(expected);
      ASSERT_TRUE(pump.Post(c.code, c.payload));
      EXPECT_EQ(pump.Page().reg[pump::kRegDpPacket], 0) << "taken";
      EXPECT_EQ(Observe(), expected);
    });
  }
}

TEST(DspPacketDispatch, ALongPacketIsTakenAsItsSixteenBytes) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    Bytes posted(200);
    for (std::size_t i = 0; i < posted.size(); ++i) posted[i] = static_cast<std::uint8_t>(i + 1);
    ASSERT_TRUE(pump.Post(0xD5, posted));
    ASSERT_EQ(pump.Page().reg[pump::kRegDpPacketLength], 200);  // as posted

    const pump::DspPacket& rx = MachineState<DspTransportState>().rx;
    EXPECT_EQ(rx.code, 0xD5);
    EXPECT_EQ(rx.length, 16);
    EXPECT_EQ(Bytes(rx.payload, rx.payload + 16), Bytes(posted.begin(), posted.begin() + 16));
    Bytes record = {0, 16};
    record.insert(record.end(), posted.begin(), posted.begin() + 16);
    EXPECT_EQ(Observe().overlay, record);
  });
}

TEST(DspPacketDispatch, ShortPacketsLeaveNoEarlierBytesBehind) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    ASSERT_TRUE(pump.Post(0xC1, {9, 9, 9, 9, 9, 9}));
    ASSERT_TRUE(pump.Post(0xD9, {0x40}));  // one byte of two
    const pump::DspPacket& rx = MachineState<DspTransportState>().rx;
    EXPECT_EQ(Bytes(rx.payload, rx.payload + 16),
              Bytes({0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(MachineState<RetrainState>().peer_rate_word, 0x0040);
  });
}

TEST(DspPacketDispatch, TheRingDropsARecordThatDoesNotFitWhole) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    DspOverlayRing& ring = MachineState<DspTransportState>().overlay;
    Bytes piece(16);
    for (int i = 0; i < 255; ++i) {
      piece.assign(16, static_cast<std::uint8_t>(i));
      ASSERT_TRUE(pump.Post(0xD6, piece));
    }
    ASSERT_EQ(ring.Used(), 4080u);
    ASSERT_TRUE(pump.Post(0xD5, piece));  // 18 bytes: 4098 > 4095
    EXPECT_EQ(ring.Used(), 4080u);
    EXPECT_EQ(ring.dropped(), 1u);
    ASSERT_TRUE(pump.Post(0xD5, Bytes(13, 0x5A)));  // 15 bytes: exactly full
    EXPECT_EQ(ring.Used(), 4095u);
    ASSERT_TRUE(pump.Post(0xD6, {1}));
    EXPECT_EQ(ring.dropped(), 2u);

    // The records kept read back whole and in order.
    std::uint8_t byte = 0;
    for (int i = 0; i < 255; ++i) {
      for (int j = 0; j < 16; ++j) {
        ASSERT_TRUE(ring.TakeByte(byte));
        ASSERT_EQ(byte, i);
      }
    }
    Bytes last;
    while (ring.TakeByte(byte)) last.push_back(byte);
    Bytes record = {0, 13};
    record.insert(record.end(), 13, 0x5A);
    EXPECT_EQ(last, record);
    // And the ring takes records again once read.
    ASSERT_TRUE(pump.Post(0xD6, {33, 0}));
    EXPECT_EQ(ring.Used(), 2u);
  });
}

}  // namespace
}  // namespace vxctl::testing
