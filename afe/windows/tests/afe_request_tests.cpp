// AfeRequest as the data pump calls it, through the interface table under
// its spin lock, checked against the simulator's registers.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "afe/windows/afe_operations.h"
#include "afe/windows/controller_table.h"
#include "afe/windows/tests/afe_rig.h"
#include "afe/windows/tests/bytes.h"
#include "afe/windows/tests/fake_pump.h"
#include "platform/sim/controller_function.h"

namespace afe::testing {
namespace {

// A register's bits under `mask` as the codec holds them.
struct Bits {
  ULONG reg;
  UCHAR mask;
  UCHAR value;
};

class AfeRequest : public AfeRig {
 protected:
  // Boots (with `config`), starts, and runs `body` on a kernel thread.
  void WithFrontEnd(const std::function<void(AfeInterface&)>& body,
                    plat::MachineConfig config = {}) {
    BootAfe(std::move(config));
    OnKernelThread([&] { body(*StartOrFail()); });
  }

  static LONG Call(AfeInterface& afe, ULONG code, void* argument, ULONG size) {
    return Locked(afe, [&](AfeContext& c) { return afe.AfeRequest(&c, code, argument, &size); });
  }
  static LONG Call(AfeInterface& afe, ULONG code, Bytes& argument) {
    return Call(afe, code, argument.data(), static_cast<ULONG>(argument.size()));
  }
  static LONG CallWord(AfeInterface& afe, ULONG code, ULONG value) {
    return Call(afe, code, &value, sizeof value);
  }

