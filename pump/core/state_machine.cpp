#include "pump/core/state_machine.h"

#include <string>

namespace pump::state_machine_detail {

void ReportParked(DebugSink* sink, std::int64_t entry, std::size_t size, const char* last_name) {
  if (sink == nullptr) return;
  std::string line = "state machine parked: no entry " + std::to_string(entry) +
                     " in its table of " + std::to_string(size) + " entries";
  if (last_name != nullptr) line += std::string(" ending \"") + last_name + "\"";
  sink->Line(line);
}

}  // namespace pump::state_machine_detail
