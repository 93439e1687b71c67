// Relay and hook sequencing on the fake data pump's register page: the
// patterns each request applies, the seize and off-hook steps, pulse
// timing, sequence selection and the line-status check. Expected values
// come from the built-in record's DAA sequence id 1: times 100 (seize),
// 500 (flash), 240 (pulse set-up), 60 (break), 40 (make), 750
// (inter-digit), 50 (pulse end); seize {0x24, 0x24}, off hook {0x24,
// 0x04}, on hook {0x24, 0x00}, pulse {0x24, 0x24}.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/tests/support/acu_rig.h"
#include "controller/line/services/line_services_ops.h"
#include "controller/line/services/tests/line_services_testing.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "pump/core/comram.h"

namespace vxctl::testing {
namespace {

constexpr std::size_t kSequence1 = 778;  // the first DAA sequence in the record

struct Banks {
  std::uint8_t r240, r243, r242, r241, r245, r244;
  bool operator==(const Banks&) const = default;
};

Banks ReadBanks() {
  return {dsp_reg_read(240), dsp_reg_read(243), dsp_reg_read(242),
          dsp_reg_read(241), dsp_reg_read(245), dsp_reg_read(244)};
}

void SetBanks(const Banks& b) {
  for (const auto& [reg, value] : {std::pair{240, b.r240}, {243, b.r243}, {242, b.r242},
                                   {241, b.r241}, {245, b.r245}, {244, b.r244}}) {
    dsp_reg_write(static_cast<std::uint16_t>(reg), value);
  }
}

void PutU16(std::size_t at, std::uint16_t value) {
  CountryRecord& record = MachineState<LineServicesState>().live_record;
  record.bytes[at] = static_cast<std::uint8_t>(value);
  record.bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// The relay service from a fresh restart on sequence id 1, nothing pending.
void FreshRelays() {
  LineServicesContext& context = LineContext();
  MachineState<LineServicesState>().live_record = CTY_default_record();
  context.line_state = 1;
  context.relay = {};
  dsp_reg_write(242, 0xFF);  // every relay of bank A off, on hook
  DropPending();
  MK_msg_send(LineKernel(), false, kMsgDaa, kDaaSelect);
  MK_dispatch(LineKernel());
}

void Request(std::uint8_t code, std::uint8_t payload = 0) {
  const std::uint8_t bytes[1] = {payload};
  MK_msg_send(LineKernel(), code == kDaaOffHook || code == kDaaOnHook, kMsgDaa, code, bytes);
  MK_dispatch(LineKernel());
}

// Lets `ms` pass on the kernel's clock and runs what falls due.
void Pass(std::uint32_t ms) {
  MK_clock_advance(LineKernel(), ms);
  LS_poll();
}

bool Posted(std::uint8_t msg_class, std::uint8_t code) {
  for (const PendingMessage& m : PendingMessages()) {
    if (m.msg_class == msg_class && m.code == code) return true;
  }
  return false;
}

// Each request's pattern on both banks: direction bits added to what was
// there, the third register the mask's complement, the level register's
// masked bits the value's complement (the other relays' bits kept).
// Sequence id 1 gets bank B bits for the test.
TEST(DaaSequencing, EachRequestAppliesItsPattern) {
  struct Case {
    std::string name;
    std::uint8_t code;
    Banks expected;
  };
  const Banks before{0x40, 0x00, 0xC0, 0x01, 0x00, 0x80};
  const std::vector<Case> cases = {
      // on hook {0x0324, 0x0100}
      {"on hook", kDaaOnHook, {0x64, 0xDB, 0xE4, 0x03, 0xFC, 0x82}},
      // seize {0x0324, 0x0324}, seize time 0: then off hook {0x0324, 0x0204}
      {"off hook", kDaaOffHook, {0x64, 0xDB, 0xE0, 0x03, 0xFC, 0x81}},
      // pulse {0x0824, 0x0824}
      {"pulse set-up", kDaaPulseStart, {0x64, 0xDB, 0xC0, 0x09, 0xF7, 0x80}},
      // hook flash: on hook first
      {"hook flash", kDaaHookFlash, {0x64, 0xDB, 0xE4, 0x03, 0xFC, 0x82}},
  };
  AcuPassRig::Run([&](FakeDataPump&) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      FreshRelays();
      PutU16(kSequence1 + 11, 0);  // seize time
      PutU16(kSequence1 + 25, 0x0324);
      PutU16(kSequence1 + 27, 0x0324);
      PutU16(kSequence1 + 29, 0x0324);
      PutU16(kSequence1 + 31, 0x0204);
      PutU16(kSequence1 + 33, 0x0324);
      PutU16(kSequence1 + 35, 0x0100);
      PutU16(kSequence1 + 37, 0x0824);
      PutU16(kSequence1 + 39, 0x0824);
      SetBanks(before);
      Request(c.code);
      EXPECT_EQ(ReadBanks(), c.expected);
    }
  });
}

// A pattern whose mask is 0 leaves the banks alone.
TEST(DaaSequencing, AnEmptyPatternIsNotApplied) {
  AcuPassRig::Run([](FakeDataPump&) {
    FreshRelays();
    PutU16(kSequence1 + 33, 0);
    PutU16(kSequence1 + 35, 0);
    const Banks before{0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    SetBanks(before);
    Request(kDaaOnHook);
    EXPECT_EQ(ReadBanks(), before);
  });
}

// Seize time 100: the seize pattern, then after 100 ms the off-hook
// pattern and class 1 code 2. Seize time 0: both in one step.
TEST(DaaSequencing, SeizeThenTheOffHookStep) {
  AcuPassRig::Run([](FakeDataPump&) {
    FreshRelays();
    Request(kDaaOffHook);
    EXPECT_EQ(dsp_reg_read(242), 0xDB) << "seized";
    EXPECT_FALSE(Posted(kMsgLineEvents, kLineHookDone));
    Pass(99);
    EXPECT_EQ(dsp_reg_read(242), 0xDB);
    EXPECT_FALSE(Posted(kMsgLineEvents, kLineHookDone));
    Pass(1);
    EXPECT_EQ(dsp_reg_read(242), 0xFB) << "off hook";
    EXPECT_TRUE(Posted(kMsgLineEvents, kLineHookDone));
    EXPECT_EQ(LineContext().relay.off_hook_complete, 1);
    EXPECT_TRUE(DAA_line_status_ok());

    FreshRelays();
    PutU16(kSequence1 + 11, 0);
    Request(kDaaOffHook);
    EXPECT_EQ(dsp_reg_read(242), 0xFB);
    EXPECT_TRUE(Posted(kMsgLineEvents, kLineHookDone));
    DropPending();
    Request(kDaaOffHook);
    EXPECT_FALSE(Posted(kMsgLineEvents, kLineHookDone)) << "already off hook";
  });
}

// Going on hook stops a step under way.
TEST(DaaSequencing, OnHookStopsTheSeize) {
  AcuPassRig::Run([](FakeDataPump&) {
    FreshRelays();
    Request(kDaaOffHook);
    Request(kDaaOnHook);
    Pass(200);
    EXPECT_EQ(dsp_reg_read(242), 0xFF);
    EXPECT_FALSE(Posted(kMsgLineEvents, kLineHookDone));
    EXPECT_FALSE(DAA_line_status_ok());
  });
}

// A restart or a second step while the seize runs: the seize's step ends
// with it, the line stays on hook, and the next off-hook request seizes.
TEST(DaaSequencing, ARestartOrANewStepEndsTheSeize) {
  AcuPassRig::Run([](FakeDataPump&) {
    FreshRelays();
    Request(kDaaOffHook);
    Request(kDaaRestart);
    Pass(200);
    EXPECT_EQ(dsp_reg_read(242), 0xFF) << "on hook after the restart";
    EXPECT_FALSE(Posted(kMsgLineEvents, kLineHookDone));
    Request(kDaaOffHook);
    EXPECT_EQ(dsp_reg_read(242), 0xDB) << "seized again";
    Pass(100);
    EXPECT_EQ(dsp_reg_read(242), 0xFB);

    FreshRelays();
    Request(kDaaOffHook);
    Pass(50);
    Request(kDaaPulseStart);  // its 240 ms set-up replaces the seize's step
    Request(kDaaOnHook);
    Pass(300);
    EXPECT_EQ(dsp_reg_read(242), 0xFF);
    EXPECT_FALSE(Posted(kMsgLineEvents, kLineHookDone)) << "the seize's step was stopped";
  });
}

// With no seize time the line check's seize moves straight on to the
// call-progress mode and its 100 ms wait.
TEST(DaaSequencing, LineInUseCheckWithNoSeizeTime) {
  AcuPassRig::Run([](FakeDataPump& pump) {
    FreshRelays();
    PutU16(kSequence1 + 11, 0);
    reg_settings().features.line_in_use_detect.store(1);
    AcuControllerState& acu = acu_controller();
    acu.dial_line_check = 1;
    pump.ClearTraces();
    Request(kDaaOffHook);
    Pass(400);
    EXPECT_EQ(dsp_reg_read(242), 0xDB) << "seized";
    ASSERT_EQ(pump.Commands().size(), 1u);
    EXPECT_EQ(pump.Commands()[0].code, 0x65);
    EXPECT_EQ(acu.dial_wait_kind, 6) << "waiting out the 100 ms";
    reg_settings().features.line_in_use_detect.store(0);
    acu.dial_line_check = 0;
  });
}

// One pulse digit lasts (break + make) x pulses + inter-digit: '0' ten
// pulses, 1750 ms; '1' 850 ms; the digit goes to the data pump.
TEST(DaaSequencing, PulseDigitTiming) {
  struct Case {
    char digit;
    std::uint32_t ms;
    std::uint8_t code;  // command 0x67's digit code
  };
  AcuPassRig::Run([](FakeDataPump& pump) {
    for (const Case& c : {Case{'0', 1750, 0}, Case{'1', 850, 1}, Case{'9', 1650, 9}}) {
      SCOPED_TRACE(c.digit);
      FreshRelays();
      pump.ClearTraces();
      Request(kDaaPulseDigit, static_cast<std::uint8_t>(c.digit));
      ASSERT_EQ(pump.Commands().size(), 1u);
      EXPECT_EQ(pump.Commands()[0].code, 0x67);
      EXPECT_EQ(pump.Commands()[0].payload.at(0), c.code);
      Pass(c.ms - 1);
      EXPECT_FALSE(Posted(kMsgLineEvents, kLineDialContinue));
      Pass(1);
      EXPECT_TRUE(Posted(kMsgLineEvents, kLineDialContinue));
    }
  });
}

// A payload that is no digit sends nothing and lets the dialler go on at
// once, instead of a timer of any length and a digit the data pump cannot
// pulse.
TEST(DaaSequencing, APulsePayloadThatIsNoDigitSendsNothing) {
  AcuPassRig::Run([](FakeDataPump& pump) {
    for (const std::uint8_t payload : {std::uint8_t{'A'}, std::uint8_t{'/'}, std::uint8_t{':'},
                                       std::uint8_t{0}, std::uint8_t{0xFF}}) {
      SCOPED_TRACE(int{payload});
      FreshRelays();
      pump.ClearTraces();
      Request(kDaaPulseDigit, payload);
      EXPECT_TRUE(pump.Commands().empty());
      EXPECT_TRUE(Posted(kMsgLineEvents, kLineDialContinue));
      EXPECT_EQ(LineContext().relay.step_timer, 0);
    }
  });
}

// Pulse set-up: after 240 ms the dial parameters (break 60, make 40,
// pulse, inter-digit 750) and the dialler goes on; pulse end: after 50 ms
// the off-hook step; hook flash: after 500 ms the dialler goes on, off hook.
TEST(DaaSequencing, PulseSetupEndAndFlashTimes) {
  AcuPassRig::Run([](FakeDataPump& pump) {
    FreshRelays();
    pump.ClearTraces();
    Request(kDaaPulseStart);
    Pass(239);
    EXPECT_TRUE(pump.Commands().empty());
    Pass(1);
    ASSERT_EQ(pump.Commands().size(), 1u);
    EXPECT_EQ(pump.Commands()[0], (FakePacket{0x66, 6, {60, 40, 1, 0, 0xEE, 0x02}}));
    EXPECT_TRUE(Posted(kMsgLineEvents, kLineDialContinue));

    FreshRelays();
    Request(kDaaPulseEnd);
    Pass(49);
    EXPECT_FALSE(Posted(kMsgLineEvents, kLineHookDone));
    Pass(1);
    EXPECT_TRUE(Posted(kMsgLineEvents, kLineHookDone));
    EXPECT_EQ(dsp_reg_read(242), 0xFB);

    FreshRelays();
    Request(kDaaHookFlash);
    EXPECT_EQ(dsp_reg_read(242), 0xFF);
    Pass(499);
    EXPECT_EQ(dsp_reg_read(242), 0xFF);
    Pass(1);
    EXPECT_EQ(dsp_reg_read(242), 0xFB);
    EXPECT_TRUE(Posted(kMsgLineEvents, kLineDialContinue));
  });
}

// The restart picks sequence id 2 (the record's third) when general flag
// 6 is set, id 1 otherwise; the levels follow the sequence.
TEST(DaaSequencing, RestartSelectsBySelectorFlag) {
  AcuPassRig::Run([](FakeDataPump&) {
    for (const std::uint8_t flag : {0, 1}) {
      SCOPED_TRACE(int{flag});
      FreshRelays();
      LineServicesState& state = MachineState<LineServicesState>();
      state.live_record.bytes[7] = flag;
      LS_restart();
      LS_poll();
      LS_poll();
      EXPECT_EQ(state.context.line_state, flag != 0 ? 2 : 1);
      const std::size_t sequence = flag != 0 ? 2 : 0;
      EXPECT_EQ(DAA_level_record(), state.live_record.bytes.data() + kSequence1 + 57 * sequence + 5);
    }
  });
}

// A line state no sequence carries leaves the relays idle until the next
// restart; a count above three never reaches past the table.
TEST(DaaSequencing, UnmatchedLineStateIdlesUntilRestart) {
  AcuPassRig::Run([](FakeDataPump&) {
    FreshRelays();
    LineServicesState& state = MachineState<LineServicesState>();
    state.live_record.bytes[kSequence1 + 57] = 1;  // ids 1, 1, 2: none is 3
    PutU16(776, 200);                              // a count from an upload
    state.live_record.bytes[kSequence1 + 3 * 57] = 3;  // where a fourth would start
    state.context.line_state = 3;
    Request(kDaaSelect);
    EXPECT_EQ(state.context.line_state, 0);
    EXPECT_EQ(DAA_level_record(), nullptr);
    const Banks before{0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    SetBanks(before);
    Request(kDaaOffHook);
    Request(kDaaOnHook);
    EXPECT_EQ(ReadBanks(), before);
    EXPECT_FALSE(DAA_line_status_ok());

    LS_restart();
    LS_poll();
    LS_poll();
    EXPECT_EQ(state.context.line_state, 1);
    Request(kDaaOnHook);
    EXPECT_EQ(dsp_reg_read(242) & 0x24, 0x24) << "sequencing again";
  });
}

// With "LineInUseDet" and a dial that asks for the line check: 400 ms
// before the seize, then after the seize time call-progress mode 1, and
// 100 ms later either the dial-tone wait (check still asked) or the line
// taken (check withdrawn).
TEST(DaaSequencing, LineInUseCheckPath) {
  AcuPassRig::Run([](FakeDataPump& pump) {
    for (const bool withdrawn : {false, true}) {
      SCOPED_TRACE(withdrawn ? "check withdrawn" : "check still asked");
      FreshRelays();
      reg_settings().features.line_in_use_detect.store(1);
      AcuControllerState& acu = acu_controller();
      acu.dial_line_check = 1;
      acu_settings().s[kSReports] |= 0x10;  // dial-tone detection
      pump.ClearTraces();
      Request(kDaaOffHook);
      EXPECT_EQ(acu.dial_substate, 8);
      EXPECT_EQ(acu.dial_wait_kind, 7);
      EXPECT_EQ(dsp_reg_read(242), 0xFF);
      Pass(399);
      EXPECT_EQ(dsp_reg_read(242), 0xFF);
      Pass(1);
      EXPECT_EQ(dsp_reg_read(242), 0xDB) << "seized";
      EXPECT_EQ(acu.dial_wait_kind, 5);
      Pass(100);  // the seize time
      ASSERT_EQ(pump.Commands().size(), 1u);
      EXPECT_EQ(pump.Commands()[0].code, 0x65);
      EXPECT_EQ(pump.Commands()[0].payload.at(0), 1);
      EXPECT_EQ(acu.dial_wait_kind, 6);
      if (withdrawn) acu.dial_line_check = 0;
      Pass(99);
      EXPECT_EQ(acu.dial_wait_kind, 6);
      Pass(1);
      EXPECT_EQ(acu.dial_substate, withdrawn ? 8 : 3);
      EXPECT_EQ(acu.dial_wait_kind, withdrawn ? 3 : 0);
      EXPECT_FALSE(Posted(kMsgLineEvents, kLineHookDone)) << "no off-hook step on this path";
    }
    reg_settings().features.line_in_use_detect.store(0);
    acu_controller().dial_line_check = 0;
  });
}

// The line-status inputs against the off-hook pattern {0x0024, 0x0004}:
// (mask AND NOT (244 x 256 + 242)) must equal the value.
TEST(DaaSequencing, LineStatusOkOverRegisterValues) {
  struct Case {
    std::uint8_t r242, r244;
    bool ok;
  };
  const std::vector<Case> cases = {
      {0xFB, 0xFF, true},  {0xFB, 0x00, true},   {0x7B, 0x12, true}, {0xFF, 0xFF, false},
      {0xDB, 0xFF, false}, {0xDF, 0xFF, false},  {0x00, 0x00, false}, {0xF9, 0xFF, true},
  };
  AcuPassRig::Run([&](FakeDataPump&) {
    FreshRelays();
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << std::hex << int{c.r242} << " " << int{c.r244});
      dsp_reg_write(242, c.r242);
      dsp_reg_write(244, c.r244);
      EXPECT_EQ(DAA_line_status_ok(), c.ok);
    }
  });
}

}  // namespace
}  // namespace vxctl::testing