  void ExpectBits(const std::vector<Bits>& bits) {
    for (const Bits& b : bits) {
      EXPECT_EQ(SimRegister(b.reg) & b.mask, b.value) << "register " << b.reg;
    }
  }
};

// Every code with its argument and size word: the result, the codec's
// registers afterwards and what the request wrote back. The rows run in
// order on one started front end whose DMA is not running.
TEST_F(AfeRequest, Codes) {
  struct Case {
    const char* what;
    ULONG code;
    Bytes argument;  // empty: no argument at all
    ULONG size;
    LONG result;
    std::vector<Bits> bits;      // afterwards
    Bytes answer;                // the argument afterwards; empty: as it was
    UCHAR force_53_bit2 = 0xFF;  // 0 or 1: the codec reports register 53 bit 2 so
  };
  const SHORT kMinus5 = -5;
  const Case cases[] = {
      {"line on", 1, {}, 0, 0, {{53, 0x01, 0x01}, {65, 0x08, 0}}, {}},
      {"line off", 2, {}, 0, 0, {{53, 0x01, 0}}, {}},
      {"rate", 3, U32(0xFFFFFFFF), 4, 0, {}, Cat({U16(9600), U16(96)})},
      {"rate, size 2", 3, U32(0), 2, -999, {}, {}},
      {"rate, no argument", 3, {}, 4, -999, {}, {}},
      {"rate change, no argument", 4, {}, 4, -999, {}, {}},
      {"speaker 1", 8, U32(1), 4, 0, {{68, 0xFF, 32}, {69, 0xFF, 32}, {49, 0x08, 0x08}}, {}},
      {"speaker 3", 8, U32(3), 4, 0, {{68, 0xFF, 127}, {69, 0xFF, 127}}, {}},
      {"speaker 0", 8, U32(0), 4, 0, {{68, 0xFF, 0}, {69, 0xFF, 0}, {49, 0x38, 0x28}}, {}},
      {"speaker 2", 8, U32(2), 4, 0, {{68, 0xFF, 63}, {69, 0xFF, 63}}, {}},
      {"speaker 9 mutes", 8, U32(9), 4, 0, {{68, 0xFF, 0}, {69, 0xFF, 0}, {49, 0x38, 0x28}}, {}},
      {"attenuation -5", 9, U16(static_cast<USHORT>(kMinus5)), 2, 0, {{63, 0xF0, 0x20}}, {}},
      {"attenuation read", 10, U16(0x7777), 2, 0, {}, U16(static_cast<USHORT>(-6))},
      {"attenuation read, size 4", 10, U32(0), 4, -999, {}, {}},
      {"gain 8", 11, U16(8), 2, 0, {{63, 0xFF, 0x23}}, {}},
      {"gain read", 12, U16(0), 2, 0, {}, U16(9)},
      {"gain read, size 1", 12, U16(0), 1, -999, {}, {}},
      {"test mode 5", 13, U32(5), 4, -999, {}, {}},
      {"codec flag 1", 14, U32(1), 4, 0, {{66, 0x02, 0x02}}, {}},
      {"codec flag 2", 14, U32(2), 4, 0, {{66, 0x02, 0}}, {}},
      {"status query", 15, U32(0xFFFFFFFF), 4, 0, {}, U32(0)},
      {"status query, size 8", 15, Cat({U32(1), U32(1)}), 8, -999, {}, {}},
      {"write 97", 16, Cat({U32(97), U32(0x11)}), 8, 0, {{97, 0xFF, 0x11}}, {}},
      {"write 98", 16, Cat({U32(98), U32(0x122)}), 8, 0, {{98, 0xFF, 0x22}}, {}},
      {"write 99", 16, Cat({U32(99), U32(0x33)}), 8, 0, {{99, 0xFF, 0x33}}, {}},
      {"write 100", 16, Cat({U32(100), U32(0x44)}), 8, 0, {{100, 0xFF, 0x44}}, {}},
      {"write, size 4", 16, U32(96), 4, -999, {}, {}},
      {"read 97", 17, Cat({U32(97), U32(0)}), 8, 0, {}, Cat({U32(97), U32(0x44332211)})},
      {"read 99: nothing above 100",
       17,
       Cat({U32(99), U32(7)}),
       8,
       0,
       {},
       Cat({U32(99), U32(0x4433)})},
      {"read 101", 17, Cat({U32(101), U32(7)}), 8, 0, {}, Cat({U32(101), U32(0)})},
      {"read far away",
       17,
       Cat({U32(0xFFFFFFF0), U32(7)}),
       8,
       0,
       {},
       Cat({U32(0xFFFFFFF0), U32(0)})},
      {"read, size 12", 17, Cat({U32(97), U32(0), U32(0)}), 12, -999, {}, {}},
      {"power state 4", 18, U32(4), 4, -999, {}, {}},
      {"power state 3", 18, U32(3), 4, 0, {{53, 0x01, 0}, {1, 0x01, 0}}, {}},
      {"hook relay on", 19, U32(7), 4, 0, {{53, 0x08, 0x08}}, {}},
      {"hook relay off", 43, U32(0), 4, 0, {{53, 0x08, 0}}, {}},
      {"hook relay on again", 43, U32(1), 4, 0, {{53, 0x08, 0x08}}, {}},
      {"record, size 555", 20, Bytes(555, 0), 555, -999, {}, {}},
      {"line status", 34, U32(0), 4, 0, {}, U32(2)},
      {"line status, size 2", 34, U16(0), 2, -999, {}, {}},
      {"latency", 38, {4}, 1, 0, {}, {}},
      {"latency, size 4", 38, U32(4), 4, -999, {}, {}},
      {"block ready", 39, {}, 0, 0, {}, {}},
      {"self test, size 12", 40, Bytes(16, 0), 12, -999, {}, {}},
      {"self test, no argument", 40, {}, 16, -999, {}, {}},
      {"self test, flags 0",
       40,
       Cat({U32(5), U32(0), U32(0x77), U32(0x88)}),
       16,
       0,
       {},
       Cat({U32(5), U32(0), U32(0), U32(0)})},
      {"line voltage on hook", 41, U16(0), 2, 0, {}, U16(141)},
      {"line voltage, size 4", 41, U32(0), 4, -999, {}, {}},
      {"line monitor", 44, U32(1), 4, 0, {}, {}},
      {"line monitor, size 2", 44, U16(1), 2, -999, {}, {}},
      {"line status bit set", 47, U16(0x5555), 2, 0, {}, U16(1), 1},
      {"line status bit clear", 47, U16(0x5555), 2, 0, {}, U16(0), 0},
      {"line status bit, size 4", 47, U32(0), 4, -999, {}, {}},
      {"code 0", 0, U32(0), 4, -999, {}, {}},
      {"code 5", 5, U32(0), 4, -999, {}, {}},
      {"code 21", 21, {}, 0, -999, {}, {}},
      {"code 99", 99, U32(0), 4, -999, {}, {}},
  };
  WithFrontEnd([&](AfeInterface& afe) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      auto& knobs = machine().controller().Knobs();
      knobs.ForceByte(53, c.force_53_bit2 == 1 ? 0x04 : 0, c.force_53_bit2 == 0 ? 0x04 : 0);
      const auto before = SimRegisters();
      Bytes argument = c.argument;
      const LONG result = c.argument.empty() ? Call(afe, c.code, nullptr, c.size)
                                             : Call(afe, c.code, argument.data(), c.size);
      EXPECT_EQ(result, c.result);
      if (c.result == kAfeRefused) {
        EXPECT_EQ(SimRegisters(), before) << "a refused request touches nothing";
        EXPECT_EQ(argument, c.argument);
      }
      ExpectBits(c.bits);
      EXPECT_EQ(argument, c.answer.empty() ? c.argument : c.answer);
    }
    machine().controller().Knobs().ForceByte(53, 0, 0);
  });
}

