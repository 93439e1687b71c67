// The codes of the controller's command packets to the data pump; each
// controller part adds the codes it sends.
#pragma once

#include <cstdint>

namespace vxctl {

enum DspCommandCode : std::uint8_t {
  kCmdReset = 0x60,              // {0, 0}
  kCmdCall62 = 0x62,             // {value}, acknowledged only
  kCmdRateMasks = 0x64,          // {a (u16), b (u16), c (u32)}: the allowed rates
  kCmdCallProgressMode = 0x65,   // {mode, flags}
  kCmdDialParams = 0x66,         // {a, b, kind, 0, duration (u16)}
  kCmdDialDigit = 0x67,          // {digit code}
  kCmdHandshakeParams = 0x68,    // the call's six connect parameters
  kCmdCall6C = 0x6C,             // {value}, acknowledged only
  kCmdDirectStart = 0x6E,        // {rate code, modulation, option x 4, 0}
  kCmdRateQuery = 0x70,          // answered by 0xC1 {classic rate code}
  kCmdModulationQuery = 0x72,    // answered by 0xC2 {modulation}
  kCmdTxLevel = 0x7B,            // {gain (u16), level flag, 0}
  kCmdTonePair = 0x7C,           // {f1 (u16), f2 (u16), flags}, frequencies as phase steps
  kCmdCallerIdReporting = 0x7D,  // {0x80 when reporting is on, else 0; 0}
  kCmdSpeaker = 0x81,            // {volume, 0}
  kCmdPcmQuery = 0x82,           // answered by 0xCC
  kCmdDialLevels = 0x88,         // {high, low} levels of the DTMF tones
  kCmdPhase2Options = 0x90,      // the V.8 and V.34 options, 8 bytes
  kCmdV34RatesQuery = 0x91,      // answered by 0xC6 {rate word, ..., PCM indices}
  kCmdCallerIdConfig = 0xA4,     // {configuration, 0}
};

}  // namespace vxctl
