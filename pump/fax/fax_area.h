// The fax modems' record: the configuration that commands 0x73 and 0x76
// leave, and the transmitter's encoder state.
#pragma once

#include <cstdint>

#include "pump/core/state_machine.h"
#include "pump/fax/fax_rx_record.h"

namespace pump {

struct DspContext;

// The mode word's high nibble: the modulation.
enum FaxModulation : std::uint16_t {
  kFaxV27ter = 0x00,
  kFaxV29 = 0x10,
  kFaxV17 = 0x20,
};
inline constexpr std::uint16_t kFaxModulationMask = 0xF0;
// V.17: set for the short training, clear for the long.
inline constexpr std::uint16_t kFaxV17ShortTraining = 0x08;

inline constexpr int kFaxShapingSymbols = 32;  // symbols of history the shaping keeps

// The transmitter: its symbol machine, scramblers, encoders and shaping.
struct FaxTxRecord {
  StateMachine<DspContext> machine;  // one tick per symbol
  std::int8_t point_i;        // the symbol's point, before the amplitude scale
  std::int8_t point_q;
  std::uint32_t scrambler;    // V.17/V.29: the last 23 outputs, the oldest in bit 0
  std::uint32_t v27_history;  // V.27ter: the last 12 outputs, the newest in bit 0
  std::uint32_t v27_guard;    // V.27ter: bits since the guard last restarted
  std::uint32_t v27_carry;    // V.27ter: 1 when the next output bit is inverted
  std::int32_t phase;         // V.27ter/V.29: the last symbol's phase
  std::int32_t pair;          // V.17: the last differential pair
  std::int32_t trellis;       // V.17: the 8-state encoder's state
  std::int32_t training;      // V.17/V.29 training: the last training point (0 to 3)
  std::int16_t history_i[kFaxShapingSymbols];  // the points times the amplitude scale
  std::int16_t history_q[kFaxShapingSymbols];
  std::uint32_t newest;       // where the newest symbol is in the histories
  std::uint16_t carrier_phase;  // 65536 a turn
  std::int16_t output_gain;     // Q15
};

struct FaxConfig {
  std::uint32_t modulation_kind;  // the kind of the last 0x73 (1, 3, 10, 11, 13 or 14)
  std::uint16_t mode_word;
  std::uint8_t rate_code;    // the last 0x73's rate code
  std::uint8_t options;      // the last 0x73's second byte
  std::int16_t data_mask;    // the receiver's settling value: -5 when the rate changed
  FaxTxRecord tx;
  FaxRxRecord rx;
};

}  // namespace pump