// Attenuation and gain go by 3 dB steps; beyond 13 dB they mute (-100 and
// 100, code 8). Register 63 holds both codes, attenuation in the high nibble.
TEST_F(AfeRequest, Steps) {
  struct Case {
    ULONG set_code;  // 9 or 11
    SHORT db;
    SHORT step;
    UCHAR code;
  };
  const Case cases[] = {
      {9, 0, 0, 0},         {9, -1, 0, 0},    {9, 20, 0, 0},    {9, -2, -3, 1},
      {9, -4, -3, 1},       {9, -5, -6, 2},   {9, -7, -6, 2},   {9, -8, -9, 3},
      {9, -10, -9, 3},      {9, -11, -12, 4}, {9, -13, -12, 4}, {9, -14, -100, 8},
      {9, -32768, -100, 8}, {11, 1, 0, 0},    {11, -20, 0, 0},  {11, 2, 3, 1},
      {11, 4, 3, 1},        {11, 5, 6, 2},    {11, 7, 6, 2},    {11, 8, 9, 3},
      {11, 10, 9, 3},       {11, 11, 12, 4},  {11, 13, 12, 4},  {11, 14, 100, 8},
      {11, 32767, 100, 8},
  };
  WithFrontEnd([&](AfeInterface& afe) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "request " << c.set_code << " with " << c.db);
      const bool attenuation = c.set_code == kAfeSetAttenuation;
      // The other setting holds code 2 and must stay.
      const SHORT other = attenuation ? 5 : -5;
      Bytes other_db = U16(static_cast<USHORT>(other));
      ASSERT_EQ(Call(afe, attenuation ? kAfeSetGain : kAfeSetAttenuation, other_db), kAfeOk);
      Bytes db = U16(static_cast<USHORT>(c.db));
      ASSERT_EQ(Call(afe, c.set_code, db), kAfeOk);
      SHORT step = 0x7777;
      ASSERT_EQ(Call(afe, c.set_code + 1, &step, sizeof step), kAfeOk);
      EXPECT_EQ(step, c.step);
      EXPECT_EQ(SimRegister(63), attenuation ? (c.code << 4 | 2) : (2 << 4 | c.code));
    }
  });
}

