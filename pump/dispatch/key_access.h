// The memory and parameter access codes 9-14. Each leaves its answer in
// the current packet: a reply (0x14, 0x15), no answer (code 0) after a
// write, or the request itself (an echo) for an unknown key or a packet
// that does not carry what its code needs.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

inline constexpr std::uint32_t kHighParamSpace = 0x10000;  // codes 11 and 14

void ReadMemoryPacket(DspContext& context);   // 9
void WriteMemoryPacket(DspContext& context);  // 12
// Codes 10 and 13 with space 0, 11 and 14 with kHighParamSpace.
void ReadParamPacket(DspContext& context, std::uint32_t space);
void WriteParamPacket(DspContext& context, std::uint32_t space);

}  // namespace pump
