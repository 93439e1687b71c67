// CpCommandTable: the handlers of the controller's command packets 0x60 to
// 0xA4, entry (code - 0x60). The dispatcher calls the entry with the
// context and posts the current packet as the handler left it.
#pragma once

#include <array>
#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

using CommandHandler = void (*)(DspContext& context);

inline constexpr std::uint8_t kFirstCommand = 0x60;
inline constexpr std::uint8_t kLastCommand = 0xA4;

extern const std::array<CommandHandler, kLastCommand - kFirstCommand + 1> CpCommandTable;

}  // namespace pump
