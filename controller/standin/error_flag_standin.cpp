// acu_error_flag, apart from the rest of the stand-in: a program that links
// the command interpreter's parser (controller/acu) takes that one's flag,
// and this file is then never pulled in.
#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {

std::uint8_t& acu_error_flag() { return MachineState<CommandInterpreterStandin>().error_flag; }

}  // namespace vxctl