// Each test mode's marks on the codec, taken in turn: every change starts
// from a fresh initialisation, so the marks of the mode before are gone.
TEST_F(AfeRequest, TestModes) {
  struct Case {
    ULONG mode;
    std::vector<Bits> bits;
    ULONG active;
  };
  const Case cases[] = {
      {1, {{54, 0x10, 0x10}, {53, 0x01, 0}, {49, 0x02, 0}}, 0},
      {2,
       {{65, 0x60, 0x20}, {73, 0x20, 0x20}, {53, 0x01, 0x01}, {49, 0x02, 0x02}, {54, 0x10, 0}},
       1},
      {3, {{65, 0x60, 0}, {73, 0x20, 0}, {53, 0x01, 0x01}, {49, 0x02, 0x02}, {50, 0x08, 0}}, 1},
      {4, {{53, 0x01, 0x01}, {49, 0x02, 0}, {50, 0x08, 0x08}}, 1},
      {0, {{53, 0x01, 0}, {49, 0x02, 0}, {50, 0x08, 0}, {54, 0x10, 0}}, 0},
  };
  WithFrontEnd([&](AfeInterface& afe) {
    AfeState& state = *afe.Context->State;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.mode);
      ASSERT_EQ(CallWord(afe, kAfeTestMode, c.mode), kAfeOk);
      ExpectBits(c.bits);
      EXPECT_EQ(state.TestMode, c.mode);
      EXPECT_EQ(state.TestModeActive, c.active);
      EXPECT_EQ(state.OffHookCounter, 0u) << "a test mode's line on starts no off-hook sequence";
    }
    // The same mode again does nothing: the mark left on register 65 stays,
    // where a new initialisation and mode 2 would both clear it.
    ASSERT_EQ(CallWord(afe, kAfeTestMode, 2), kAfeOk);
    Bytes mark = Cat({U32(65), U32(SimRegister(65) | 0x40)});
    ASSERT_EQ(Call(afe, kAfeRegisterWrite, mark), kAfeOk);
    ASSERT_EQ(CallWord(afe, kAfeTestMode, 2), kAfeOk);
    EXPECT_EQ(SimRegister(65) & 0x40, 0x40);
  });
}

// What the ADC hears in each test mode while a data pump sends seeded
// blocks: modes 2 and 3 close the codec's analog loop and mode 1 its
// digital one, so the blocks come back three blocks and the loop's delay
// later; modes 0 and 4 hear the silent line.
TEST_F(AfeRequest, TestModeLoops) {
  constexpr unsigned kDelay = 5;
  constexpr long kSamples = 96;
  for (const auto& [mode, loops] : std::vector<std::pair<ULONG, bool>>{
           {0, false}, {1, true}, {2, true}, {3, true}, {4, false}}) {
    SCOPED_TRACE(mode);
    plat::MachineConfig config;
    config.controller.loopback.delay = kDelay;
    WithFrontEnd(
        [&](AfeInterface& afe) {
          ASSERT_EQ(CallWord(afe, kAfePowerState, 0), kAfeOk);
          ASSERT_EQ(CallWord(afe, kAfeTestMode, mode), kAfeOk);
          FakePump pump(afe, events_, 40 + mode);
          pump.Run(40);
          const long lag = FindLag(pump.Sent(), pump.Received(), 20 * kSamples, 0, 40 * kSamples);
          EXPECT_EQ(lag, loops ? 3 * kSamples + kDelay : -1);
        },
        config);
    machine().Shutdown();
  }
}

