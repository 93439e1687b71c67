// The self tests on the simulator: every power-up of a healthy front end
// passes them; each simulator fault fails the test that looks for it, with
// the run's result and detail and the failing test's record; a requested
// run leaves the front end in the power state it found.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "afe/windows/afe_registers.h"
#include "afe/windows/tests/fake_pump.h"
#include "afe/windows/tests/self_test_rig.h"
#include "platform/hal/machine_hal.h"
#include "platform/sim/controller_function.h"

namespace afe::testing {
namespace {

constexpr ULONG kPassedTests[] = {1, 2, 3, 4, 6, 7, 9};  // what a power-up runs

class SelfTest : public SelfTestRig {
 public:
  // The fault table's rows reach the machine through the fixture.
  using AfeRig::kernel;
  using AfeRig::machine;

  plat::hal::PciFunction& ControllerFunction() {
    return *machine().hal().hal().Bus().Find(plat::sim::kControllerLocation);
  }
  void SetCommand(USHORT command) {
    const UCHAR bytes[] = {static_cast<UCHAR>(command), static_cast<UCHAR>(command >> 8)};
    ControllerFunction().config.Write(plat::hal::pci::kCommand, bytes);
  }
};

void ExpectAllPassed(const std::vector<SelfTestRecord>& records) {
  EXPECT_EQ(TestsIn(records), std::vector<ULONG>(std::begin(kPassedTests), std::end(kPassedTests)));
  for (const SelfTestRecord& r : records) {
    EXPECT_EQ(r.Kind, SelfTestKind::kPassed) << r;
    EXPECT_EQ(r.Result, 0) << r;
  }
}

// Every power-up, from each power state and at each rate the codec runs,
// runs tests 1, 2, 3, 4, 6, 7 and 9 on a healthy front end; all pass, the
// power-on log holds exactly their records, and blocks flow afterwards.
TEST_F(SelfTest, HealthyHardwarePassesAtEveryPowerUp) {
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = *StartOrFail();
    AfeContext& context = *afe.Context;
    EXPECT_EQ(context.PowerOnTests.Result, kSelfTestNotRun) << "no power-up yet";
    struct PowerUp {
      ULONG from;  // power state before the power-up
      USHORT hz;
      USHORT samples;
    };
    const PowerUp power_ups[] = {
        {4, 9600, 96},  {3, 9600, 96}, {1, 8000, 48},  {2, 7200, 32},  {3, 8229, 100},
        {3, 8400, 138}, {3, 9000, 64}, {3, 10286, 96}, {3, 13714, 96}, {3, 16000, 138},
    };
    for (const PowerUp& p : power_ups) {
      SCOPED_TRACE(::testing::Message() << "from state " << p.from << " at " << p.hz);
      if (p.from != 4) RequestPowerState(afe, p.from);
      context.SampleRate = p.hz;
      context.SamplesPerBlock = p.samples;
      RequestPowerState(afe, 0);
      EXPECT_EQ(context.PowerOnTests.Result, 0);
      EXPECT_EQ(context.PowerOnTests.Detail, 0u);
      const auto records = Records(PowerOnLog(afe));
      ExpectAllPassed(records);
      ASSERT_EQ(records.size(), std::size(kPassedTests));
      EXPECT_NE(records[0].Detail & 0x3, 0u) << "test 1 reports a command register that decodes";
      EXPECT_EQ(records.back().Detail, 0u) << "a loop that passes reports 0";
      EXPECT_EQ(context.DmaRunning, 1u);
      EXPECT_TRUE(AwaitBlock(events_)) << "blocks flow after the tests";
    }
    EXPECT_EQ(RequestLog(afe).size(), 0u) << "power-ups write only the power-on log";
  });
}

