// The command interpreter's call settings that the modem task reads when it
// starts a handshake: the "+MS" rate limits and modulation table, "+MA",
// the calling tone, the call's direction and kind, and the options that
// reach the connect parameters. Until the command interpreter keeps them,
// controller/standin defines acu_call_settings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vxctl {

// One entry of the "+MS" modulation table: the data pump's modulation
// code and whether the entry is enabled. (The entries' own rate limits
// join when the command interpreter parses them; the handshake reads only
// the four limits of the carrier.)
struct MsModulation {
  std::uint8_t code = 0;
  std::uint8_t enabled = 1;
};

// The table's entries in their order.
enum MsEntry : std::size_t {
  kMsBell103,
  kMsV21,
  kMsV23,
  kMsBell212,
  kMsV22,
  kMsV22bis,
  kMsV32,
  kMsV32bis,
  kMsV34,
  kMsV90,
  kMsV92,
  kMsEntryCount,
};

// Every entry enabled.
inline constexpr std::array<MsModulation, kMsEntryCount> kMsModulationsFactory{
    {{0, 1}, {2, 1}, {4, 1}, {1, 1}, {6, 1}, {7, 1}, {12, 1}, {16, 1}, {18, 1}, {23, 1}, {24, 1}}};

struct AcuCallSettings {
  // "+MS": the four rate limits in bit/s, and the maximum transmit and
  // receive rates as typed.
  std::uint16_t min_tx_rate = 0;
  std::uint16_t max_tx_rate = 33600;
  std::uint16_t min_rx_rate = 0;
  std::uint16_t max_rx_rate = 53333;
  std::uint16_t typed_max_tx_rate = 33600;
  std::uint16_t typed_max_rx_rate = 53333;
  std::array<MsModulation, kMsEntryCount> modulations = kMsModulationsFactory;
  std::uint8_t automode = 0;      // "+MA"
  std::uint8_t calling_tone = 0;  // 0..2 (2: the V.8 call indicator)
  std::uint8_t originate = 1;     // the call's direction: 1 originate, 0 answer
  std::uint8_t fax_call = 0;      // the current call is a fax call
  std::uint8_t auto_retrain = 1;  // "%E"
  std::uint8_t and_u = 0;         // "&U": the V.32 and V.32bis option
  std::uint8_t msc = 0;           // "+MSC": the V.34 option
  std::uint8_t fixed_rate = 0;    // "\J"
  std::uint8_t percent_g = 0;     // "%G": rate renegotiation below V.32bis
  std::uint8_t dsp_option = 0;    // the DSP option byte (bits 4-5 reach the data pump)
  std::uint8_t test_mode = 0;     // "&T": 1, 3 and 8 are loopback tests
};

AcuCallSettings& acu_call_settings();

}  // namespace vxctl
