// The controller's register window (BAR1): byte registers 0 to 100, the DMA
// address registers as little-endian dwords. Names for the registers and bits
// that have a behaviour; every other register and bit is plain storage.
#pragma once

#include <cstdint>

namespace plat::sim::reg {

inline constexpr std::uint32_t kCount = 101;  // registers 0..100; above reads 0

inline constexpr std::uint32_t kDmaControl = 0;  // bit 0 error latch (write 1 clears)
inline constexpr std::uint8_t kDmaErrorLatch = 0x01;
inline constexpr std::uint8_t kDmaRewind = 0x02;  // rising edge: current := base
inline constexpr std::uint32_t kRun = 1;
inline constexpr std::uint8_t kRunEngines = 0x01;
inline constexpr std::uint32_t kInterruptEnable = 2;
inline constexpr std::uint32_t kStatus = 4;  // write 1 to clear
inline constexpr std::uint8_t kTxWrapped = 0x01;
inline constexpr std::uint8_t kTxPeriod = 0x02;
inline constexpr std::uint8_t kRxPeriod = 0x04;
inline constexpr std::uint8_t kRxWrapped = 0x08;
inline constexpr std::uint8_t kStatusBits = 0x0F;
inline constexpr std::uint8_t kPeriodBits = kTxPeriod | kRxPeriod;
inline constexpr std::uint32_t kBusy = 6;
inline constexpr std::uint8_t kBusyBit = 0x80;

// DMA dwords: receive at 8, transmit at 24.
inline constexpr std::uint32_t kRxBase = 8;
inline constexpr std::uint32_t kTxBase = 24;
inline constexpr std::uint32_t kDmaFirst = 8;
inline constexpr std::uint32_t kDmaEnd = 40;
inline constexpr std::uint32_t kBaseWord = 0;  // dword index within a direction
inline constexpr std::uint32_t kLastWord = 1;
inline constexpr std::uint32_t kNextPeriodWord = 2;
inline constexpr std::uint32_t kCurrentWord = 3;

inline constexpr std::uint32_t kCodecReset = 43;  // a write with bit 0 set resets
inline constexpr std::uint32_t kCodecPaths = 49;
inline constexpr std::uint8_t kAnalogLoopback = 0x02;
inline constexpr std::uint8_t kSpeakerOn = 0x08;
inline constexpr std::uint32_t kPowerDownA = 51;   // bit 7
inline constexpr std::uint32_t kCodecStatus = 52;  // bit 7 set when a reset completes
inline constexpr std::uint32_t kPowerDownB = 72;   // bit 7
inline constexpr std::uint8_t kPowerDownBit = 0x80;
inline constexpr std::uint32_t kHook = 53;
inline constexpr std::uint8_t kOffHook = 0x01;
inline constexpr std::uint8_t kLoopCurrent = 0x04;  // read-only
inline constexpr std::uint8_t kOnHookListen = 0x08;
inline constexpr std::uint32_t kDigitalPaths = 54;
inline constexpr std::uint8_t kDigitalLoopback = 0x10;
inline constexpr std::uint32_t kRateCode = 55;
inline constexpr std::uint32_t kCodecReadings = 60;  // read-only
inline constexpr std::uint8_t kVoltageMask = 0x1F;
inline constexpr std::uint8_t kCodecReady = 0x40;
inline constexpr std::uint8_t kNoVoltageReading = 31;
inline constexpr std::uint32_t kLineLevels = 63;  // attenuation << 4 | gain
inline constexpr std::uint32_t kLineFlags = 67;   // read-only
inline constexpr std::uint8_t kReadingInvalid = 0x01;
inline constexpr std::uint32_t kSpeakerLevel = 68;

}  // namespace plat::sim::reg
