// The front end's codec registers as the memory and parameter keys show
// them: the codec register record (memory key 0x1820), the DAA settings
// (0x182F and 0x182A), and the register windows (parameter keys
// 0x1900-0x19F8). Registers are read with request 17 and written with
// request 16.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "pump/context/dsp_context.h"

namespace pump {

inline constexpr std::uint32_t kCodecRecordKey = 0x1820;
inline constexpr std::uint32_t kCodecRecordTailKey = 0x1828;
inline constexpr std::uint32_t kDaaSettingAKey = 0x182F;
inline constexpr std::uint32_t kDaaSettingBKey = 0x182A;
inline constexpr std::uint32_t kFirstWindowKey = 0x1900;
inline constexpr std::uint32_t kSecondWindowKey = 0x1980;
inline constexpr std::uint32_t kLastWindowKey = 0x19F8;

// The front end's controller kinds that program the codec differently.
inline constexpr ULONG kCodecKindRecord = 4;  // the register record and direct DAA writes
inline constexpr ULONG kCodecKindSix = 6;
inline constexpr ULONG kCodecKindNine = 9;

// The answer to a memory read of 0x1820 or 0x1828: the record (built from
// the codec on kind 4) or the two bytes after it; zeros on other kinds.
std::span<const std::uint8_t> ReadCodecKey(DspContext& context, std::uint32_t key);

// Programs the codec for a write of a DAA setting key with `data` (the
// key's bytes as carried). False when the packet does not carry the bytes
// the programming reads (the write is then refused).
bool ProgramDaa(DspContext& context, std::uint32_t key, std::span<const std::uint8_t> data);

inline bool IsWindowKey(std::uint32_t key) {
  return key >= kFirstWindowKey && key <= kLastWindowKey;
}

// Four codec registers named by the front end's register lists, as four
// 32-bit values: a list entry of 0 reads as 0.
std::array<std::uint8_t, 16> ReadWindow(DspContext& context, std::uint32_t key);

}  // namespace pump