// One simulator fault per row: the run's result (the failing test's flag,
// negated) and detail (that test's result), and the failing test's record
// last in the request log, after the passed records of the tests before it.
TEST_F(SelfTest, FaultTable) {
  using Arrange = std::function<void(SelfTest&)>;
  using Fault = std::function<void(SelfTest&, AfeInterface&)>;
  using Knobs = plat::sim::ControllerKnobs;
  auto knob = [](std::function<void(Knobs&)> set) -> Fault {
    return [=](SelfTest& t, AfeInterface&) { set(t.machine().controller().Knobs()); };
  };
  auto force = [knob](ULONG reg, UCHAR ones, UCHAR zeros = 0) -> Fault {
    return knob([=](Knobs& k) { k.ForceByte(reg, ones, zeros); });
  };
  auto request = [](ULONG code, SHORT db) -> Fault {
    return [=](SelfTest&, AfeInterface& afe) {
      SHORT value = db;
      ULONG size = sizeof value;
      Locked(afe, [&](AfeContext& c) { return afe.AfeRequest(&c, code, &value, &size); });
    };
  };
  auto command = [](USHORT value) -> Fault {
    return [=](SelfTest& t, AfeInterface&) { t.SetCommand(value); };
  };
  auto stall_engines = [](bool on) -> Fault {
    return [=](SelfTest& t, AfeInterface&) {
      t.machine().controller().StallEngines(t.kernel().Now(), on);
    };
  };
  struct Row {
    const char* name;
    Arrange before_start;  // may be empty
    Fault fault;           // after the start
    Fault undo;            // after the run; may be empty
    ULONG flags;
    LONG result;
    LONG detail;
    SelfTestRecord record;
    bool detail_at_least = false;  // the record's detail is a lower bound
  };
  // The controller where the presence scan of buses 0-2 does not look; a
  // table function on bus 0 lets the start's probe pass.
  const Arrange controller_on_bus_3 = [](SelfTest& t) {
    plat::hal::PciBus& pci = t.machine().hal().hal().Bus();
    pci.Remove(plat::sim::kControllerLocation);
    pci.Add({0, 2, 0}, plat::hal::ConfigurationOnlyFunction(0x7B31, 0x0101, 0));
    pci.Add({3, 9, 0}, plat::sim::ControllerFunction(t.machine().controller()));
  };
  const Fault none = [](SelfTest&, AfeInterface&) {};
  const ULONG kAll = kPowerOnSelfTests;
  using K = SelfTestKind;
  constexpr USHORT kMasterOnly = plat::hal::pci::kCommandMaster;
  // clang-format off
  const std::vector<Row> rows = {
      {"controller not on buses 0-2", controller_on_bus_3, none, {},
       kAll, -1, -1, {K::kFailed, 0, 1, -1}},
      {"neither I/O nor memory decoding", {}, command(kMasterOnly), command(0x0007),
       kAll, -1, -2, {K::kFailed, kMasterOnly, 1, -2}},
      {"DMA error latched", {}, force(0, 0x01), {},
       kAll, -2, -2, {K::kFailed, 0x01, 2, -2}},
      {"controller busy for good", {}, knob([](Knobs& k) { k.busy_stuck = true; }), {},
       kAll, -2, -5, {K::kFailed, 0x80, 2, -5}},
      {"register 0 bit 1", {}, force(0, 0x02), {}, kAll, -4, -15, {K::kFailed, 0x02, 3, -15}},
      {"register 0 bit 6", {}, force(0, 0x40), {}, kAll, -4, -16, {K::kFailed, 0x40, 3, -16}},
      {"register 1 bit 3", {}, force(1, 0x08), {}, kAll, -4, -20, {K::kFailed, 0x08, 3, -20}},
      {"register 2 bit 0", {}, force(2, 0x01), {}, kAll, -4, -21, {K::kFailed, 0x01, 3, -21}},
      {"register 3", {}, force(3, 0x80), {}, kAll, -4, -21, {K::kFailed, 0x80, 3, -21}},
      {"register 4 high nibble", {}, force(4, 0x10), {}, kAll, -4, -22, {K::kFailed, 0x10, 3, -22}},
      {"register 5 bit 0", {}, force(5, 0x01), {}, kAll, -4, -23, {K::kFailed, 0x01, 3, -23}},
      {"DMA register bit 5 stuck at 1", {}, knob([](Knobs& k) { k.ForceDword(32, 0x20, 0); }), {},
       kAll, -8, -1, {K::kFailed, 0x20, 4, -1}},
      {"DMA register bit 31 stuck at 0", {},
       knob([](Knobs& k) { k.ForceDword(32, 0, 0x8000'0000); }), {},
       kAll, -8, -2, {K::kFailed, 0x7FFF'FFFF, 4, -2}},
      {"codec never ready", {}, knob([](Knobs& k) { k.never_ready = true; }), {},
       kAll, -128, -1, {K::kFailed, regs::kNoVoltageReading, 6, -1}},
      {"no line sense bits", {}, force(61, 0, 0x3C), {}, kAll, -128, -4, {K::kFailed, 0, 6, -4}},
      {"register 49 bit 7", {}, force(49, 0x80), {}, kAll, -32, -15, {K::kFailed, 0xE8, 7, -15}},
      {"register 50 bit 0 clear", {}, force(50, 0, 0x01), {},
       kAll, -32, -18, {K::kFailed, 0x12, 7, -18}},
      {"register 54 bit 3", {}, force(54, 0x08), {}, kAll, -32, -20, {K::kFailed, 0x08, 7, -20}},
      {"register 63 bit 3", {}, force(63, 0x08), {}, kAll, -32, -11, {K::kFailed, 0x08, 7, -11}},
      {"gain muted by request 11", {}, request(kAfeSetGain, 14), {},
       kAll, -32, -11, {K::kFailed, 0x08, 7, -11}},
      {"attenuation muted by request 9", {}, request(kAfeSetAttenuation, -14), {},
       kAll, -32, -12, {K::kFailed, 0x80, 7, -12}},
      {"loopback does not engage", {}, force(54, 0, 0x10), {},
       kAll, -256, -2, {K::kFailed, 0, 9, -2}},
      {"loopback stays engaged", {}, force(54, 0x10), {},
       kLoopbackSelfTest, -256, -10, {K::kFailed, 0x10, 9, -10}},
      {"engines stalled", {}, stall_engines(true), stall_engines(false),
       kAll, -256, -5, {K::kFailed, 0, 9, -5}},
      {"loopback gain 0.5", {}, knob([](Knobs& k) { k.loopback.gain = 0.5; }), {},
       kAll, -256, -9, {K::kFailed, 100, 9, -9}},
      {"loopback gain 0.8", {}, knob([](Knobs& k) { k.loopback.gain = 0.8; }), {},
       kAll, -256, -9, {K::kFailed, 25, 9, -9}},
      {"nothing comes back", {}, knob([](Knobs& k) { k.loopback.all_zero = true; }), {},
       kAll, -256, -9, {K::kFailed, kUnmeasuredDistortion, 9, -9}},
      {"receive engine 10 samples late: the block comes back before it was sent", {},
       knob([](Knobs& k) { k.receive_skew = 10; }), {},
       kAll, -256, -9, {K::kFailed, kUnmeasuredDistortion, 9, -9}},
      {"a loop longer than the correlation reaches", {},
       knob([](Knobs& k) { k.loopback.delay = 75; }), {},
       kAll, -256, -9, {K::kFailed, 6, 9, -9}},
      {"loud noise on the loop", {}, knob([](Knobs& k) { k.loopback.noise_amplitude = 8000; }), {},
       kAll, -256, -9, {K::kFailed, 6, 9, -9}, true},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BootAfe();
    if (row.before_start) row.before_start(*this);
    OnKernelThread([&] {
      AfeInterface& afe = *StartOrFail();
      row.fault(*this, afe);
      const SelfTestBlock block = RunSelfTests(afe, row.flags);
      if (row.undo) row.undo(*this, afe);
      EXPECT_EQ(block.Result, row.result);
      EXPECT_EQ(static_cast<LONG>(block.Detail), row.detail);
      const auto records = Records(RequestLog(afe));
      ASSERT_FALSE(records.empty());
      const SelfTestRecord& last = records.back();
      EXPECT_EQ(last.Kind, row.record.Kind);
      EXPECT_EQ(last.Test, row.record.Test);
      EXPECT_EQ(last.Result, row.record.Result);
      if (row.detail_at_least) {
        EXPECT_GE(last.Detail, row.record.Detail) << last;
      } else {
        EXPECT_EQ(last.Detail, row.record.Detail) << std::hex << last.Detail;
      }
      for (std::size_t i = 0; i + 1 < records.size(); ++i) {
        EXPECT_EQ(records[i].Kind, SelfTestKind::kPassed) << records[i];
        EXPECT_LT(records[i].Test, last.Test) << "the tests before the failing one";
      }
      EXPECT_EQ(afe.Context->PowerState, 4) << "the front end was never powered up";
      EXPECT_EQ(afe.Context->DmaRunning, 0u);
    });
    machine().Shutdown();
  }
}

// Loops the correlation reaches pass, whatever their delay.
TEST_F(SelfTest, LoopDelaysWithinReachPass) {
  for (const unsigned delay : {0u, 2u, 37u, 64u, 74u}) {
    SCOPED_TRACE(delay);
    plat::MachineConfig config;
    config.controller.loopback.delay = delay;
    BootAfe(config);
    OnKernelThread([&] {
      AfeInterface& afe = *StartOrFail();
      const SelfTestBlock block = RunSelfTests(afe, kLoopbackSelfTest, 0);
      EXPECT_EQ(block.Result, 0);
      EXPECT_EQ(block.Detail, 0u);
    });
    machine().Shutdown();
  }
}

// Flags 0 answer result 0 and detail 0 and touch nothing: not the codec's
// registers, not the power state, not the logs, in a stopped front end and
// in a running one.
TEST_F(SelfTest, FlagsZeroTouchNothing) {
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = *StartOrFail();
    AfeContext& context = *afe.Context;
    for (const ULONG state : {4u, 3u, 0u}) {
      SCOPED_TRACE(state);
      if (state != 4) RequestPowerState(afe, state);
      const auto registers = SimRegisters();
      const auto power_on = Records(PowerOnLog(afe));
      const AfeSelfTestSet requested = context.RequestedTests;
      const LONG blocks = context.BlockCounter;
      const SelfTestBlock block = RunSelfTests(afe, 0, 7);
      EXPECT_EQ(block.Result, 0);
      EXPECT_EQ(block.Detail, 0u);
      if (state != 0) {
        EXPECT_EQ(SimRegisters(), registers);
      }
      EXPECT_EQ(context.PowerState, static_cast<LONG>(state));
      EXPECT_EQ(context.DmaRunning, state == 0 ? 1u : 0u);
      EXPECT_GE(context.BlockCounter, blocks) << "no power-up reset the counter";
      EXPECT_EQ(Records(PowerOnLog(afe)), power_on);
      EXPECT_EQ(RequestLog(afe).size(), 0u);
      EXPECT_EQ(context.RequestedTests.Threshold, requested.Threshold);
      EXPECT_EQ(context.RequestedTests.Flags, requested.Flags);
    }
  });
}

// Test 4 needs the DMA stopped: a requested run stops a running DMA first,
// so the test runs and passes, and blocks flow again afterwards.
TEST_F(SelfTest, DmaRunningIsStoppedFirst) {
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = *StartOrFail();
    RequestPowerState(afe, 0);
    FakePump pump(afe, events_, 4);
    pump.Run(5);
    ASSERT_EQ(afe.Context->DmaRunning, 1u);
    const SelfTestBlock block = RunSelfTests(afe, 0x8);
    EXPECT_EQ(block.Result, 0);
    EXPECT_EQ(block.Detail, 0u);
    const auto records = Records(RequestLog(afe));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Kind, SelfTestKind::kPassed);
    EXPECT_EQ(records[0].Test, 4u);
    EXPECT_EQ(afe.Context->DmaRunning, 1u) << "powered up again, as before the run";
    pump.Run(10);
  });
}

