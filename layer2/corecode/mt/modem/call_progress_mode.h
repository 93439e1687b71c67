// The data pump's call-progress monitoring: the mode packets, the mode the
// modem task keeps, the result that joins the data pump's own code with the
// line services' tone detectors, and the caller-ID reporting switch.
#pragma once

#include <cstdint>

namespace vxctl {

// Command 0x65 {mode, 1}.
void ModemTask_SendCallProgressMode(std::uint8_t mode);
// Command 0x65 {0, 1}.
void ModemTask_CallProgressOff();
// Modes 0-2: 0 after a non-zero mode first puts the data pump to idle; a
// non-zero mode first ends a running caller-ID detection; then 0x65
// {mode, 1}. Modes from 3 send nothing. The mode is kept in every case.
void ModemTask_SetCallProgress(std::uint8_t mode);
// Register 56 (kept as the latest event type) when it is 4, 6 or 8 and
// above; else the line services' first finished detection (0 when none).
std::uint8_t ModemTask_GetCallProgress();
// Command 0x7D {0x80 when caller-ID reporting is on, else 0; 0}.
void ModemTask_SendCidReporting();

}  // namespace vxctl
