// The contract between the analog front-end driver and the data pump.
//
// At start the data pump lends the front end its AfeEventBlock and receives
// the front end's AfeInterface: ten operations, the AfeContext they all take
// as first argument, and the spin lock that callers of AfeRequest hold. The
// data pump moves two ring cursors, the latency adjustment and the phase-2
// flag of the AfeContext directly; everything else goes through the
// numbered requests below. Request 20 answers with the 556-byte AfeInfo.
//
// Addresses are pointer-sized; every other field has the width and order
// both drivers were written against.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ex/rtlstring.h"
#include "platform/ke/irql.h"
#include "platform/ke/ke.h"
#include "platform/nt/ntdef.h"

namespace pump {
struct DspContext;
struct AfeAccess;
struct HostInterface;
}  // namespace pump

namespace afe {

struct AfeContext;
struct AfeState;
struct AfeDeviceExtension;

// ---- The front end's device and its start -------------------------------

inline constexpr PCWSTR kAfeDeviceName = u"\\Device\\VexorTolvasaAfe";

// Start and stop, from the data pump (kernel-mode requestors only). The
// start's buffer carries the AfeEventBlock address in and the AfeInterface
// address out, 8 bytes each way. The data pump takes the same two codes from
// the controller.
inline constexpr ULONG IOCTL_MODEM_START = 0x222040;
inline constexpr ULONG IOCTL_MODEM_STOP = 0x222044;
inline constexpr ULONG kStartBufferBytes = sizeof(void*);

// ---- Block rings ----------------------------------------------------------

inline constexpr int kRingSlots = 16;        // per direction; cursors run modulo 16
inline constexpr int kSlotSamples = 139;     // signed 16-bit samples per slot
inline constexpr int kMinBlockSamples = 32;  // samples per block the front end accepts
inline constexpr int kMaxBlockSamples = 138;
inline constexpr int kDefaultLatency = 3;      // blocks, after a ring reset
inline constexpr int kDmaPeriods = 32;         // periods of each DMA buffer, one block each
inline constexpr int kTxWriteCursorStart = 3;  // ahead of the transmit read cursor
inline constexpr ULONG kProfileBlocksQueued = 1u << 24;    // set by the deferred routine
inline constexpr ULONG kProfileSoundPath = 1u << 17;       // sound-path requests act at all
inline constexpr ULONG kProfileLineStreamStart = 1u << 1;  // codes 22 and 35 may start it

// The ring slot after `cursor`: where the next block is read or written.
constexpr int NextSlot(int cursor) { return (cursor + 1) & (kRingSlots - 1); }

// ---- Sample rates ----------------------------------------------------------

// The codec's rates with their register 55 codes. A rate change to any other
// rate runs at 9600 Hz, except 10287 Hz, which is taken as 10286 Hz.
struct AfeRateCode {
  USHORT hz;
  UCHAR code;
};
inline constexpr AfeRateCode kAfeRateCodes[] = {
    {7200, 0}, {8000, 1},  {8229, 2},  {8400, 3},  {9000, 4},
    {9600, 5}, {10286, 6}, {16000, 7}, {13714, 8},
};
inline constexpr USHORT kAfeFallbackRate = 9600;

// ---- Request codes ---------------------------------------------------------

// AfeRequest: called with the interface's spin lock held.
enum AfeRequestCode : ULONG {
  kAfeLineOn = 1,
  kAfeLineOff = 2,
  kAfeGetRate = 3,          // out {u16 rate, u16 samples per block}; size 4
  kAfeSetRate = 4,          // u32: samples per block << 16 | rate in Hz
  kAfeSpeaker = 8,          // u32 level 0-3
  kAfeSetAttenuation = 9,   // i16 dB
  kAfeGetAttenuation = 10,  // out i16; size 2
  kAfeSetGain = 11,         // i16 dB
  kAfeGetGain = 12,         // out i16; size 2
  kAfeTestMode = 13,        // u32 0-4
  kAfeCodecFlag = 14,       // u32
  kAfeStatusQuery = 15,     // out u32; size 4
  kAfeRegisterWrite = 16,   // {u32 register, u32 value}; size 8
  kAfeRegisterRead = 17,    // {u32 register, out u32 value}; size 8
  kAfePowerState = 18,      // u32 0-3
  kAfeHook = 19,            // u32 flag
  kAfeGetInfo = 20,         // out AfeInfo; size 556
  kAfeNotServed = 21,
  kAfeLineStatus = 34,     // out u32 1, 2 or 3; size 4
  kAfeLatency = 38,        // u8; size 1
  kAfeBlockReady = 39,     // -16 while a received block waits, else 0
  kAfeSelfTest = 40,       // self-test block; size 16
  kAfeLineMeasure = 41,    // out u16; size 2
  kAfeHook2 = 43,          // u32 flag
  kAfeLineMonitor = 44,    // u32 enable; size 4
  kAfeLineStatusBit = 47,  // out u16; size 2
};

// SoundPathRequest: called without the lock.
enum SoundPathCode : ULONG {
  kSoundStartLineStream = 22,  // with ProfileFlags bit 1
  kSoundStopLineStream = 23,   // only while capture was started
  kSoundQueryLineStream = 24,  // 0 while the line-to-application stream runs, else -12
  kSoundStartLineStreamNow = 25,
  kSoundStopLineStreamNow = 26,
  kSoundStartAppStream = 27,
  kSoundStopAppStream = 28,
  kSoundPutSamples = 29,   // buffer, count = samples (u16)
  kSoundTakeSamples = 30,  // buffer, count = wanted in, delivered out (i16)
  kSoundSetLevel = 31,     // {u32 kind, u32, u32 level}; size 12
  kSoundResume = 35,
  kSoundSuspend = 36,
  kSoundRequest37 = 37,  // not served: -4
  kSoundStartBoth = 45,
  kSoundStopBoth = 46,
};

// Results.
inline constexpr LONG kAfeOk = 0;
inline constexpr LONG kAfeRefused = -999;      // unknown code, wrong size, or wrong level
inline constexpr LONG kAfeBlockWaiting = -16;  // request 39
inline constexpr LONG kSoundUnknown = -4;
inline constexpr LONG kSoundNotRunning = -5;  // queue not accepting, or ran dry
inline constexpr LONG kSoundStreamStopped = -12;
inline constexpr LONG kSoundBadKind = -15;

// The codes a sound-path request serves above PASSIVE_LEVEL.
constexpr bool SoundPathServedAtRaisedLevel(ULONG code) {
  return code == kSoundQueryLineStream || code == kSoundPutSamples || code == kSoundTakeSamples ||
         code == kSoundRequest37;
}

// ---- AfeInfo (answer of request 20) -----------------------------------------

struct AfeInfo {
  ULONG SoundMuteBlocks;  // 78: blocks the data pump keeps the sound path silent after line on
  USHORT VendorId;        // PCI identity of the context
  USHORT DeviceId;
  USHORT LatencyLessOne;     // blocks
  USHORT One;                // 1
  ULONG FirstTable[64];      // 256, 0, 8, 12, ..., 40, then zeros
  ULONG SecondTable[64];     // 48, 52, ..., 100, then zeros
  ULONG ControllerKind;      // the context's controller kind, 6
  USHORT Constant28;         // 28
  USHORT HighestRate;        // 16000 Hz
  USHORT LineLowThreshold;   // 9
  USHORT LineHighThreshold;  // 61 with register 64 bits 2 and 3 set, else 121
  USHORT Constant9;          // 9
  USHORT Zero538;
  ULONG Constant1;  // 1
  ULONG Zero544;
  ULONG Zero548;
  USHORT HighCountLimit;  // 30 ticks
  USHORT Zero554;
};
static_assert(sizeof(AfeInfo) == 556);
static_assert(offsetof(AfeInfo, LatencyLessOne) == 8);
static_assert(offsetof(AfeInfo, FirstTable) == 12);
static_assert(offsetof(AfeInfo, SecondTable) == 268);
static_assert(offsetof(AfeInfo, ControllerKind) == 524);
static_assert(offsetof(AfeInfo, LineLowThreshold) == 532);
static_assert(offsetof(AfeInfo, LineHighThreshold) == 534);
static_assert(offsetof(AfeInfo, Constant1) == 540);
static_assert(offsetof(AfeInfo, HighCountLimit) == 552);

// ---- AfeContext -------------------------------------------------------------

// Reads (write 0) or writes PCI configuration bytes of the front end's
// function; returns 0.
using AfeConfigAccess = ULONG (*)(AfeDeviceExtension* owner, ULONG write, PVOID buffer,
                                  ULONG offset, ULONG length);
// One self test: its result (0 passed) and the detail it reports.
using AfeSelfTestRoutine = LONG (*)(AfeContext* context, ULONG* detail);

// One set of self-test settings.
struct AfeSelfTestSet {
  ULONG Active;  // power-on set: enabled; requested set: a run is in progress
  LONG Result;   // -13 until a run ends
  ULONG Detail;
  ULONG Flags;      // the tests to run (0x1AF)
  ULONG Threshold;  // loopback distortion limit, percent
};

struct AfeContext {
  USHORT VendorId;  // the fixed identity
  USHORT DeviceId;
  AfeDeviceExtension* Owner;
  AfeConfigAccess ConfigAccess;
  AfeState* State;
  LONG PowerState;       // starts at 4, so the first power-up request acts
  ULONG ControllerKind;  // reported in AfeInfo, 6
  LONG BlockCounter;     // blocks moved by the interrupt; wraps (BlocksAfter)
  ULONG DmaRunning;
  USHORT SampleRate;       // Hz
  USHORT SamplesPerBlock;  // 32 to 138
  SHORT TxRing[kRingSlots][kSlotSamples];
  SHORT RxRing[kRingSlots][kSlotSamples];
  LONG BlockBalance;          // +1 per received block, -1 per transmitted block
  ULONG Phase2Flag;           // written by the data pump, not read here
  UCHAR TxReadCursor;         // moved by the interrupt
  UCHAR RxWriteCursor;        // moved by the interrupt
  std::int8_t TxWriteCursor;  // moved by the data pump
  std::int8_t RxReadCursor;   // moved by the data pump
  UCHAR RxPeriodCursor;       // 0 to 31
  UCHAR TxPeriodCursor;
  UCHAR Latency;                    // blocks, 3 after a ring reset
  std::int8_t LatencyAdjustment;    // old minus new latency, consumed toward 0
  AfeSelfTestRoutine SelfTests[9];  // tests 1 (PCI presence) to 9
  AfeSelfTestSet PowerOnTests;
  AfeSelfTestSet RequestedTests;
  AfeSelfTestSet SpareTests;  // disabled
};

// The block counter counts in unsigned arithmetic, so it wraps after 2^32
// blocks with defined behaviour: `blocks` after `counter`, and how far
// `later` lies after `earlier` (negative when it lies before).
inline LONG BlocksAfter(LONG counter, ULONG blocks) {
  return static_cast<LONG>(static_cast<ULONG>(counter) + blocks);
}
inline LONG BlocksBetween(LONG earlier, LONG later) {
  return static_cast<LONG>(static_cast<ULONG>(later) - static_cast<ULONG>(earlier));
}

// ---- AfeInterface -----------------------------------------------------------

struct AfeInterface {
  ULONG (*AfeInit)(AfeContext* context);                                   // 1
  ULONG (*AfeReadBlock)(AfeContext* context, PVOID buffer, ULONG bytes);   // bytes copied
  ULONG (*AfeWriteBlock)(AfeContext* context, PVOID buffer, ULONG bytes);  // bytes copied
  LONG (*AfeRequest)(AfeContext* context, ULONG code, PVOID argument, ULONG* size);
  LONG (*SoundPathRequest)(AfeContext* context, ULONG code, PVOID argument, ULONG* count);
  ULONG (*AfeStartDma)(AfeContext* context);  // 1
  ULONG (*AfeStopDma)(AfeContext* context);   // 1
  void (*AfeSetResources)(AfeContext* context, PVOID* memory_windows, PVOID* ports,
                          LARGE_INTEGER first_logical, PVOID first_virtual,
                          LARGE_INTEGER second_logical, PVOID second_virtual);
  ULONG (*AfeInterruptService)(AfeContext* context);  // non-zero when a block moved
  ULONG (*AfeDeferredService)(AfeContext* context);   // the line-status evaluation
  AfeContext* Context;
  KSPIN_LOCK Lock;  // held by callers of AfeRequest
};
static_assert(sizeof(AfeInterface) == 12 * sizeof(void*));
static_assert(offsetof(AfeInterface, AfeReadBlock) == 1 * sizeof(void*));
static_assert(offsetof(AfeInterface, AfeRequest) == 3 * sizeof(void*));
static_assert(offsetof(AfeInterface, SoundPathRequest) == 4 * sizeof(void*));
static_assert(offsetof(AfeInterface, Context) == 10 * sizeof(void*));
static_assert(offsetof(AfeInterface, Lock) == 11 * sizeof(void*));

// ---- AfeEventBlock (the data pump's, lent to the front end) -----------------

// The speakerphone's sound-path entries: a block of 16-bit samples and its
// size in bytes. Nothing calls them through this block.
using SoundPathCallback = LONG (*)(SHORT* samples, ULONG bytes);

struct AfeEventBlock {
  KEVENT PerBlockEvent;  // synchronization event, set once per block moved
  ULONG BlockWorkBusy;
  ULONG ControllerCallBusy;
  ULONG* ProfileFlags;
  pump::DspContext* DspContext;
  pump::AfeAccess* AfeAccess;
  pump::HostInterface* HostInterface;
  SoundPathCallback SoundPathCallbacks[4];
  void (*RunBlockWork)(pump::DspContext* context);
};
static_assert(offsetof(AfeEventBlock, PerBlockEvent) == 0);

}  // namespace afe