// A requested run asks for the power state it found again: powered-down
// states stay powered down, a stopped front end stays stopped, and one
// never powered (state 4) returns to state 4, so the next request for state
// 0 still powers it up. A run that fails restores the state as well.
TEST_F(SelfTest, RequestedRunRestoresThePowerState) {
  struct Case {
    ULONG state;
    bool fails;
  };
  for (const Case c : {Case{0, false}, Case{1, false}, Case{2, false}, Case{3, false},
                       Case{4, false}, Case{1, true}, Case{4, true}}) {
    SCOPED_TRACE(::testing::Message() << "state " << c.state << (c.fails ? ", failing" : ""));
    BootAfe();
    OnKernelThread([&] {
      AfeInterface& afe = *StartOrFail();
      AfeContext& context = *afe.Context;
      if (c.state != 4) RequestPowerState(afe, c.state);
      if (c.fails) machine().controller().Knobs().loopback.all_zero = true;
      const bool powered_down = c.state == 1 || c.state == 2;
      EXPECT_EQ(SimRegister(72) & 0x80, powered_down ? 0x80 : 0);
      const SelfTestBlock block = RunSelfTests(afe, kPowerOnSelfTests);
      EXPECT_EQ(block.Result, c.fails ? -256 : 0);
      EXPECT_EQ(context.PowerState, static_cast<LONG>(c.state));
      EXPECT_EQ(context.DmaRunning, c.state == 0 ? 1u : 0u);
      EXPECT_EQ(SimRegister(72) & 0x80, powered_down ? 0x80 : 0) << "powered down again";
      EXPECT_EQ(SimRegister(51) & 0x80, powered_down ? 0x80 : 0);
      EXPECT_EQ(SimRegister(53) & regs::kLineOn, 0) << "line off";
      if (c.state == 4) {
        RequestPowerState(afe, 0);
        EXPECT_EQ(context.PowerState, 0);
        EXPECT_EQ(context.DmaRunning, 1u) << "state 0 still powers up";
        EXPECT_EQ(PowerOnLog(afe).size(), std::size(kPassedTests));
        EXPECT_TRUE(AwaitBlock(events_));
      }
    });
    machine().Shutdown();
  }
}

}  // namespace
}  // namespace afe::testing