// Power states: 0 powers up once; 1 and 2 stop the DMA, put the line off
// and power the codec and the controller down (the latter through the
// saved configuration space, byte 0x85 bits 0 and 7); 3 only stops the
// DMA and puts the line off. A later 0 powers up again.
TEST_F(AfeRequest, PowerStates) {
  struct Case {
    ULONG state;
    bool powered_down;
  };
  for (const Case c : {Case{1, true}, Case{2, true}, Case{3, false}}) {
    SCOPED_TRACE(c.state);
    WithFrontEnd([&](AfeInterface& afe) {
      AfeContext& context = *afe.Context;
      const plat::hal::PciConfigSpace& config =
          machine().hal().hal().Bus().Find(plat::sim::kControllerLocation)->config;
      ASSERT_EQ(CallWord(afe, kAfePowerState, 0), kAfeOk);
      for (int block = 0; block < 3; ++block) ASSERT_TRUE(AwaitBlock(events_));
      ASSERT_EQ(CallWord(afe, kAfePowerState, 0), kAfeOk);
      EXPECT_EQ(context.BlockCounter, 3) << "the same state again does nothing";
      ASSERT_EQ(Call(afe, kAfeLineOn, nullptr, 0), kAfeOk);

      std::vector<UCHAR> expected_config(kSavedConfigBytes);
      for (ULONG i = 0; i < kSavedConfigBytes; ++i) expected_config[i] = config.Byte(i);
      if (c.powered_down) expected_config[0x85] |= 0x81;
      ASSERT_EQ(CallWord(afe, kAfePowerState, c.state), kAfeOk);
      EXPECT_EQ(context.PowerState, static_cast<LONG>(c.state));
      EXPECT_EQ(context.DmaRunning, 0u);
      ExpectBits({{1, 0x01, 0}, {2, 0x06, 0}, {53, 0x01, 0}});
      const UCHAR down = c.powered_down ? 0x80 : 0;
      ExpectBits({{72, 0x80, down}, {51, 0x80, down}, {52, 0x80, static_cast<UCHAR>(down ^ 0x80)}});
      for (ULONG i = 0; i < kSavedConfigBytes; ++i) {
        EXPECT_EQ(config.Byte(i), expected_config[i]) << "configuration byte " << i;
      }
      const LONG counter = context.BlockCounter;
      EXPECT_FALSE(AwaitBlock(events_)) << "no blocks while powered down";
      EXPECT_EQ(context.BlockCounter, counter);

      ASSERT_EQ(CallWord(afe, kAfePowerState, 0), kAfeOk);
      ExpectBits({{72, 0x80, 0}, {51, 0x80, 0}});
      for (int block = 0; block < 3; ++block) ASSERT_TRUE(AwaitBlock(events_));
      EXPECT_EQ(context.BlockCounter, 3) << "the power-up counts from 0";
    });
    machine().Shutdown();
  }
}

// Request 20 against a record built here from its table; the bytes it has
// no value for are zero, and 534 follows register 64's bits 2 and 3.
TEST_F(AfeRequest, AfeInfo) {
  auto put = [](Bytes& record, std::size_t at, const Bytes& value) {
    std::copy(value.begin(), value.end(), record.begin() + static_cast<long>(at));
  };
  const ULONG first[] = {256, 0, 8, 12, 16, 20, 24, 28, 32, 36, 40};
  const ULONG second[] = {48, 52, 56, 60, 64, 68, 72, 76, 80, 84, 88, 92, 96, 100};
  struct Case {
    UCHAR register_64;
    UCHAR latency_request;  // request 38's value
    USHORT high_threshold;
  };
  WithFrontEnd([&](AfeInterface& afe) {
    for (const Case c :
         {Case{0x0C, 2, 61}, Case{0x04, 4, 121}, Case{0x08, 2, 121}, Case{0xFF, 0, 61}}) {
      SCOPED_TRACE(int{c.register_64});
      Bytes golden(556, 0);
      put(golden, 0, U32(78));
      put(golden, 4, U16(kKind3Identity.vendor_id));
      put(golden, 6, U16(kKind3Identity.device_id));
      put(golden, 8, U16(c.latency_request));  // latency - 1
      put(golden, 10, U16(1));
      for (std::size_t i = 0; i < std::size(first); ++i) put(golden, 12 + 4 * i, U32(first[i]));
      for (std::size_t i = 0; i < std::size(second); ++i) put(golden, 268 + 4 * i, U32(second[i]));
      put(golden, 524, U32(6));
      put(golden, 528, U16(28));
      put(golden, 530, U16(16000));
      put(golden, 532, U16(9));
      put(golden, 534, U16(c.high_threshold));
      put(golden, 536, U16(9));
      put(golden, 540, U32(1));
      put(golden, 552, U16(30));

      Bytes write = Cat({U32(64), U32(c.register_64)});
      ASSERT_EQ(Call(afe, kAfeRegisterWrite, write), kAfeOk);
      UCHAR latency = c.latency_request;
      ASSERT_EQ(Call(afe, kAfeLatency, &latency, 1), kAfeOk);
      Bytes record(556, 0xAB);
      ASSERT_EQ(Call(afe, kAfeGetInfo, record), kAfeOk);
      EXPECT_EQ(record, golden);
    }
  });
}

