// Class 1 fax modulations: the map from the modulation codes of "+FTM" and
// "+FRM" to the data pump's fax modulation codes, training delays and
// rates, and the modem task's start and end of a modulation.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace vxctl {

inline constexpr std::uint8_t kCmdFaxConfigure = 0x73;   // {modulation, flags}
inline constexpr std::uint8_t kCmdFaxTransmitEnd = 0x74;  // drops the transmitter
inline constexpr std::uint8_t kCmdFaxTransmitStart = 0x75;
inline constexpr std::uint8_t kCmdFaxControl = 0x86;  // {u16 little-endian}

// Flags of the configure command.
inline constexpr std::uint8_t kFaxFlagReceive = 0x04;
inline constexpr std::uint8_t kFaxFlagAlways = 0x20;
inline constexpr std::uint8_t kFaxFlagLongTrain = 0x80;

// The value the start sends with kCmdFaxControl.
inline constexpr std::uint16_t kFaxControlStart = 2;

struct FaxModulation {
  std::uint8_t code;          // "+FTM"/"+FRM" code
  std::uint8_t pump_code;     // the data pump's modulation code
  std::uint8_t long_train;    // 1: long training
  std::uint16_t training;     // training delay in 10 ms ticks
  std::uint16_t rate;         // bit/s
};

inline constexpr std::array<FaxModulation, 13> kFaxModulations = {{
    {1, 0x12, 0, 0, 300},
    {24, 0xA4, 1, 95, 2400},
    {48, 0xA5, 1, 71, 4800},
    {72, 0xB6, 0, 26, 7200},
    {73, 0xE6, 1, 140, 7200},
    {74, 0xD6, 1, 15, 7200},
    {96, 0xB7, 0, 26, 9600},
    {97, 0xE7, 1, 140, 9600},
    {98, 0xD7, 1, 15, 9600},
    {121, 0xE8, 1, 140, 12000},
    {122, 0xD8, 1, 15, 12000},
    {145, 0xE9, 1, 140, 14400},
    {146, 0xD9, 1, 15, 14400},
}};
// What any other code gives.
inline constexpr FaxModulation kFaxModulationOther = {0, 0x32, 0, 0, 300};

// The map's entry for `code` (kFaxModulationOther when it has none).
const FaxModulation& fax_modulation(std::uint8_t code);

enum FaxModulationState : std::uint8_t {
  kFaxModulationNone = 0,
  kFaxModulationReceive = 1,
  kFaxModulationTransmit = 2,
};

struct FaxClass1State {
  std::atomic<std::uint8_t> state{kFaxModulationNone};
  std::uint8_t pump_code = 0;  // the data pump code last sent
  // The training delay in 10 ms ticks, counted down by the modem task's
  // 10 ms tick.
  std::atomic<std::uint16_t> training_delay{0};
};

FaxClass1State& fax_class1_state();

// Ends a running transmit modulation, then configures the data pump for
// `code` (receive when `transmit` is 0), starts the transmitter when
// `transmit` is 1, and sends the fax control start. Keeps the training
// delay and the receive rate. A `transmit` above 1 is refused with a trace
// line and changes nothing.
void ModemTask_FaxStartModulation(std::uint8_t code, std::uint8_t transmit);
// Ends a running transmit modulation (nothing otherwise).
void ModemTask_FaxEndModulation();
// The training delay has run out.
bool ModemTask_FaxTrainDone();
// The highest bit-rate code of the capability answers: 5 (14400 bit/s).
std::uint8_t ModemTask_FaxMaxBitRate();
// Command 0x86 with `value`.
void ModemTask_SendCmd86(std::uint16_t value);

}  // namespace vxctl
