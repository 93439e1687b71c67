// Self tests 1 to 8, the run that strings the tests together, and the two
// runs: the power-on run of every power-up and the requested run of
// request 40. Test 9, the loopback, is loopback_test.cpp.
#include <algorithm>
#include <iterator>
#include <span>
#include <type_traits>

#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_registers.h"
#include "afe/windows/afe_state.h"
#include "afe/windows/pci_config_ports.h"
#include "afe/windows/self_test.h"

namespace afe {
namespace {

constexpr ULONG kCommandDecodes = 0x0003;  // I/O space | memory space

// Test 1: the context's identity among the functions of buses 0-2, and
// that it decodes I/O or memory. The detail is its command register.
LONG PciPresenceTest(AfeContext* context, ULONG* detail) {
  const ULONG identity = context->VendorId | ULONG{context->DeviceId} << 16;
  for (ULONG function = 0; function < kProbedFunctions; ++function) {
    if (ReadConfigDword(ConfigAddress(function)) != identity) continue;
    *detail = ReadConfigDword(ConfigAddress(function, kConfigCommand)) & 0xFFFF;
    return (*detail & kCommandDecodes) != 0 ? 0 : -2;
  }
  return -1;
}

// Tests 2, 3, 6 and 7 are register checks: the register's bits under the
// mask must all be clear, or (must_be_set) not all clear. The first check
// that fails gives the test's result; the detail is the last value read.
struct RegisterCheck {
  ULONG reg;
  UCHAR mask;
  bool must_be_set;
  LONG result;
};

constexpr RegisterCheck kControllerIdle[] = {
    {regs::kDmaControl, 0x01, false, -2},  // no DMA error latched
    {regs::kBusy, regs::kBusyBit, false, -5},
};
constexpr RegisterCheck kRegistersIdle[] = {
    {regs::kDmaControl, regs::kDmaRewind, false, -15},
    {regs::kDmaControl, 0x40, false, -16},
    {regs::kDmaControl, regs::kLoopbackTransfer, false, -17},
    {regs::kRun, regs::kRunEngines, false, -18},
    {regs::kRun, regs::kEnginesRestart, false, -19},
    {regs::kRun, 0x18, false, -20},
    {regs::kInterruptEnable, 0xF9, false, -21},  // only the period enables may be set
    {3, 0xFF, false, -21},
    {regs::kStatus, 0xF0, false, -22},
    {5, 0x01, false, -23},
};
constexpr RegisterCheck kCodecPresent[] = {
    {regs::kCodecReadings, regs::kCodecReady, true, -1},
    {61, 0x3C, true, -4},
};
constexpr RegisterCheck kCodecPathsInitial[] = {
    {regs::kCodecReadings, regs::kCodecReady, true, -1},
    {regs::kCodecPaths, 0x80, false, -15},
    {regs::kCodecPaths, regs::kTestLoop, false, -14},
    {regs::kCodecControl, regs::kTestMode4, false, -14},
    {regs::kCodecControl, regs::kControlInit, true, -17},
    {regs::kCodecControl, 0x01, true, -18},
    {regs::kDigitalPaths, regs::kDigitalLoopback, false, -19},
    {regs::kDigitalPaths, 0x08, false, -20},
    {regs::kLineLevels, 0x80, false, -12},  // attenuation muted (code 8)
    {regs::kLineLevels, 0x08, false, -11},  // gain muted (code 8)
};

LONG CheckRegisters(const AfeContext& context, std::span<const RegisterCheck> checks,
                    ULONG* detail) {
  for (const RegisterCheck& check : checks) {
    const UCHAR value = ReadRegister(*context.State, check.reg);
    *detail = value;
    const bool any_set = (value & check.mask) != 0;
    if (any_set != check.must_be_set) return check.result;
  }
  return 0;
}

template <const auto& kChecks>
LONG RegisterTest(AfeContext* context, ULONG* detail) {
  return CheckRegisters(*context, kChecks, detail);
}

// Test 4: the transmit next-period register holds every bit as 0 and as 1,
// and its value afterwards. The detail is the last value read back.
LONG DmaAddressTest(AfeContext* context, ULONG* detail) {
  if (context->DmaRunning != 0) return -1;
  const AfeState& state = *context->State;
  const ULONG reg = regs::kTxDma.next;
  const auto holds = [&](ULONG value) {
    WriteRegister32(state, reg, value);
    *detail = ReadRegister32(state, reg);
    return *detail == value;
  };
  constexpr int kPatterns = 16;
  const ULONG saved = ReadRegister32(state, reg);
  ULONG pattern = 0;
  for (int i = 0; i < kPatterns; ++i, pattern = pattern << 1 ^ 0x10001) {
    if (!holds(pattern)) return -1;
  }
  pattern = 0xFFFF'FFFF;
  for (int i = 0; i < kPatterns; ++i, pattern = (pattern ^ 0x8000) << 1) {
    if (!holds(pattern)) return -2;
  }
  return holds(saved) ? 0 : -3;
}

// Tests 5 and 8 check nothing.
LONG NothingToTest(AfeContext*, ULONG*) { return 0; }

constexpr AfeSelfTestRoutine kSelfTestRoutines[] = {
    PciPresenceTest,
    RegisterTest<kControllerIdle>,
    RegisterTest<kRegistersIdle>,
    DmaAddressTest,
    NothingToTest,
    RegisterTest<kCodecPresent>,
    RegisterTest<kCodecPathsInitial>,
    NothingToTest,
    LoopbackSelfTest,
};
static_assert(std::size(kSelfTestRoutines) == std::extent_v<decltype(AfeContext::SelfTests)>);

struct RunOrder {
  ULONG flag;
  ULONG test;
};
constexpr RunOrder kRunOrder[] = {
    {0x1, 1}, {0x2, 2}, {0x4, 3}, {0x8, 4}, {0x10, 5}, {0x80, 6}, {0x20, 7}, {0x40, 8}, {0x100, 9},
};

// The power state the requested run found, asked for again. A front end
// never powered up has no such request: it is stopped as in state 3 and
// left in state 4, so the next request for state 0 powers it up.
void RestorePowerState(AfeContext& context, LONG saved) {
  if (saved == kInitialPowerState) {
    SetPowerState(context, 3);
    context.PowerState = kInitialPowerState;
  } else {
    SetPowerState(context, static_cast<ULONG>(saved));
  }
}

}  // namespace

void InitSelfTests(AfeContext& context) {
  std::copy(std::begin(kSelfTestRoutines), std::end(kSelfTestRoutines), context.SelfTests);
  context.PowerOnTests = {1, kSelfTestNotRun, 0, kPowerOnSelfTests, kDefaultLoopbackThreshold};
  context.RequestedTests = {0, kSelfTestNotRun, 0, kPowerOnSelfTests, kDefaultLoopbackThreshold};
  context.SpareTests = {0, 0, 0, 0, kDefaultLoopbackThreshold};
  AfeState& state = *context.State;
  state.PowerOnLog.Reset();
  state.RequestLog.Reset();
  state.SelectedLog = &state.PowerOnLog;
}

LONG AfeSelfTest(AfeContext& context, ULONG flags, ULONG* detail) {
  SelfTestLog& log = *context.State->SelectedLog;
  for (const RunOrder& run : kRunOrder) {
    if ((flags & run.flag) == 0) continue;
    ULONG test_detail = 0;
    const LONG result = context.SelfTests[run.test - 1](&context, &test_detail);
    if (result != 0) {
      log.Append({SelfTestKind::kFailed, test_detail, run.test, result});
      *detail = static_cast<ULONG>(result);
      return -static_cast<LONG>(run.flag);
    }
    log.Append({SelfTestKind::kPassed, test_detail, run.test, 0});
  }
  *detail = 0;
  return 0;
}

void RunPowerOnSelfTests(AfeContext& context) {
  AfeState& state = *context.State;
  AfeSelfTestSet* run = nullptr;
  if (context.RequestedTests.Active != 0) {
    run = &context.RequestedTests;
    state.SelectedLog = &state.RequestLog;
  } else if (context.PowerOnTests.Active != 0) {
    run = &context.PowerOnTests;
    state.PowerOnLog.Reset();
    state.SelectedLog = &state.PowerOnLog;
  } else {
    return;
  }
  run->Result = AfeSelfTest(context, run->Flags, &run->Detail);
}

void RunRequestedSelfTest(AfeContext& context, SelfTestBlock& block) {
  block.Result = 0;
  if (block.Flags == 0) {
    block.Detail = 0;
    return;
  }
  AfeStopDma(&context);
  const LONG saved = context.PowerState;
  AfeSelfTestSet& run = context.RequestedTests;
  run.Flags = block.Flags;
  run.Threshold = block.Threshold;
  run.Active = 1;
  PowerUp(context);
  context.PowerState = 0;
  block.Result = run.Result;
  block.Detail = run.Detail;
  run.Active = 0;
  RestorePowerState(context, saved);
}

}  // namespace afe
