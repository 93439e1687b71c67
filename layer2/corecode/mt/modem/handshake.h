// The start of a data call's handshake and what the task asks the data
// pump about the connection: the modulation and rate choice from the "+MS"
// settings and the V.8 exchange's outcome, the rate masks (0x64), the V.8
// options (0x90), the connect parameters (0x68), the direct modulation
// start (0x6E), the modulation and rate queries, the small call set-up
// packets and the PCM line values kept across V.90 calls. Every command
// waits for DP_ACK or its reply.
#pragma once

#include <cstdint>

namespace vxctl {

// Starts the handshake of a call in the settings' direction: the V.90
// line values first for a requested 23, the task state (1 or 2, fax 10 or
// 9), then ModemTask_StartHandshake.
void ModemTask_StartConnect();
// Chooses the modulation and rate and sends the start packets: the rate
// masks (above modulation 7), 0x90 (V.8 negotiated 18 or above, S119 not
// 0), 0x68; then clears the retrain and line-quality timers and flags.
void ModemTask_StartHandshake();
// Starts `modulation` at `rate` at once (0x6E); 23 goes as 24 when
// upstream PCM is allowed, else as 18 at a V.34 rate. Task state 3.
void ModemTask_StartModulation(std::uint8_t option, std::uint16_t rate, std::uint8_t modulation);

// The connected modulation (0x72) and rates (0x91 or 0x70). Only a reply
// of the query's own code counts: without one the modulation or the rates
// are unknown (0) and the kernel log says so.
void ModemTask_QueryModulation();
void ModemTask_QueryRates();

// Command 0x64 with {a, b, c}, little-endian.
void ModemTask_SendOptions(std::uint16_t a, std::uint16_t b, std::uint32_t c);
// The rate masks of modulation `m` (above 7 only) and the four limits.
void ModemTask_SendRateMasks(std::uint8_t m, std::uint16_t tmin, std::uint16_t tmax,
                             std::uint16_t rmin, std::uint16_t rmax);
void ModemTask_SendCmd62(std::uint8_t value);
void ModemTask_SendCmd6C(std::uint8_t value);
// Keeps S7 x 100, the loss-of-carrier setting and the call parameter byte;
// the other arguments are not used.
void ModemTask_SetCallParams(std::uint8_t s9, std::uint8_t s7, std::uint8_t carrier_loss,
                             std::uint8_t call_parameter, std::uint8_t unused_a,
                             std::uint8_t unused_b, std::uint8_t unused_c);

// At the hang-up of a V.90 call: reads the data pump's two line values
// (memory key 0x180E) and, when it has them, keeps them and writes them
// to the EEPROM image (0x82, 0x83) with its checksum.
void ModemTask_SaveV92LineValues();
// Gives the data pump the kept line values (memory key 0x180F).
void ModemTask_LoadV92LineValues();

}  // namespace vxctl
