#include "pump/core/state_machine.h"

#include <string>

#include "platform/ke/ke.h"

namespace pump::state_machine_detail {

void ReportParked(std::int64_t entry, std::size_t size, const char* last_name) {
  std::string line = "state machine parked: no entry " + std::to_string(entry) +
                     " in its table of " + std::to_string(size) + " entries";
  if (last_name != nullptr) line += std::string(" ending \"") + last_name + "\"";
  DbgPrint("%s", line.c_str());
}

}  // namespace pump::state_machine_detail
