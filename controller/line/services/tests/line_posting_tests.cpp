// The posting operations: each request's message on the kernel's queue,
// the detector kinds the settings ask for, and a full pool dropping every
// request.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "controller/acu/acu_settings.h"
#include "controller/acu/tests/support/acu_rig.h"
#include "controller/line/services/line_posting.h"
#include "controller/line/services/tests/line_services_testing.h"
#include "controller/standin/fax_voice_standin.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/services/line_services.h"

namespace vxctl::testing {
namespace {

struct PostingCase {
  std::string name;
  std::function<void()> post;
  PendingMessage expected;
};

// Payload bytes compared: the largest payload of the table (dual tone).
constexpr std::size_t kComparedBytes = 7;

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> head) {
  std::vector<std::uint8_t> bytes(head);
  bytes.resize(kComparedBytes, 0);
  return bytes;
}

const std::vector<PostingCase>& PostingTable() {
  static const std::vector<PostingCase> table = {
      {"BLK_start_delay_timer_request", [] { BLK_start_delay_timer_request(); },
       {7, 6, false, Bytes({})}},
      {"BLK_call_connected", [] { BLK_call_connected(); }, {7, 4, false, Bytes({})}},
      {"BLK_call_failed", [] { BLK_call_failed(); }, {7, 5, false, Bytes({})}},
      {"LS_start_line_poll", [] { LS_start_line_poll(); }, {9, 3, false, Bytes({})}},
      {"RING_set_report", [] { RING_set_report(1, 30); }, {5, 3, false, Bytes({1, 30})}},
      {"CPT_stop_detectors", [] { CPT_stop_detectors(); }, {4, 2, true, Bytes({})}},
      {"CPT_start_detector", [] { CPT_start_detector(3); }, {4, 3, false, Bytes({1, 3})}},
      {"DAA_set_hook off", [] { DAA_set_hook(1); }, {3, 3, true, Bytes({})}},
      {"DAA_set_hook on", [] { DAA_set_hook(0); }, {3, 4, true, Bytes({})}},
      // 941 Hz on, 1000 ms on / 0x0203 ms off, little-endian.
      {"TONE_play_dtmf", [] { TONE_play_dtmf('#', 1000, 0x0203); },
       {6, 3, false, Bytes({1, '#', 0xE8, 0x03, 0x03, 0x02})}},
      {"TONE_play_dual", [] { TONE_play_dual(350, 440, 2000); },
       {6, 3, false, Bytes({2, 0x5E, 0x01, 0xB8, 0x01, 0xD0, 0x07})}},
  };
  return table;
}

TEST(LinePosting, EachOperationPostsItsMessage) {
  AcuPassRig::Run([](FakeDataPump&) {
    for (const PostingCase& c : PostingTable()) {
      SCOPED_TRACE(c.name);
      DropPending();
      c.post();
      EXPECT_EQ(PendingMessages(kComparedBytes), std::vector<PendingMessage>{c.expected});
    }
  });
}

// The hook request also records the hook in the modem task's status word.
TEST(LinePosting, HookRequestSetsTheStatusBit) {
  AcuPassRig::Run([](FakeDataPump&) {
    DropPending();
    DAA_set_hook(1);
    EXPECT_NE(MachineState<ModemTaskState>().status_word.load() & kStatusOffHook, 0u);
    DAA_set_hook(0);
    EXPECT_EQ(MachineState<ModemTaskState>().status_word.load() & kStatusOffHook, 0u);
  });
}

// A ringback detector asked for alone is refused.
TEST(LinePosting, RingbackIsNeverStartedAlone) {
  AcuPassRig::Run([](FakeDataPump&) {
    DropPending();
    CPT_start_detector(5);
    EXPECT_TRUE(PendingMessages().empty());
  });
}

struct DetectorCase {
  std::string name;
  std::uint8_t s22_bits;   // bits 4 (dial tone) and 5 (busy) of X
  bool x7;                 // S71 bit 0, ringback reporting
  bool ringback_switch;    // "RingbackDetEnable"
  bool voice;
  std::vector<std::uint8_t> kinds;
};

// X0: neither detection; X1 (no dial tone, no busy); X2 dial tone; X3
// busy; X4 both; X7 adds ringback only with the registry switch on.
TEST(LinePosting, DetectorKindsFollowTheSettings) {
  const std::vector<DetectorCase> cases = {
      {"X0", 0x00, false, true, false, {}},
      {"X1", 0x00, false, true, false, {}},
      {"X2", 0x10, false, true, false, {1}},
      {"X3", 0x20, false, true, false, {3, 15}},
      {"X4", 0x30, false, true, false, {1, 3, 15}},
      {"X7 with RingbackDetEnable", 0x30, true, true, false, {1, 3, 15, 5}},
      {"X7 without RingbackDetEnable", 0x30, true, false, false, {1, 3, 15}},
      {"voice, X0", 0x00, false, true, true, {1, 3, 15, 5}},
      {"voice without RingbackDetEnable", 0x00, false, false, true, {1, 3, 15}},
  };
  AcuPassRig::Run([&](FakeDataPump&) {
    for (const DetectorCase& c : cases) {
      SCOPED_TRACE(c.name);
      AcuSettings& settings = acu_settings();
      settings.s[kSReports] = static_cast<std::uint8_t>((settings.s[kSReports] & ~0x30) | c.s22_bits);
      settings.s[71] = c.x7 ? 1 : 0;
      reg_settings().features.ringback_detect_enable.store(c.ringback_switch ? 1 : 0);
      MachineState<FaxVoiceStandin>().voice_call.store(c.voice ? 1 : 0);
      DropPending();
      CPT_start_detectors();
      std::vector<std::uint8_t> payload = {static_cast<std::uint8_t>(c.kinds.size())};
      payload.insert(payload.end(), c.kinds.begin(), c.kinds.end());
      EXPECT_EQ(PendingMessages(payload.size()),
                (std::vector<PendingMessage>{{4, 3, false, payload}}));
    }
    MachineState<FaxVoiceStandin>().voice_call.store(0);
  });
}

// With every message held and nothing pending, each request is dropped
// and the tone requests say so.
TEST(LinePosting, AnEmptyPoolDropsEveryRequest) {
  AcuPassRig::Run([](FakeDataPump&) {
    DropPending();
    const std::uint32_t status_before = MachineState<ModemTaskState>().status_word.load();
    {
      PoolHeld held;
      for (const PostingCase& c : PostingTable()) c.post();
      CPT_start_detectors();
      EXPECT_EQ(TONE_play_dtmf('1', 100, 100), 0);
      EXPECT_EQ(TONE_play_dual(1000, 1200, 100), 0);
      EXPECT_TRUE(PendingMessages().empty());
      EXPECT_EQ(MachineState<ModemTaskState>().status_word.load(), status_before) << "a dropped hook request left the word";
    }
    EXPECT_EQ(TONE_play_dtmf('1', 100, 100), 1);
  });
}

}  // namespace
}  // namespace vxctl::testing
