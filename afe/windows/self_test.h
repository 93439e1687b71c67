// The front end's self tests. Nine tests, each selected by a flag bit,
// run at every power-up of the front end (power-on run) and on request 40
// (requested run, from the Diagnostic device or the AFE device's 0x46160).
// They run inside AfeRequest, under the interface's spin lock at
// DISPATCH_LEVEL, and wait by stalling the processor.
//
//   test  flag   checks
//   1     0x1    the controller answers on PCI buses 0-2 and decodes I/O or memory
//   2     0x2    no DMA error latched, controller not busy
//   3     0x4    DMA, interrupt and status registers idle
//   4     0x8    the transmit next-period register holds every pattern (DMA stopped)
//   5     0x10   none
//   6     0x80   codec ready, line sense bits present
//   7     0x20   codec paths in their initial state, line levels not muted
//   8     0x40   none
//   9     0x100  a block through the codec's digital loopback comes back undistorted
//
// The tests run in the order 1, 2, 3, 4, 5, 6, 7, 8, 9 (flag order 0x1,
// 0x2, 0x4, 0x8, 0x10, 0x80, 0x20, 0x40, 0x100); the first failure ends the
// run with the negative of its flag bit, and the test's result becomes the
// run's detail.
#pragma once

#include "afe/windows/afe_contract.h"

namespace afe {

// The argument of request 40 and of IOCTL 0x46160.
struct SelfTestBlock {
  ULONG Threshold;  // in: loopback distortion limit, percent
  ULONG Flags;      // in: the tests to run
  LONG Result;      // out: 0, or the negative flag bit of the first failing test
  ULONG Detail;     // out: 0, or that test's result
};
static_assert(sizeof(SelfTestBlock) == 16);

inline constexpr ULONG kPowerOnSelfTests = 0x1AF;  // tests 1, 2, 3, 4, 6, 7, 9
inline constexpr ULONG kLoopbackSelfTest = 0x100;
inline constexpr ULONG kDefaultLoopbackThreshold = 5;  // percent
inline constexpr LONG kSelfTestNotRun = -13;
// The distortion a loop that cannot be measured is logged with.
inline constexpr ULONG kUnmeasuredDistortion = 100;

// Gives the context its test routines and its three sets of settings
// (power-on: enabled, flags 0x1AF; requested: idle; a third, disabled),
// and empties both logs.
void InitSelfTests(AfeContext& context);

// Runs the tests `flags` selects into the selected log; the run's result,
// and through `detail` the failing test's result (0 when all pass).
LONG AfeSelfTest(AfeContext& context, ULONG flags, ULONG* detail);

// Test 9 (loopback_test.cpp): the test signal through the codec's digital
// loopback, measured against the requested run's threshold (while one is
// in progress) or the power-on run's.
LONG LoopbackSelfTest(AfeContext* context, ULONG* detail);

// Request 40: flags 0 answer 0 and touch nothing. Otherwise the DMA stops,
// the front end powers up with the block's tests (into the request log),
// the block receives result and detail, and the power state before the run
// is requested again; a front end never powered (state 4) is stopped as in
// state 3 and returns to state 4.
void RunRequestedSelfTest(AfeContext& context, SelfTestBlock& block);

}  // namespace afe