// Request 4 returns at once and the change lands with the deferred service
// of block latency + counter - 1; request 3 reads the rate in force.
TEST_F(AfeRequest, RateRequests) {
  struct Case {
    int latency_request;  // -1: the default latency 3
    int blocks_before;
    USHORT samples;
    USHORT hz;
  };
  for (const Case c : {Case{-1, 1, 96, 8000}, Case{4, 2, 96, 16000}, Case{1, 3, 48, 7200},
                       Case{-1, 5, 138, 13714}}) {
    SCOPED_TRACE(::testing::Message() << c.samples << " at " << c.hz);
    WithFrontEnd([&](AfeInterface& afe) {
      AfeContext& context = *afe.Context;
      ASSERT_EQ(CallWord(afe, kAfePowerState, 0), kAfeOk);
      if (c.latency_request >= 0) {
        UCHAR latency = static_cast<UCHAR>(c.latency_request);
        ASSERT_EQ(Call(afe, kAfeLatency, &latency, 1), kAfeOk);
      }
      for (int block = 0; block < c.blocks_before; ++block) ASSERT_TRUE(AwaitBlock(events_));
      ASSERT_EQ(context.BlockCounter, c.blocks_before);
      const int latency = c.latency_request >= 0 ? c.latency_request + 1 : kDefaultLatency;
      const LONG landing = latency + c.blocks_before - 1;
      ASSERT_EQ(CallWord(afe, kAfeSetRate, ULONG{c.samples} << 16 | c.hz), kAfeOk);
      auto rate = [&] {
        USHORT words[2] = {};
        EXPECT_EQ(Call(afe, kAfeGetRate, words, sizeof words), kAfeOk);
        return std::pair{words[0], words[1]};
      };
      EXPECT_EQ(rate(), (std::pair<USHORT, USHORT>{9600, 96})) << "not at once";
      while (rate().first == 9600) {
        ASSERT_TRUE(AwaitBlock(events_));
        ASSERT_LE(context.BlockCounter, landing);
      }
      EXPECT_EQ(context.BlockCounter, landing);
      EXPECT_EQ(rate(), (std::pair{c.hz, c.samples}));
    });
    machine().Shutdown();
  }
}

// Request 44 during the off-hook sequence: taken while the sequence counter
// is at most 50 (0 ends the sequence), ignored once it has passed 50 (the
// sequence then runs on to its end at 78).
TEST_F(AfeRequest, LineMonitor) {
  struct Case {
    ULONG counter;  // when request 44 comes
    bool taken;
  };
  for (const Case c : {Case{2, true}, Case{50, true}, Case{51, false}, Case{70, false}}) {
    SCOPED_TRACE(c.counter);
    WithFrontEnd([&](AfeInterface& afe) {
      AfeState& state = *afe.Context->State;
      ASSERT_EQ(CallWord(afe, kAfePowerState, 0), kAfeOk);
      ASSERT_EQ(Call(afe, kAfeLineOn, nullptr, 0), kAfeOk);
      while (state.OffHookCounter < c.counter) ASSERT_TRUE(AwaitBlock(events_));
      ASSERT_EQ(state.OffHookCounter, c.counter);
      ASSERT_EQ(CallWord(afe, kAfeLineMonitor, 0), kAfeOk);
      EXPECT_EQ(state.LineMonitor, c.taken ? 0u : 1u);
      for (int block = 0; block < 40; ++block) ASSERT_TRUE(AwaitBlock(events_));
      EXPECT_EQ(state.OffHookCounter, 0u);
      // Bit 6 comes at 51 and goes with the end at 78.
      EXPECT_EQ(SimRegister(65) & 0x60, c.taken && c.counter == 50 ? 0x20 : 0);
      ASSERT_EQ(CallWord(afe, kAfeLineMonitor, 1), kAfeOk);
      EXPECT_EQ(state.LineMonitor, 1u);
    });
    machine().Shutdown();
  }
}

}  // namespace
}  // namespace afe::testing
