// The front end behind the data pump: each time the data pump goes idle the
// modem task asks for its version block and takes the hardware kind from
// it, which sets the model and bus names the information commands print,
// the line-interface class the relay code uses and the line services' DAA
// kind, and on the class-2 front ends hands the data pump two words of the
// current DAA step.
#pragma once

#include <array>
#include <cstdint>

namespace vxctl {

// 0 (unknown front end), 1 or 2.
using LineInterfaceClass = std::uint8_t;

inline constexpr std::uint8_t kCmdHardwareQuery = 0x94;  // answered by 0xCB
// The two DAA-step words go to these memory keys.
inline constexpr std::uint32_t kDaaStepFirstKey = 0x182F;
inline constexpr std::uint32_t kDaaStepSecondKey = 0x182A;

struct DspAnswer;

// Asks the data pump for its version block (0x94); true when its reply
// (DP_VERSION_INFO) is in `answer`.
bool dsp_version_block(DspAnswer& answer);
// The hardware kind in a version block: the u16 of its bytes 8-9.
std::uint16_t version_block_kind(const DspAnswer& answer);

struct HardwareKindState {
  static constexpr std::size_t kNameBytes = 8;  // the longest name and its 0
  std::array<char, kNameBytes> model_name{' '};
  std::array<char, kNameBytes> bus_name{' '};
  LineInterfaceClass line_interface_class = 0;
};

HardwareKindState& hardware_kind_state();

// Asks the data pump for its version block (0x94); the kind is the u16 of
// reply bytes 8-9, unknown (0) when no 0xCB reply came. Sets the names and
// the class; with a live country record, the DAA kind (3 for class 2, else
// 2 when the record's byte 7 is set, else 1); posts {class 3, code 9} and
// dispatches at once, then on class 2 writes the current DAA step's words
// (record bytes 779 and 781 + 57 x the step index) to memory keys 0x182F
// and 0x182A, unless they lie past the record; then posts {class 3, code
// 1} for the next dispatch.
void ModemTask_HardwareQuery();
// The names and the class of a hardware kind (kinds 3-9; " " and 0 for any
// other).
void ModemTask_SetModelNames(std::uint16_t kind);

}  // namespace vxctl
