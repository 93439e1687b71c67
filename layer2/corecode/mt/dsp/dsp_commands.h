// The codes of the controller's command packets to the data pump; each
// controller part adds the codes it sends.
#pragma once

#include <cstdint>

namespace vxctl {

enum DspCommandCode : std::uint8_t {
  kCmdReset = 0x60,              // {0, 0}
  kCmdCallProgressMode = 0x65,   // {mode, flags}
  kCmdDialParams = 0x66,         // {a, b, kind, 0, duration (u16)}
  kCmdDialDigit = 0x67,          // {digit code}
  kCmdHandshakeParams = 0x68,    // the call's six connect parameters
  kCmdTxLevel = 0x7B,            // {gain (u16), level flag, 0}
  kCmdTonePair = 0x7C,           // {f1 (u16), f2 (u16), flags}, frequencies as phase steps
  kCmdCallerIdReporting = 0x7D,  // {0x80 when reporting is on, else 0; 0}
  kCmdSpeaker = 0x81,            // {volume, 0}
  kCmdPcmQuery = 0x82,           // answered by 0xCC
  kCmdDialLevels = 0x88,         // {high, low} levels of the DTMF tones
  kCmdCallerIdConfig = 0xA4,     // {configuration, 0}
};

}  // namespace vxctl
