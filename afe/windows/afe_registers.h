// The controller's register window as the front end uses it: byte
// registers 0 to 100 and the little-endian DMA address words. Register
// numbers and bits that have no name here are only ever written as numbers
// by the requests that own them.
#pragma once

#include "platform/nt/ntdef.h"

namespace afe::regs {

inline constexpr ULONG kHighestByteRegister = 100;  // reads above give 0, writes are ignored

inline constexpr ULONG kDmaControl = 0;
inline constexpr UCHAR kDmaRewind = 0x02;        // pulsed when the DMA starts
inline constexpr UCHAR kLoopbackTransfer = 0x80;  // set by the loopback self test
inline constexpr ULONG kRun = 1;
inline constexpr UCHAR kRunEngines = 0x01;
inline constexpr UCHAR kEnginesRestart = 0x02;  // pulsed by the loopback self test
inline constexpr ULONG kInterruptEnable = 2;
inline constexpr ULONG kStatus = 4;  // writing a bit clears it
inline constexpr UCHAR kTxWrapped = 0x01;
inline constexpr UCHAR kTxPeriod = 0x02;
inline constexpr UCHAR kRxPeriod = 0x04;
inline constexpr UCHAR kRxWrapped = 0x08;
inline constexpr UCHAR kPeriodBits = kTxPeriod | kRxPeriod;
inline constexpr ULONG kBusy = 6;
inline constexpr UCHAR kBusyBit = 0x80;

// The DMA words of one direction: base, last word, next period, current.
struct DmaWords {
  ULONG base;
  ULONG last;
  ULONG next;
  ULONG current;
};
inline constexpr DmaWords kRxDma{8, 12, 16, 20};
inline constexpr DmaWords kTxDma{24, 28, 32, 36};

inline constexpr ULONG kCodecReset = 43;  // bit 0
inline constexpr ULONG kCodecPaths = 49;
inline constexpr UCHAR kTestLoop = 0x02;  // test modes 2 and 3
inline constexpr UCHAR kSpeakerOn = 0x08;
inline constexpr UCHAR kSpeakerMuteA = 0x10;
inline constexpr UCHAR kSpeakerMuteB = 0x20;
inline constexpr UCHAR kPathsInit = 0x40;
inline constexpr ULONG kCodecControl = 50;
inline constexpr UCHAR kControlInit = 0x02;
inline constexpr UCHAR kTestMode4 = 0x08;
inline constexpr UCHAR kControlTick = 0x10;  // set at initialisation and every deferred service
inline constexpr ULONG kPowerDownA = 51;     // bit 7 set at power-down
inline constexpr ULONG kCodecStatus = 52;    // bit 7 cleared at power-down
inline constexpr UCHAR kPowerBit = 0x80;
inline constexpr ULONG kHook = 53;
inline constexpr UCHAR kLineOn = 0x01;
inline constexpr UCHAR kHookStatus = 0x04;  // reported by request 47
inline constexpr UCHAR kHookRelay = 0x08;   // requests 19 and 43
inline constexpr ULONG kDigitalPaths = 54;
inline constexpr UCHAR kDigitalLoopback = 0x10;
inline constexpr ULONG kRateCode = 55;
inline constexpr ULONG kCodecReadings = 60;
inline constexpr UCHAR kVoltageMask = 0x1F;
inline constexpr UCHAR kNoVoltageReading = 31;
inline constexpr UCHAR kCodecReady = 0x40;
inline constexpr ULONG kLineLevels = 63;  // attenuation code << 4 | gain code
inline constexpr ULONG kLineSense = 64;
inline constexpr UCHAR kLowThresholdLine = 0x0C;  // bits 2 and 3 both set
inline constexpr ULONG kOffHookOutputs = 65;
inline constexpr UCHAR kOffHookPulse = 0x08;  // bit 3: deferred services 5 to 25
inline constexpr UCHAR kOffHookBit5 = 0x20;
inline constexpr UCHAR kOffHookBit6 = 0x40;
inline constexpr UCHAR kOffHookBit7 = 0x80;
inline constexpr ULONG kCodecFlags = 66;
inline constexpr UCHAR kCodecFlagBit = 0x02;  // request 14
inline constexpr ULONG kLineFlags = 67;
inline constexpr UCHAR kVoltageInvalid = 0x01;
inline constexpr ULONG kSpeakerLevelA = 68;
inline constexpr ULONG kSpeakerLevelB = 69;
inline constexpr ULONG kPowerDownB = 72;  // bit 7 set at power-down
inline constexpr ULONG kTestPaths = 73;
inline constexpr UCHAR kTestPathBit5 = 0x20;

}  // namespace afe::regs
