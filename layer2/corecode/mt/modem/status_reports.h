// The modem task's diagnostic texts for the information commands: the
// one-line connection state, the connection status report (I20), the data
// pump's software version (I6) and the hexadecimal lines of the memory and
// parameter dumps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vxctl {

// The longest state line ("Connected V32_TCM TX=65535 RX=65535") and its 0.
inline constexpr std::size_t kStatusTextBytes = 40;
// Writes the state line of register 54's code and a 0; returns the 0.
char* ModemTask_StatusText(std::span<char, kStatusTextBytes> buffer);

// The I20 report; `verbose` is the command interpreter's verbose bit.
void ModemTask_PrintConnectionStatus(std::uint8_t verbose);
// The I6 report: "\r\nDSP Software Version : " and the four numbers of the
// data pump's version reply ("unknown" when no reply came).
void ModemTask_PrintDspVersion();
// One dump line after a line end: the address in 8 hexadecimal digits,
// ":  ", then the 8 little-endian words of `bytes`, each as 4 digits and a
// space.
void ModemTask_PrintHexLine(std::uint32_t address, std::span<const std::uint8_t, 16> bytes);
// Two upper-case hexadecimal digits and a 0.
std::array<char, 3> ModemTask_HexByte(std::uint8_t value);

}  // namespace vxctl
